#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace quorel {

// An application as the desktop names it: its desktop-file id ("org.gnome.Rhythmbox" for
// org.gnome.Rhythmbox.desktop), its localized name and its icon name or path.
struct DesktopApplication {
    QString id;
    QString name;
    QString icon;
    bool operator==(const DesktopApplication&) const = default;
};

// The application in front and the running applications. The X11 source reads them from the
// window manager's root-window properties; tests use a fake. Main thread only.
class FrontApplicationSource : public QObject {
    Q_OBJECT
public:
    // The id under which our own windows are reported.
    static constexpr const char* ownApplicationID = "app.quorel.Quorel";

    using QObject::QObject;
    ~FrontApplicationSource() override;

    // False where the front application cannot be known (Wayland, no display, X server gone).
    virtual bool isAvailable() const = 0;
    virtual std::optional<DesktopApplication> frontApplication() const = 0;
    // Applications with normal windows on the taskbar, one per process.
    virtual std::vector<DesktopApplication> runningApplications() const = 0;

signals:
    // Another application came to the front (not merely another window of the same one).
    void frontApplicationChanged();
    // isAvailable() changed (the X server went away).
    void availabilityChanged();
};

}  // namespace quorel
