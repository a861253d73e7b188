#pragma once

#include "DesktopEntryIndex.h"
#include "FrontApplicationSource.h"

#include <memory>

namespace quorel {

class X11Connection;

// The front and running applications of an X11 desktop, read from the window manager's root
// properties (_NET_ACTIVE_WINDOW, _NET_CLIENT_LIST). An application's id is its desktop-file id:
// _GTK_APPLICATION_ID, else WM_CLASS matched to an entry's StartupWMClass or file name, else the
// window's process matched to an entry's Exec; a window without any of them is named by its
// WM_CLASS class. A window of this process is our own application.
class X11FrontApplicationSource : public FrontApplicationSource {
    Q_OBJECT
public:
    explicit X11FrontApplicationSource(std::shared_ptr<X11Connection> connection, QObject* parent = nullptr);
    ~X11FrontApplicationSource() override;

    bool isAvailable() const override;
    std::optional<DesktopApplication> frontApplication() const override;
    std::vector<DesktopApplication> runningApplications() const override;

    // The application a window belongs to (nullopt for no window or one that says nothing).
    std::optional<DesktopApplication> applicationOfWindow(unsigned long window) const;

private:
    void activeWindowChanged();
    void connectionLost();

    std::shared_ptr<X11Connection> connection_;
    mutable DesktopEntryIndex entries_;
    std::optional<DesktopApplication> front_;
    int handlerToken_ = 0;
};

}  // namespace quorel
