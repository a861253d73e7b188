// The least a Qt widget window can cost for what the Boost and Equalizer pages must show, with
// none of Quorel's drawing: the measure of what is left to gain by drawing less.
//
//   window_cost_floor fade       a 60 x 16 area fading over 0.15 s (ease-out, Qt's animation
//                                timer) every 0.2 s: one meter's changing segments
//   window_cost_floor spectrum   a 960 x 260 opaque area filled 30 times a second: the
//                                Equalizer's drawing area with nothing drawn in it
//   window_cost_floor idle       the window shown, nothing changing
//
// Run by ./measure beside the application, on the same display.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

constexpr QRect fadeArea(0, 0, 60, 16);
constexpr QRect spectrumArea(0, 0, 960, 260);

class Surface : public QWidget {
public:
    Surface() { setAttribute(Qt::WA_OpaquePaintEvent); }
    qreal level = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), QColor::fromRgbF(0.2f, 0.2f, 0.2f + float(level) * 0.5f));
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const char* mode = argc > 1 ? argv[1] : "";
    const bool fade = std::strcmp(mode, "fade") == 0;
    const bool spectrum = std::strcmp(mode, "spectrum") == 0;
    if (!fade && !spectrum && std::strcmp(mode, "idle") != 0) {
        std::fputs("usage: window_cost_floor fade|spectrum|idle\n", stderr);
        return 2;
    }
    Surface surface;
    surface.setWindowTitle(QStringLiteral("window cost floor"));
    surface.resize(1000, 700);
    surface.show();

    QVariantAnimation ease;
    ease.setDuration(150);
    ease.setEasingCurve(QEasingCurve::OutQuad);
    ease.setStartValue(0.0);
    ease.setEndValue(1.0);
    QObject::connect(&ease, &QVariantAnimation::valueChanged, &surface, [&](const QVariant& value) {
        surface.level = value.toReal();
        surface.update(fadeArea);
    });
    QTimer reading;
    reading.setInterval(200);
    QObject::connect(&reading, &QTimer::timeout, &ease, [&] { ease.start(); });
    QTimer frame;
    frame.setInterval(33);
    QObject::connect(&frame, &QTimer::timeout, &surface, [&] {
        surface.level = 1 - surface.level;
        surface.update(spectrumArea);
    });
    if (fade) reading.start();
    if (spectrum) frame.start();
    return app.exec();
}
