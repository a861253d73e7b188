#pragma once

#include <QString>
#include <QWidget>

namespace quorel::test {

// A shown (offscreen) top-level that holds a page on the window background, as the main
// window's page column does; save() writes its picture into snapshots/ of the build folder.
class Backdrop : public QWidget {
public:
    explicit Backdrop(QWidget* page, int width = 860);
    // Lays the page out at the width, writes NAME.png and checks what it shows; returns the path.
    QString save(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int width_;
};

}  // namespace quorel::test
