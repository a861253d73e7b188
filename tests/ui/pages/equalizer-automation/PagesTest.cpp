#include "PagesTest.h"

#include "DrawnPicture.h"
#include "L10n.h"
#include "Studio.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QVBoxLayout>

namespace quorel::test {

void PagesTest::show(QWidget* widget, int width)
{
    window = std::make_unique<QWidget>();
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Studio::background());
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(28, 24, 28, 24);
    layout->addWidget(widget);
    layout->addStretch(1);
    window->resize(width + 56, 200);
    window->show();
    QCoreApplication::processEvents();
    // Tall enough for any page: the widget takes its height for the width, the stretch the rest.
    window->resize(width + 56, 1600);
    QCoreApplication::processEvents();
}

QImage PagesTest::snapshot(QWidget* widget, const QString& name)
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();  // layouts that settle in steps
    const QImage image = widget->grab().toImage();
    const QString folder = quorel::test::buildPath("snapshots");
    QDir().mkpath(folder);
    const QString language =
        L10n::language() == AppLanguage::portuguese ? QStringLiteral("pt-BR") : QStringLiteral("en");
    EXPECT_TRUE(image.save(folder + "/" + name + "-" + language + ".png", "PNG"));
    expectDrawn(widget, image, name + "-" + language);
    return image;
}

}  // namespace quorel::test
