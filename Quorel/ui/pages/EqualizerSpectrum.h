#pragma once

#include "EqualizerResponse.h"

#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <optional>
#include <vector>

namespace quorel {

class EqualizerFader;
class SpectrumModel;

// The drawing of the equalizer's fader row, in its 31-column grid (2 pt gaps): on the card's
// colour, while the spectrum is live, a grey input bar and a violet output bar per band
// (-60...0 dB over the track), and always the cyan response curve of the gains with its area
// down to 0 dB, under the faders. Takes no input and is hidden from assistive technologies.
//
// It lies over the faders (they still take the input) and draws their pictures itself, in
// their places: a frame of the spectrum, 30 a second, is then one paint of one opaque widget,
// with no fader and nothing behind it painted. What lies over the bars is cached: the curve
// layer (drawn again only when the gains, the rate or the size change) and, over it, the faders'
// pictures, composed into one pixmap again only when one of them or the curve changes. A frame
// is the card's colour, the bars without antialiasing on whole device pixels, and that pixmap.
class EqualizerSpectrum : public QWidget {
    Q_OBJECT
public:
    static constexpr int curvePoints = 128;
    static constexpr qreal minimumWidth = 60;  // narrower: nothing is drawn

    // The arithmetic of the drawing, as pure functions of the canvas size.
    struct Geometry {
        qreal width = 0;
        qreal height = 0;
        qreal trackInset = 5;

        bool drawable() const { return width >= minimumWidth; }
        qreal column() const { return (width - 60) / 31; }  // c
        qreal pitch() const { return column() + 2; }        // p
        qreal centre(int band) const { return band * pitch() + column() / 2; }
        qreal top() const { return trackInset; }
        qreal bottom() const { return height - trackInset; }
        qreal track() const { return height - 2 * trackInset; }  // T
        qreal barWidth() const;                                  // max(0.55 c, 3)
        // The bar of a band at `levelDB`: none at -60 dB or below, or 0.5 pt tall or less.
        std::optional<QRectF> bar(int band, float levelDB) const;
        QPointF curvePoint(const EqualizerResponse::Point& point) const;
        qreal zeroLine() const { return top() + track() / 2; }
    };

    explicit EqualizerSpectrum(SpectrumModel& spectrum, QWidget* parent = nullptr);

    void setBands(const std::vector<float>& bands);
    void setSampleRate(double sampleRate);
    void setTrackInset(qreal inset);
    // The faders under the drawing, siblings of this view, drawn in this order.
    void setFaders(const std::vector<EqualizerFader*>& faders);
    const std::vector<float>& bands() const { return bands_; }
    double sampleRate() const { return sampleRate_; }
    Geometry geometry() const;

    // How many times the curve layer was drawn (tests and benchmarks).
    int curveRenders() const { return curveRenders_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void renderCurveLayer(const Geometry& g, qreal ratio);
    void composeLayer(const Geometry& g, qreal ratio);
    void drawBars(QPainter& painter, const Geometry& g, qreal ratio) const;
    QRect placeOf(const EqualizerFader* fader) const;

    SpectrumModel& spectrum_;
    std::vector<EqualizerFader*> faders_;
    std::vector<float> bands_;
    double sampleRate_ = 48000;
    qreal trackInset_ = 5;
    QPixmap curveLayer_;
    bool curveDirty_ = true;
    QPixmap layer_;  // the curve layer with the faders' pictures over it
    bool layerDirty_ = true;
    int curveRenders_ = 0;
};

}  // namespace quorel
