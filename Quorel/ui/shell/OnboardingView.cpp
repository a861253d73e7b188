#include "OnboardingView.h"

#include "BoostModel.h"
#include "BrandIcon.h"
#include "BuiltInPresets.h"
#include "FocusRing.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "LocalizationModel.h"
#include "OnboardingState.h"
#include "PresetLibrary.h"
#include "StatusDot.h"
#include "Studio.h"
#include "StudioButton.h"
#include "Symbols.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace quorel {

namespace {

QLabel* textLabel(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent, bool wrap = true)
{
    auto* label = new QLabel(parent);
    label->setFont(Studio::font(pixelSize, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setWordWrap(wrap);
    return label;
}

QHBoxLayout* bullet(const QString& symbol, const QString& text, QWidget* parent)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    auto* icon = new SymbolView(symbol, 13, Studio::violet(), parent);
    icon->setFixedWidth(20);
    row->addWidget(icon, 0, Qt::AlignTop);
    QLabel* label = textLabel(12, QFont::Normal, Studio::text(), parent);
    label->setText(text);
    row->addWidget(label, 1);
    return row;
}

// A starting preset: its symbol over its name, highlighted while it is the selected preset.
class PresetCard : public QAbstractButton {
public:
    PresetCard(const SoundPreset& preset, bool selected, QWidget* parent)
        : QAbstractButton(parent), symbol_(preset.symbol), selected_(selected)
    {
        setText(preset.localizedName());
        setFixedHeight(64);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setMinimumWidth(60);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(text());
    }
    QSize sizeHint() const override { return {100, 64}; }
    bool isHighlighted() const { return selected_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds(rect());
        QPainterPath shape;
        shape.addRoundedRect(bounds, 10, 10);
        painter.fillPath(shape, selected_ ? Studio::withOpacity(Studio::violet(), 0.14)
                                          : QColor(255, 255, 255, qRound(0.035 * 255)));
        QPainterPath outline;
        outline.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);
        painter.setPen(QPen(selected_ ? Studio::withOpacity(Studio::violet(), 0.35) : Studio::line(), 1));
        painter.drawPath(outline);
        const QColor colour = selected_ ? Studio::violet() : Studio::secondary();
        const QFont font = Studio::font(10, QFont::Medium);
        const QFontMetricsF metrics(font);
        const QRectF textRect(6, 0, bounds.width() - 12, metrics.height() * 2);
        const QRectF needed = metrics.boundingRect(textRect, Qt::AlignHCenter | Qt::TextWordWrap, text());
        const qreal textHeight = std::min(needed.height(), metrics.height() * 2);
        const qreal total = 16 + 6 + textHeight;
        const qreal top = (bounds.height() - total) / 2;
        Symbols::draw(painter, symbol_, QRectF(bounds.center().x() - 8, top, 16, 16), colour);
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(QRectF(6, top + 22, bounds.width() - 12, textHeight), Qt::AlignHCenter | Qt::TextWordWrap,
                         text());
        FocusRing::drawIfFocused(painter, *this, 10);
    }

private:
    QString symbol_;
    bool selected_;
};

}  // namespace

const QStringList OnboardingView::startingPresetIDs{"builtin.macbook-speakers", "builtin.movies", "builtin.music",
                                                    "builtin.voice"};

OnboardingView::OnboardingView(BoostModel& model, OnboardingState& state, QWidget* parent, QStringList presetIDs)
    : QDialog(parent), model_(model), state_(state), presetIDs_(std::move(presetIDs))
{
    setWindowModality(Qt::WindowModal);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Studio::background());
    palette.setColor(QPalette::WindowText, Studio::text());
    setPalette(palette);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(22);
    column->setSizeConstraint(QLayout::SetFixedSize);
    // The sheet is 560 wide; its height follows the step.
    auto* strut = new QWidget(this);
    strut->setFixedSize(560 - 2 * 28, 0);
    column->addWidget(strut);
    column->addSpacing(-22);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(new BrandIcon(44, this));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    title_ = textLabel(20, QFont::DemiBold, Studio::text(), this, true);  // long titles wrap; the sheet stays 560 wide
    titles->addWidget(title_);
    step_ = textLabel(11, QFont::Normal, Studio::secondary(), this, false);
    titles->addWidget(step_);
    header->addLayout(titles, 1);  // the free width goes to the title, which wraps only when it must
    language_ = new QComboBox(this);
    language_->setFixedWidth(115);
    for (AppLanguage language : appLanguage::allCases)
        language_->addItem(appLanguage::nativeName(language), appLanguage::rawValue(language));
    header->addWidget(language_);
    column->addLayout(header);
    connect(language_, &QComboBox::activated, this, [this](int index) {
        if (auto language = appLanguage::fromRawValue(language_->itemData(index).toString()))
            LocalizationModel::shared().setLanguage(*language);
    });

    contentSlot_ = new QVBoxLayout;
    contentSlot_->setContentsMargins(0, 0, 0, 0);
    column->addLayout(contentSlot_);

    auto* buttons = new QHBoxLayout;
    skip_ = new StudioButton(QString(), false, this);
    back_ = new StudioButton(QString(), false, this);
    forward_ = new StudioButton(QString(), true, this);
    for (StudioButton* button : {skip_, back_, forward_}) button->setFocusPolicy(Qt::StrongFocus);
    buttons->addWidget(skip_);
    buttons->addStretch(1);
    buttons->addWidget(back_);
    buttons->addWidget(forward_);
    column->addLayout(buttons);
    connect(skip_, &QAbstractButton::clicked, this, [this] { state_.complete(); });
    connect(back_, &QAbstractButton::clicked, this, [this] {
        if (state_.step() > 0) state_.setStep(state_.step() - 1);
    });
    connect(forward_, &QAbstractButton::clicked, this, [this] {
        if (state_.step() != 2)
            state_.setStep(state_.step() + 1);
        else
            state_.complete();
    });

    connect(&state_, &OnboardingState::stepChanged, this, &OnboardingView::refresh);
    connect(&state_, &OnboardingState::presentedChanged, this, [this](bool presented) {
        if (!presented && isVisible()) QDialog::done(QDialog::Accepted);
    });
    LanguageBinding::follow(this, &OnboardingView::refresh);
    connect(&model_, &BoostModel::settingsChanged, this, &OnboardingView::refresh);
    connect(&model_.presets(), &PresetLibrary::selectedIDChanged, this, &OnboardingView::refresh);
    connect(&model_.system(), &SystemModel::activeChanged, this, &OnboardingView::refresh);
    connect(&model_.system(), &SystemModel::statusChanged, this, &OnboardingView::refresh);
    connect(&model_.system(), &SystemModel::flagsChanged, this, &OnboardingView::refresh);
    refresh();
}

QString OnboardingView::titleText() const { return title_->text(); }
QString OnboardingView::stepText() const { return step_->text(); }

void OnboardingView::reject()
{
    state_.setPresented(false);
    QDialog::reject();
}

void OnboardingView::keyPressEvent(QKeyEvent* event)
{
    // The forward button is the sheet's default action.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        forward_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OnboardingView::refresh()
{
    const AppLanguage language = L10n::language();
    const int step = state_.step();
    if (step == 0)
        title_->setText(L10n::text("Welcome to {0}", language, QStringLiteral("Quorel")));
    else if (step == 1)
        title_->setText(L10n::text("Permission to process audio", language));
    else
        title_->setText(L10n::text("Choose a starting point", language));
    step_->setText(L10n::text("Step {0} of 3", language, QString::number(step + 1)));
    language_->setAccessibleName(L10n::text("Language", language));
    language_->setCurrentIndex(language_->findData(appLanguage::rawValue(LocalizationModel::shared().language())));

    skip_->setText(L10n::text("Skip", language));
    back_->setText(L10n::text("Back", language));
    back_->setVisible(step > 0);
    forward_->setText(step == 2 ? L10n::text("Finish", language) : L10n::text("Continue", language));
    buildStep();
}

QList<QWidget*> OnboardingView::stepControls() const
{
    QList<QWidget*> found;
    for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain())
        if (content_->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)) found << w;
    return found;
}

void OnboardingView::buildStep()
{
    const AppLanguage language = L10n::language();
    const StepFocus focus = removeStep();
    content_ = new QWidget(this);
    auto* layout = new QVBoxLayout(content_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    const int step = state_.step();
    if (step == 0)
        buildWelcome(*layout, language);
    else if (step == 1)
        buildPermission(*layout, language);
    else
        buildPresets(*layout, language);
    contentSlot_->addWidget(content_);
    orderTabs();
    builtStep_ = step;
    restoreFocus(focus);
}

OnboardingView::StepFocus OnboardingView::removeStep()
{
    // A control of the step that had the focus (a preset card just clicked, "Enable now") hands
    // it to its successor in the new build, taken the same way, rather than Qt moving it on to
    // "Skip" as the old one hides.
    StepFocus focus;
    if (content_) {
        QWidget* focused = QApplication::focusWidget();
        if (focused && content_->isAncestorOf(focused)) {
            focus.at = builtStep_ == state_.step() ? stepControls().indexOf(focused) : -1;
            focus.fromKeyboard = FocusRing::showsRing(*focused);
            forward_->setFocus(focus.fromKeyboard ? Qt::OtherFocusReason : Qt::MouseFocusReason);
        }
        content_->hide();
        content_->deleteLater();
    }
    enable_ = nullptr;
    soundSettings_ = nullptr;
    statusWord_ = nullptr;
    cards_.clear();
    return focus;
}

void OnboardingView::buildWelcome(QVBoxLayout& layout, AppLanguage language)
{
    layout.addLayout(bullet(QStringLiteral("speaker.wave.3.fill"),
                            L10n::text("More volume with control: Boost, Loudness, a 31-band equalizer and a "
                                       "limiter to keep peaks in check.",
                                       language),
                            content_));
    layout.addLayout(bullet(QStringLiteral("macbook"),
                            L10n::text("Works with all system audio: music, video, calls and games, without "
                                       "setting up each app.",
                                       language),
                            content_));
    layout.addLayout(bullet(QStringLiteral("lock.shield"),
                            L10n::text("Everything happens in this computer’s memory. Nothing is recorded or "
                                       "sent.",
                                       language),
                            content_));
}

void OnboardingView::buildPermission(QVBoxLayout& layout, AppLanguage language)
{
    SystemModel& system = model_.system();
    QLabel* explanation = textLabel(12, QFont::Normal, Studio::text(), content_);
    explanation->setText(L10n::text("To process sound from other apps, {0} becomes the default output while "
                                    "processing runs. It passes the audio on in real time and does not record "
                                    "anything.",
                                    language, QStringLiteral("Quorel")));
    layout.addWidget(explanation);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(10);
    const bool active = system.isActive();
    enable_ = new StudioButton(
        active ? L10n::text("Processing is active", language) : L10n::text("Enable now", language), !active, content_);
    enable_->setEnabled(!active);
    connect(enable_, &QAbstractButton::clicked, this, [this] { model_.system().setActive(true); });
    actions->addWidget(enable_);
    if (system.needsPermission() && system.canOpenSoundSettings()) {
        soundSettings_ = new StudioButton(L10n::text("Open sound settings", language), false, content_);
        connect(soundSettings_, &QAbstractButton::clicked, this, [this] { model_.system().openPrivacySettings(); });
        actions->addWidget(soundSettings_);
    }
    actions->addStretch(1);
    auto* dot = new StatusDot(6, content_);
    dot->setColour(active ? Studio::cyan() : Studio::withOpacity(Studio::secondary(), 0.5));
    actions->addWidget(dot, 0, Qt::AlignVCenter);
    statusWord_ = textLabel(11, QFont::Normal, Studio::secondary(), content_, false);
    statusWord_->setText(active ? L10n::text("Working", language) : L10n::text("Idle", language));
    actions->addWidget(statusWord_);
    layout.addLayout(actions);
    QLabel* status = textLabel(11, QFont::Normal, Studio::secondary(), content_);
    status->setText(system.status().localized(language));
    layout.addWidget(status);
}

void OnboardingView::buildPresets(QVBoxLayout& layout, AppLanguage language)
{
    QLabel* explanation = textLabel(12, QFont::Normal, Studio::text(), content_);
    explanation->setText(L10n::text("A preset adjusts the equalizer, bass cut, Loudness and limiter. Boost "
                                    "remains your volume control.",
                                    language));
    layout.addWidget(explanation);
    auto* cards = new QHBoxLayout;
    cards->setSpacing(8);
    const std::optional<QString>& selected = model_.presets().selectedID();
    for (const QString& id : presetIDs_) {
        const std::optional<SoundPreset> preset = BuiltInPresets::preset(id);
        if (!preset) continue;
        auto* card = new PresetCard(*preset, selected && *selected == preset->id, content_);
        const SoundPreset chosen = *preset;
        connect(card, &QAbstractButton::clicked, this, [this, chosen] { model_.apply(chosen); });
        cards->addWidget(card, 1);
        cards_.append(card);
    }
    layout.addLayout(cards);
    QLabel* hint = textLabel(11, QFont::Normal, Studio::secondary(), content_);
    hint->setText(L10n::text("Then compare with Ctrl+B to switch between original and processed sound.", language));
    layout.addWidget(hint);
}

void OnboardingView::orderTabs()
{
    // Tab follows reading order: the language, the step's own controls, then the buttons below
    // (the step is built after the buttons, so Qt would visit it last).
    QList<QWidget*> order{language_};
    order << stepControls() << skip_ << back_ << forward_;
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void OnboardingView::restoreFocus(StepFocus focus)
{
    if (focus.at < 0) return;
    const QList<QWidget*> rebuilt = stepControls();
    // A control now disabled ("Processing is active") leaves the focus on "Continue".
    if (focus.at < rebuilt.size() && rebuilt[focus.at]->isEnabled())
        rebuilt[focus.at]->setFocus(focus.fromKeyboard ? Qt::OtherFocusReason : Qt::MouseFocusReason);
}

}  // namespace quorel
