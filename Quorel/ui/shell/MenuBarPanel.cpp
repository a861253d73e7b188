#include "MenuBarPanel.h"

#include "BoostModel.h"
#include "BrandIcon.h"
#include "ComparisonSwitch.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelFormat.h"
#include "PowerButton.h"
#include "PresetCategory.h"
#include "PresetLibrary.h"
#include "PresetMenuButton.h"
#include "StatusDot.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioSlider.h"
#include "Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorel {

namespace {

QLabel* label(const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
    return l;
}

}  // namespace

QString MenuBarPanel::percentText(float value) { return PanelFormat::percentText(value); }

MenuBarPanel::MenuBarPanel(BoostModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setFixedWidth(panelWidth);
    setAutoFillBackground(false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(14);

    // 1. Header: icon, name and status, the power button.
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new BrandIcon(26, this));
    auto* nameStack = new QVBoxLayout;
    nameStack->setSpacing(1);
    QLabel* name = label(Studio::font(13, QFont::DemiBold), Studio::text(), this);
    name->setText(QStringLiteral("Quorel"));
    nameStack->addWidget(name);
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(5);
    statusDot_ = new StatusDot(5, this);
    statusRow->addWidget(statusDot_, 0, Qt::AlignVCenter);
    statusText_ = label(Studio::font(10), Studio::secondary(), this);
    statusRow->addWidget(statusText_);
    statusRow->addStretch(1);
    nameStack->addLayout(statusRow);
    header->addLayout(nameStack);
    header->addStretch(1);
    power_ = new PowerButton(this);
    header->addWidget(power_);
    column->addLayout(header);
    connect(power_, &QAbstractButton::clicked, this,
            [this] { model_.system().setActive(!model_.system().isActive()); });

    // 2 to 5. The four amounts.
    addRow("Boost", &DSPSettings::boostDB, 0, 12, 0.5f, QStringLiteral("dB"));
    addRow("Loudness", &DSPSettings::loudness, 0, 1, 0.05f, QStringLiteral("%"));
    addRow("Drive", &DSPSettings::driveAmount, 0, 1, 0.05f, QStringLiteral("%"));
    addRow("Auto level", &DSPSettings::levelerStrength, 0, 1, 0.05f, QStringLiteral("%"));
    for (const Row& row : rows_) {
        auto* stack = new QVBoxLayout;
        stack->setSpacing(4);
        auto* line = new QHBoxLayout;
        line->addWidget(row.title);
        line->addStretch(1);
        line->addWidget(row.value);
        stack->addLayout(line);
        stack->addWidget(row.slider);
        column->addLayout(stack);
    }

    // 6. Preset menu and comparison.
    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(8);
    presetButton_ = new PresetMenuButton(this);
    presetMenu_ = new QMenu(this);
    presetButton_->setMenu(presetMenu_);
    // Built when it opens: rebuilding it from a refresh could delete the action being chosen.
    connect(presetMenu_, &QMenu::aboutToShow, this, &MenuBarPanel::rebuildPresetMenu);
    presetRow->addWidget(presetButton_, 1);
    comparison_ = new ComparisonSwitch(model_, this);
    comparison_->setFixedWidth(170);
    presetRow->addWidget(comparison_);
    column->addLayout(presetRow);

    // 7. Divider.
    auto* divider = new QWidget(this);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::Window, Studio::line());
    divider->setPalette(dividerPalette);
    column->addWidget(divider);

    // 8. Open and Quit.
    auto* bottom = new QHBoxLayout;
    open_ = new StudioButton(QString(), false, this);
    bottom->addWidget(open_);
    bottom->addStretch(1);
    quit_ = new QPushButton(this);
    quit_->setFlat(true);
    quit_->setFont(Studio::font(11));
    quit_->setCursor(Qt::PointingHandCursor);
    quit_->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background: transparent; color: %1; padding: 2px; }")
            .arg(Studio::secondary().name()));
    bottom->addWidget(quit_);
    column->addLayout(bottom);
    connect(open_, &QAbstractButton::clicked, this, &MenuBarPanel::openRequested);
    connect(quit_, &QAbstractButton::clicked, this, [this] {
        model_.system().shutdown();
        emit quitRequested();
    });

    connect(&model_, &BoostModel::settingsChanged, this, &MenuBarPanel::refresh);
    connect(&model_, &BoostModel::processedChanged, this, &MenuBarPanel::refresh);
    connect(&model_, &BoostModel::blindTestRunningChanged, this, &MenuBarPanel::refresh);
    connect(&model_.system(), &SystemModel::activeChanged, this, &MenuBarPanel::refresh);
    connect(&model_.presets(), &PresetLibrary::selectedIDChanged, this, &MenuBarPanel::refresh);
    connect(&model_.presets(), &PresetLibrary::customChanged, this, &MenuBarPanel::refresh);
    LanguageBinding::follow(this, &MenuBarPanel::refresh);
    refresh();
}

void MenuBarPanel::addRow(const char* titleKey, float DSPSettings::*field, float lo, float hi, float step,
                          const QString& unit)
{
    Row row{label(Studio::font(11, QFont::Medium), Studio::text(), this),
            label(Studio::font(11, QFont::DemiBold), Studio::violet(), this), new StudioSlider(Qt::Horizontal, this),
            field, titleKey};
    row.slider->setValueRange(lo, hi);
    row.slider->setStep(step);
    row.slider->setUnit(unit);
    row.slider->setFixedHeight(18);
    connect(row.slider, &StudioSlider::valueEdited, this, [this, field](float value) {
        model_.change([field, value](DSPSettings& settings) { settings.*field = value; });
    });
    rows_.push_back(row);
}

QString MenuBarPanel::statusText() const { return statusText_->text(); }
QColor MenuBarPanel::statusDotColour() const { return static_cast<StatusDot*>(statusDot_)->colour(); }
StudioSlider* MenuBarPanel::slider(int row) const { return rows_.at(size_t(row)).slider; }
QAbstractButton* MenuBarPanel::quitButton() const { return quit_; }

QMenu* MenuBarPanel::presetMenu() const
{
    const_cast<MenuBarPanel*>(this)->rebuildPresetMenu();
    return presetMenu_;
}

QStringList MenuBarPanel::valueTexts() const
{
    QStringList texts;
    for (const Row& row : rows_) texts << row.value->text();
    return texts;
}

void MenuBarPanel::refresh()
{
    const AppLanguage language = L10n::language();
    const bool active = model_.system().isActive();
    // A blind test hides which side plays: the status line then always reads processed.
    const bool processed = model_.processed() || model_.blindTestRunning();

    auto* dot = static_cast<StatusDot*>(statusDot_);
    if (!active) {
        dot->setColour(Studio::withOpacity(Studio::secondary(), 0.5));
        statusText_->setText(L10n::text("Off", language));
    } else {
        dot->setColour(Studio::cyan());
        statusText_->setText(processed ? L10n::text("Processing", language) : L10n::text("Original sound", language));
    }

    power_->setOn(active);
    power_->setToolTip(active ? L10n::text("Turn off", language) : L10n::text("Enable Boost", language));
    power_->setAccessibleName(active ? L10n::text("Turn off processing", language)
                                     : L10n::text("Enable processing", language));

    const DSPSettings& settings = model_.settings();
    for (Row& row : rows_) {
        const float value = settings.*(row.field);
        const QString title = L10n::render(QString::fromUtf8(row.titleKey), {}, language);
        row.title->setText(title);
        row.slider->setLabel(title);
        row.slider->setValue(value);
        if (row.field == &DSPSettings::boostDB)
            row.value->setText("+" + L10n::number(value, 1, language) + " dB");
        else
            row.value->setText(percentText(value));
    }

    const std::optional<SoundPreset> selected = model_.presets().selected();
    presetButton_->setSymbol(selected ? selected->symbol : QStringLiteral("slider.horizontal.3"));
    presetButton_->setText(selected ? selected->localizedName(language) : L10n::text("Custom", language));
    presetButton_->setAccessibleName(presetButton_->text());

    open_->setText(L10n::text("Open {0}", language, QStringLiteral("Quorel")));
    quit_->setText(L10n::text("Quit", language));
    updateGeometry();
    update();
}

void MenuBarPanel::rebuildPresetMenu()
{
    presetMenu_->clear();
    const AppLanguage language = L10n::language();
    for (PresetCategory category : presetCategory::allCases) {
        const std::vector<SoundPreset> presets = model_.presets().presets(category);
        if (presets.empty()) continue;
        presetMenu_->addSection(presetCategory::title(category, language));
        for (const SoundPreset& preset : presets) {
            QAction* action = presetMenu_->addAction(preset.localizedName(language));
            action->setData(preset.id);
            connect(action, &QAction::triggered, this, [this, preset] { model_.apply(preset); });
        }
    }
}

void MenuBarPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Studio::background());
}

}  // namespace quorel
