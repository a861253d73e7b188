#include "EqualizerPanel.h"

#include "BoostModel.h"
#include "CardHeader.h"
#include "Decoration.h"
#include "DSPSettings.h"
#include "EqualizerFader.h"
#include "EqualizerSpectrum.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelFormat.h"
#include "PanelHeading.h"
#include "PanelText.h"
#include "SegmentedControl.h"
#include "SelectableButton.h"
#include "SpectrumModel.h"
#include "FocusRing.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "StudioSlider.h"
#include "Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

namespace quorel {

namespace {

constexpr int valueHeight = 12;
constexpr int faderWidth = 22;
constexpr int faderHeight = 102;
constexpr int bandHeight = 11;
constexpr int columnSpacing = 7;
constexpr int areaHeight = valueHeight + columnSpacing + faderHeight + columnSpacing + bandHeight;  // 139
constexpr int overlayTop = 19;
constexpr int overlayBottom = 20;

// The fader row: 31 columns, each (W - 60) / 31 wide with 2 pt gaps, a value over a fader over
// a band name, and the spectrum's drawing over the faders (it draws them). Tells its owner when
// it comes on screen and when it leaves. It paints the card's colour under itself, so nothing
// it covers paints the card, page and window behind it again.
class FaderArea : public QWidget {
public:
    std::function<void()> shown;
    std::function<void()> hidden;
    EqualizerSpectrum* overlay = nullptr;
    std::vector<EqualizerFader*>* faders = nullptr;
    std::vector<QLabel*>* values = nullptr;
    std::vector<QLabel*>* bands = nullptr;

    explicit FaderArea(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), Studio::panel());
    }
    void showEvent(QShowEvent*) override
    {
        if (shown) shown();
    }
    void hideEvent(QHideEvent*) override
    {
        if (hidden) hidden();
    }
    void resizeEvent(QResizeEvent*) override
    {
        const qreal c = (width() - 60) / 31.0;
        const qreal p = c + 2;
        overlay->setGeometry(0, overlayTop, width(), height() - overlayTop - overlayBottom);
        for (int i = 0; i < 31; ++i) {
            const qreal centre = i * p + c / 2;
            const int left = int(std::lround(i * p));
            const int w = std::max(1, int(std::lround(i * p + c)) - left);
            (*values)[size_t(i)]->setGeometry(left - 2, 0, w + 4, valueHeight);
            (*faders)[size_t(i)]->setGeometry(int(std::lround(centre - faderWidth / 2.0)), valueHeight + columnSpacing,
                                              faderWidth, faderHeight);
            (*bands)[size_t(i)]->setGeometry(left - 2, areaHeight - bandHeight, w + 4, bandHeight);
        }
    }
};

// The dB scale beside the faders: "+12", "0", "−12" spread over 100 pt.
class DecibelScale : public QWidget {
public:
    explicit DecibelScale(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(22, 101);
        Decoration::mark(this);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(PanelText::monoFont(9));
        painter.setPen(Studio::withOpacity(Studio::secondary(), 0.65));
        const QRectF area(0, 1, 22, 100);
        const qreal line = QFontMetricsF(painter.font()).height();
        painter.drawText(QRectF(area.left(), area.top(), area.width(), line), Qt::AlignCenter, QStringLiteral("+12"));
        painter.drawText(QRectF(area.left(), area.center().y() - line / 2, area.width(), line), Qt::AlignCenter,
                         QStringLiteral("0"));
        painter.drawText(QRectF(area.left(), area.bottom() - line, area.width(), line), Qt::AlignCenter,
                         QString::fromUtf8("\u221212"));
    }
};

// One legend entry's mark: a 12 x 2 capsule (line) or an 8 x 8 rounded square (swatch).
class LegendMark : public QWidget {
public:
    LegendMark(const QColor& colour, bool line, QWidget* parent) : QWidget(parent), colour_(colour), line_(line)
    {
        setFixedSize(line ? 12 : 8, 8);
        Decoration::mark(this);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour_);
        if (line_)
            painter.drawRoundedRect(QRectF(0, 3, 12, 2), 1, 1);
        else
            painter.drawRoundedRect(QRectF(0, 0, 8, 8), 2, 2);
    }

private:
    QColor colour_;
    bool line_;
};

}  // namespace

QString EqualizerPanel::faderText(float gain)
{
    if (gain == 0) return QStringLiteral("0");
    return PanelFormat::printf("%+.0f", double(gain));
}

float EqualizerPanel::nyquist(const std::optional<SystemBoostEngine::Info>& info)
{
    return info ? float(info->sampleRate) / 2 : 24000.0f;
}

double EqualizerPanel::overlayRate(const std::optional<SystemBoostEngine::Info>& info)
{
    return info ? info->sampleRate : 48000.0;
}

bool EqualizerPanel::faderEnabled(int band, float nyquist) { return DSPSettings::frequencies[size_t(band)] < nyquist; }

QString EqualizerPanel::percentText(float amount) { return PanelFormat::percentText(amount); }

EqualizerPanel::EqualizerPanel(BoostModel& model, QWidget* parent)
    : QWidget(parent), model_(model), spectrum_(new SpectrumModel(this))
{
    StudioPanel* card = StudioPanel::filling(this);
    QVBoxLayout* column = card->contentLayout();
    column->setSpacing(12);

    addHeader(card);
    column->addLayout(buildFaders(card));
    column->addWidget(PanelText::divider(card));
    column->addLayout(buildBassCut(card));
    column->addLayout(buildHarmonics(card));

    connect(&model_, &BoostModel::settingsChanged, this, &EqualizerPanel::refresh);
    connect(&model_.system(), &SystemModel::infoChanged, this, &EqualizerPanel::refresh);
    LanguageBinding::follow(this, &EqualizerPanel::refreshTexts);
    connect(spectrum_, &SpectrumModel::changed, this, [this] {
        if (spectrum_->live() != lastLive_) refreshLegendHelp();
    });

    refreshTexts();
    refresh();
}

EqualizerPanel::~EqualizerPanel() = default;

// Heading, legend and Reset.
void EqualizerPanel::addHeader(StudioPanel* card)
{
    const CardHeader header = addCardHeader(card, QStringLiteral("slider.vertical.3"), QString());
    heading_ = header.heading;
    legend_ = new QWidget(card);
    auto* legendRow = new QHBoxLayout(legend_);
    legendRow->setContentsMargins(0, 0, 6, 0);
    legendRow->setSpacing(12);
    const struct {
        QColor colour;
        bool line;
    } entries[] = {{Studio::withOpacity(Studio::violet(), 0.7), false},
                   {Studio::withOpacity(Studio::secondary(), 0.45), false},
                   {Studio::cyan(), true}};
    for (const auto& entry : entries) {
        auto* item = new QHBoxLayout;
        item->setSpacing(5);
        item->addWidget(new LegendMark(entry.colour, entry.line, legend_), 0, Qt::AlignVCenter);
        QLabel* text = PanelText::label(9, QFont::Normal, Studio::secondary(), legend_);
        item->addWidget(text, 0, Qt::AlignVCenter);
        legendTexts_.append(text);
        legendRow->addLayout(item);
    }
    header.row->addWidget(legend_);
    reset_ = new StudioButton(QString(), false, card);
    reset_->setSymbol(QStringLiteral("arrow.counterclockwise"));
    header.row->addWidget(reset_);
    connect(reset_, &QAbstractButton::clicked, this,
            [this] { model_.change([](DSPSettings& s) { s.bands.assign(31, 0.0f); }); });
}

// The dB scale and the faders over the spectrum.
QHBoxLayout* EqualizerPanel::buildFaders(StudioPanel* card)
{
    auto* faderRow = new QHBoxLayout;
    faderRow->setSpacing(2);
    faderRow->addWidget(new DecibelScale(card), 0, Qt::AlignVCenter);
    auto* area = new FaderArea(card);
    faderArea_ = area;
    area->setFixedHeight(areaHeight);
    area->setMinimumWidth(60 + 31 * 8);
    area->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    overlay_ = new EqualizerSpectrum(*spectrum_, area);
    overlay_->setTrackInset(5);
    for (int i = 0; i < 31; ++i) {
        QLabel* value = PanelText::mono(9, QFont::Medium, Studio::secondary(), area);
        value->setAlignment(Qt::AlignCenter);
        valueLabels_.push_back(value);
        auto* fader = new EqualizerFader(area);
        faders_.push_back(fader);
        const bool octave = std::find(DSPSettings::octaveBandIndices.begin(), DSPSettings::octaveBandIndices.end(), i)
                            != DSPSettings::octaveBandIndices.end();
        QLabel* band = PanelText::mono(8, octave ? QFont::DemiBold : QFont::Normal,
                                       octave ? Studio::text() : Studio::withOpacity(Studio::secondary(), 0.75), area);
        band->setAlignment(Qt::AlignCenter);
        band->setText(QString::fromLatin1(DSPSettings::frequencyLabels[size_t(i)]));
        bandLabels_.push_back(band);
        connect(fader, &StudioSlider::valueEdited, this,
                [this, i](float value) { model_.change([i, value](DSPSettings& s) { s.bands[size_t(i)] = value; }); });
    }
    // Over the faders: a frame of the spectrum (30 a second) paints the drawing alone.
    overlay_->setFaders(faders_);
    overlay_->raise();
    area->overlay = overlay_;
    area->faders = &faders_;
    area->values = &valueLabels_;
    area->bands = &bandLabels_;
    area->shown = [this] { spectrum_->start(&model_.system()); };
    area->hidden = [this] { spectrum_->stop(); };
    faderRow->addWidget(area, 1);
    return faderRow;
}

// The bass-cut choice.
QHBoxLayout* EqualizerPanel::buildBassCut(StudioPanel* card)
{
    auto* bassRow = new QHBoxLayout;
    bassRow->setSpacing(8);
    bassRow->addStretch(1);
    bassRow->addWidget(new SymbolView(QStringLiteral("speaker.wave.1"), 12, Studio::secondary(), card));
    bassCutTitle_ = PanelText::label(11, QFont::Medium, Studio::text(), card);
    bassRow->addWidget(bassCutTitle_);
    auto* choice = new SegmentedControl(SegmentedControl::Look::tinted, card);
    for (size_t k = 0; k < DSPSettings::highPassOptions.size(); ++k) bassCut_.push_back(choice->addSegment());
    connect(choice, &SegmentedControl::chosen, this, [this](int k) {
        const float option = DSPSettings::highPassOptions[size_t(k)];
        model_.change([option](DSPSettings& s) { s.highPassHz = option; });
    });
    bassRow->addWidget(choice);
    bassRow->addWidget(PanelText::label(10, QFont::Normal, Studio::secondary(), card));
    static_cast<QLabel*>(bassRow->itemAt(bassRow->count() - 1)->widget())->setText(QStringLiteral("Hz"));
    bassRow->addStretch(1);
    return bassRow;
}

// The bass-harmonics slider.
QHBoxLayout* EqualizerPanel::buildHarmonics(StudioPanel* card)
{
    auto* harmonicsRow = new QHBoxLayout;
    harmonicsRow->setSpacing(8);
    harmonicsRow->addStretch(1);
    harmonicsRow->addWidget(new SymbolView(QStringLiteral("waveform.path"), 12, Studio::secondary(), card));
    harmonicsTitle_ = PanelText::label(11, QFont::Medium, Studio::text(), card);
    harmonicsRow->addWidget(harmonicsTitle_);
    harmonics_ = new StudioSlider(Qt::Horizontal, card);
    harmonics_->setValueRange(0, 1);
    harmonics_->setStep(0.05f);
    harmonics_->setUnit(QStringLiteral("%"));
    harmonics_->setFixedSize(220, 18);
    harmonicsRow->addWidget(harmonics_);
    harmonicsValue_ = PanelText::mono(10, QFont::Medium, Studio::secondary(), card);
    harmonicsValue_->setFixedWidth(34);
    harmonicsValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    harmonicsRow->addWidget(harmonicsValue_);
    harmonicsRow->addStretch(1);
    connect(harmonics_, &StudioSlider::valueEdited, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.bassHarmonics = value; }); });
    return harmonicsRow;
}

void EqualizerPanel::refresh()
{
    const DSPSettings& settings = model_.settings();
    const std::optional<SystemBoostEngine::Info>& info = model_.system().info();
    const float limit = nyquist(info);
    for (int i = 0; i < 31; ++i) {
        const float gain = size_t(i) < settings.bands.size() ? settings.bands[size_t(i)] : 0.0f;
        faders_[size_t(i)]->setValue(gain);
        faders_[size_t(i)]->setEnabled(faderEnabled(i, limit));
        QLabel* value = valueLabels_[size_t(i)];
        value->setText(faderText(gain));
        PanelText::setColour(value, gain == 0 ? Studio::withOpacity(Studio::secondary(), 0.7) : Studio::violet());
    }
    overlay_->setBands(settings.bands);
    overlay_->setSampleRate(overlayRate(info));
    for (size_t k = 0; k < bassCut_.size(); ++k)
        bassCut_[k]->setSelected(DSPSettings::highPassOptions[k] == settings.highPassHz);
    for (SelectableButton* button : bassCut_) button->update();
    harmonics_->setValue(settings.bassHarmonics);
    harmonicsValue_->setText(percentText(settings.bassHarmonics));
    PanelText::setColour(harmonicsValue_, settings.bassHarmonics > 0 ? Studio::violet() : Studio::secondary());
}

void EqualizerPanel::refreshLegendHelp()
{
    lastLive_ = spectrum_->live();
    const AppLanguage language = L10n::language();
    legend_->setToolTip(lastLive_
                            ? L10n::text("Live per-band spectrum and estimated response of your settings.", language)
                            : L10n::text("Enable processing to see the live spectrum.", language));
}

void EqualizerPanel::refreshTexts()
{
    const AppLanguage language = L10n::language();
    heading_->setTitle(L10n::text("Equalizer", language));
    heading_->setDetail(L10n::text("31 bands · ⅓ octave", language));
    legendTexts_[0]->setText(L10n::text("Output", language));
    legendTexts_[1]->setText(L10n::text("Input", language));
    legendTexts_[2]->setText(L10n::text("EQ curve", language));
    refreshLegendHelp();
    reset_->setText(L10n::text("Reset", language));
    reset_->setToolTip(L10n::text("Return all bands to 0 dB", language));
    for (int i = 0; i < 31; ++i)
        faders_[size_t(i)]->setLabel(
            L10n::text("Equalizer {0} Hz", language, QString::fromLatin1(DSPSettings::frequencyLabels[size_t(i)])));
    bassCutTitle_->setText(L10n::text("Bass cut", language));
    bassCutTitle_->setToolTip(
        L10n::text("Reduces low frequencies. Try 100 or 120 Hz with built-in speakers and compare.", language));
    for (size_t k = 0; k < bassCut_.size(); ++k) {
        const float option = DSPSettings::highPassOptions[k];
        const QString whole = QString::number(int(option));
        bassCut_[k]->setText(option == 0 ? L10n::text("Off", language) : whole);
        bassCut_[k]->setAccessibleName(option == 0 ? L10n::text("Turn off bass cut", language)
                                                   : L10n::text("Bass cut at {0} Hz", language, whole));
        bassCut_[k]->updateGeometry();
    }
    harmonicsTitle_->setText(L10n::text("Bass harmonics", language));
    harmonicsTitle_->setToolTip(L10n::text("Adds harmonics of the sub-bass (30–110 Hz) so small speakers convey bass "
                                           "they cannot reproduce. Pairs well with a bass cut on laptop speakers.",
                                           language));
    harmonics_->setLabel(L10n::text("Bass harmonics", language));
}

}  // namespace quorel
