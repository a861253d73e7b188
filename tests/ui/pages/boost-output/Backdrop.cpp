#include "Backdrop.h"

#include "DrawnPicture.h"
#include "Studio.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace quorel::test {

Backdrop::Backdrop(QWidget* page, int width) : width_(width)
{
    setAttribute(Qt::WA_DontShowOnScreen);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->addWidget(page);
    resize(width_, 200);
    show();
    QCoreApplication::processEvents();
}

void Backdrop::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), Studio::background()); }

QString Backdrop::save(const QString& name)
{
    QCoreApplication::processEvents();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width_) : sizeHint().height();
    resize(width_, std::max(height, minimumSizeHint().height()));
    QCoreApplication::processEvents();
    const QString folder = quorel::test::buildPath("snapshots");
    QDir().mkpath(folder);
    const QString path = folder + "/" + name + ".png";
    const QImage image = grab().toImage();
    image.save(path);
    expectDrawn(this, image, name);
    return path;
}

}  // namespace quorel::test
