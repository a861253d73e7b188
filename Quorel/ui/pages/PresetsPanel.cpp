#include "PresetsPanel.h"

#include "BoostModel.h"
#include "BuiltInPresets.h"
#include "CardHeader.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelHeading.h"
#include "PanelText.h"
#include "PanelWidgets.h"
#include "PresetFileDialogs.h"
#include "PresetLibrary.h"
#include "PresetsPanelState.h"
#include "SelectableButton.h"
#include "FocusRing.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "Symbols.h"
#include "UserFile.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace quorel {

namespace {

QPainterPath insideRounded(const QRectF& bounds, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    return path;
}

// The preset menu's label: symbol, name and an up-down chevron on a raised plate.
class PresetMenuLabel : public QAbstractButton {
public:
    QMenu* menu = nullptr;

    explicit PresetMenuLabel(QWidget* parent) : QAbstractButton(parent)
    {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(this, &QAbstractButton::clicked, this, [this] {
            if (menu) menu->popup(mapToGlobal(QPoint(0, height() + 2)));
        });
    }
    void setSymbol(const QString& symbol)
    {
        symbol_ = symbol;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override
    {
        const QFontMetrics name(Studio::font(12, QFont::DemiBold));
        return {12 + 12 + 8 + name.horizontalAdvance(text()) + 8 + 9 + 12, name.height() + 14};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds(rect());
        QPainterPath plate;
        plate.addRoundedRect(bounds, 9, 9);
        painter.fillPath(plate, Studio::raised());
        painter.setPen(QPen(Studio::line(), 1));
        painter.drawPath(insideRounded(bounds, 9));
        const qreal mid = bounds.center().y();
        qreal x = 12;
        Symbols::draw(painter, symbol_, QRectF(x, mid - 6, 12, 12), Studio::violet());
        x += 12 + 8;
        const QFont font = Studio::font(12, QFont::DemiBold);
        painter.setFont(font);
        painter.setPen(Studio::text());
        const qreal textWidth = QFontMetricsF(font).horizontalAdvance(text());
        painter.drawText(QRectF(x, 0, textWidth + 1, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft, text());
        x += textWidth + 8;
        Symbols::draw(painter, QStringLiteral("chevron.up.chevron.down"), QRectF(x, mid - 4.5, 9, 9),
                      Studio::secondary());
        FocusRing::drawIfFocused(painter, *this, 9);
    }

private:
    QString symbol_;
};

// A borderless symbol that opens a menu.
class SymbolMenuButton : public QAbstractButton {
public:
    QMenu* menu = nullptr;

    SymbolMenuButton(const QString& symbol, QWidget* parent) : QAbstractButton(parent), symbol_(symbol)
    {
        setCursor(Qt::PointingHandCursor);
        setFixedSize(22, 22);
        connect(this, &QAbstractButton::clicked, this, [this] {
            if (menu) menu->popup(mapToGlobal(QPoint(0, height() + 2)));
        });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Symbols::draw(painter, symbol_, QRectF(4, 4, 14, 14), isDown() ? Studio::text() : Studio::secondary());
        FocusRing::drawIfFocused(painter, *this, 6);
    }

private:
    QString symbol_;
};

// A quick-pick chip: the preset's symbol and name in a capsule, violet when selected.
class PresetChip : public SelectableButton {
public:
    PresetChip(const QString& symbol, QWidget* parent) : SelectableButton(parent), symbol_(symbol)
    {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics name(Studio::font(10, QFont::Medium));
        return {9 + 9 + 5 + name.horizontalAdvance(text()) + 2 + 9, name.height() + 12};
    }
    QSize minimumSizeHint() const override
    {
        const QFontMetrics name(Studio::font(10, QFont::Medium));
        return {9 + 9 + 5 + name.horizontalAdvance(QStringLiteral("Abc…")) + 9, name.height() + 12};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds(rect());
        const qreal radius = bounds.height() / 2;
        QPainterPath capsule;
        capsule.addRoundedRect(bounds, radius, radius);
        const bool on = isSelected();
        painter.fillPath(capsule, on ? Studio::withOpacity(Studio::violet(), 0.14) : QColor(255, 255, 255, 9));
        painter.setPen(QPen(on ? Studio::withOpacity(Studio::violet(), 0.35) : Studio::line(), 1));
        painter.drawPath(insideRounded(bounds, radius));
        const QColor foreground = on ? Studio::violet() : Studio::secondary();
        const qreal mid = bounds.center().y();
        Symbols::draw(painter, symbol_, QRectF(9, mid - 4.5, 9, 9), foreground);
        const QFont font = Studio::font(10, QFont::Medium);
        painter.setFont(font);
        painter.setPen(foreground);
        const QRectF textRect(9 + 9 + 5, 0, bounds.width() - (9 + 9 + 5) - 9, bounds.height());
        const QString shown = QFontMetrics(font).elidedText(text(), Qt::ElideRight, int(textRect.width() + 0.5));
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, shown);
        FocusRing::drawIfFocused(painter, *this, radius);
    }

private:
    QString symbol_;
};

// The chips left to right, spaced 6 apart, wrapping onto a new line where the card is too
// narrow for them all (so no chip has to cut its name).
class ChipFlow : public QWidget {
public:
    static constexpr int spacing = 6;

    explicit ChipFlow(QWidget* parent) : QWidget(parent) { setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed); }
    void setChips(const QList<QWidget*>& chips)
    {
        chips_ = chips;
        setFixedHeight(std::max(place(width()), 1));
    }
    QSize sizeHint() const override
    {
        int w = 0, h = 0;
        for (QWidget* chip : chips_) {
            w += chip->sizeHint().width() + (w ? spacing : 0);
            h = std::max(h, chip->sizeHint().height());
        }
        return {w, height() > 1 ? height() : h};
    }
    QSize minimumSizeHint() const override { return {0, chips_.isEmpty() ? 0 : chips_.front()->sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        Q_UNUSED(event);
        setFixedHeight(std::max(place(width()), 1));
    }

private:
    // Lays the chips out in `width` (moving them when `apply`); the height they take.
    int place(int width, bool apply = true)
    {
        int x = 0, y = 0, line = 0;
        for (QWidget* chip : chips_) {
            const QSize hint = chip->sizeHint();
            if (x > 0 && x + hint.width() > width) {
                x = 0;
                y += line + spacing;
                line = 0;
            }
            if (apply) chip->setGeometry(x, y, std::min(hint.width(), std::max(width, 1)), hint.height());
            x += hint.width() + spacing;
            line = std::max(line, hint.height());
        }
        return y + line;
    }

    QList<QWidget*> chips_;
};

}  // namespace

std::vector<SoundPreset> PresetsPanel::chipPresets(const std::vector<SoundPreset>& custom)
{
    std::vector<SoundPreset> chips;
    for (const QString& id : BuiltInPresets::featuredIDs())
        if (std::optional<SoundPreset> preset = BuiltInPresets::preset(id)) chips.push_back(*preset);
    for (size_t i = 0; i < custom.size() && i < 3; ++i) chips.push_back(custom[i]);
    return chips;
}

std::vector<PresetsPanel::Section> PresetsPanel::menuSections(const PresetLibrary& library)
{
    std::vector<Section> sections;
    for (PresetCategory category : presetCategory::allCases) {
        std::vector<SoundPreset> presets = library.presets(category);
        if (!presets.empty()) sections.push_back({category, std::move(presets)});
    }
    return sections;
}

PresetsPanel::PresetsPanel(BoostModel& model, QWidget* parent)
    : QWidget(parent), model_(model), state_(new PresetsPanelState(this))
{
    StudioPanel* card = StudioPanel::filling(this, 16);
    QVBoxLayout* column = card->contentLayout();
    column->setSpacing(12);

    const CardHeader header = addCardHeader(card, QStringLiteral("rectangle.stack"));
    header.row->setSpacing(12);
    heading_ = header.heading;
    auto* menuLabel = new PresetMenuLabel(card);
    menuButton_ = menuLabel;
    presetMenu_ = new QMenu(this);
    menuLabel->menu = presetMenu_;
    connect(presetMenu_, &QMenu::aboutToShow, this, &PresetsPanel::rebuildMenu);
    header.row->insertWidget(1, menuLabel);
    save_ = new StudioButton(QString(), false, card);
    save_->setSymbol(QStringLiteral("square.and.arrow.down"));
    header.row->addWidget(save_);
    delete_ = new StudioButton(QString(), false, card);
    delete_->setSymbol(QStringLiteral("trash"));
    header.row->addWidget(delete_);
    auto* fileButton = new SymbolMenuButton(QStringLiteral("ellipsis.circle"), card);
    fileButton_ = fileButton;
    fileMenu_ = new QMenu(this);
    exportAction_ = fileMenu_->addAction(QString(), this, &PresetsPanel::exportCurrent);
    importAction_ = fileMenu_->addAction(QString(), this, &PresetsPanel::importFiles);
    fileButton->menu = fileMenu_;
    header.row->addWidget(fileButton);

    chipRow_ = new ChipFlow(card);
    card->addFullWidth(chipRow_);

    summary_ = PanelText::label(11, QFont::Normal, Studio::secondary(), card);
    summary_->setWordWrap(true);
    summary_->setMaximumHeight(QFontMetrics(summary_->font()).lineSpacing() * 2 + 2);
    card->addFullWidth(summary_);

    connect(save_, &QAbstractButton::clicked, this, &PresetsPanel::saveAs);
    connect(delete_, &QAbstractButton::clicked, this, &PresetsPanel::askDelete);
    connect(state_, &PresetsPanelState::changed, this, [this] {
        if (state_->askingName() && !nameDialog_) showNamePrompt();
        if (state_->confirmingOverwrite() && !replaceBox_) showReplace();
        if (state_->confirmingDelete() && !deleteBox_) showDelete();
        if (nameSave_) nameSave_->setEnabled(state_->canSave());
    });
    PresetLibrary& library = model_.presets();
    connect(&library, &PresetLibrary::customChanged, this, &PresetsPanel::refresh);
    connect(&library, &PresetLibrary::selectedIDChanged, this, &PresetsPanel::refresh);
    LanguageBinding::follow(this, &PresetsPanel::refreshTexts);
    refreshTexts();
}

PresetsPanel::~PresetsPanel() = default;

QList<SelectableButton*> PresetsPanel::chips() const { return chips_; }

void PresetsPanel::refreshTexts()
{
    const AppLanguage language = L10n::language();
    heading_->setTitle(L10n::text("Presets", language));
    menuButton_->setToolTip(L10n::text("Choose a built-in preset or one of your own", language));
    save_->setText(L10n::text("Save as…", language));
    save_->setToolTip(L10n::text("Save the current EQ, bass cut, Loudness and limiter as your own preset", language));
    delete_->setText(L10n::text("Delete", language));
    delete_->setToolTip(L10n::text("Delete the selected custom preset", language));
    fileButton_->setToolTip(L10n::text("Import or export Quorel presets", language));
    fileButton_->setAccessibleName(L10n::text("Import or export presets", language));
    exportAction_->setText(L10n::text("Export current preset…", language));
    importAction_->setText(L10n::text("Import preset…", language));
    refresh();
}

void PresetsPanel::refresh()
{
    const AppLanguage language = L10n::language();
    const PresetLibrary& library = model_.presets();
    const std::optional<SoundPreset> selected = library.selected();
    auto* label = static_cast<PresetMenuLabel*>(menuButton_);
    label->setSymbol(selected ? selected->symbol : QStringLiteral("slider.horizontal.3"));
    label->setText(selected ? selected->localizedName(language) : L10n::text("Custom", language));
    label->updateGeometry();
    save_->setProminent(!library.selectedID().has_value());
    delete_->setEnabled(selected && selected->id.startsWith(QStringLiteral("custom.")));
    summary_->setText(selected ? selected->localizedSummary()
                               : L10n::text("Custom, unsaved. Use “Save as…” to keep your settings.", language));
    rebuildChips();
}

void PresetsPanel::rebuildChips()
{
    const AppLanguage language = L10n::language();
    const PresetLibrary& library = model_.presets();
    for (SelectableButton* chip : chips_) {
        chip->hide();
        chip->deleteLater();
    }
    chips_.clear();
    QList<QWidget*> shown;
    for (const SoundPreset& preset : chipPresets(library.custom())) {
        auto* chip = new PresetChip(preset.symbol, chipRow_);
        chip->setText(preset.localizedName(language));
        chip->setToolTip(preset.localizedSummary());
        chip->setSelected(library.selectedID() && *library.selectedID() == preset.id);
        connect(chip, &QAbstractButton::clicked, this, [this, preset] { model_.apply(preset); });
        chip->show();
        chips_.append(chip);
        shown.append(chip);
    }
    static_cast<ChipFlow*>(chipRow_)->setChips(shown);
}

void PresetsPanel::rebuildMenu()
{
    const AppLanguage language = L10n::language();
    presetMenu_->clear();
    for (const Section& section : menuSections(model_.presets())) {
        presetMenu_->addSection(presetCategory::title(section.category, language));
        for (const SoundPreset& preset : section.presets) {
            QAction* item =
                presetMenu_->addAction(Symbols::icon(preset.symbol, Studio::violet()), preset.localizedName(language));
            connect(item, &QAction::triggered, this, [this, preset] { model_.apply(preset); });
        }
    }
}

void PresetsPanel::saveAs()
{
    const std::optional<SoundPreset> selected = model_.presets().selected();
    const bool custom = selected && selected->id.startsWith(QStringLiteral("custom."));
    state_->setName(custom ? selected->localizedName() : QString());
    state_->setAskingName(true);
}

void PresetsPanel::askDelete()
{
    state_->setDeleteTarget(model_.presets().selected());
    state_->setConfirmingDelete(true);
}

void PresetsPanel::showNamePrompt()
{
    const AppLanguage language = L10n::language();
    auto* dialog = new QDialog(window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(L10n::text("Save preset", language));
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    QLabel* title = PanelText::label(13, QFont::DemiBold, Studio::text(), dialog);
    title->setText(L10n::text("Save preset", language));
    layout->addWidget(title);
    QLabel* message = PanelText::label(11, QFont::Normal, Studio::secondary(), dialog);
    message->setWordWrap(true);
    message->setText(
        L10n::text("Saves the equalizer, bass cut, Loudness and limiter. Boost is not part of the preset.", language));
    layout->addWidget(message);
    auto* field = new QLineEdit(dialog);
    field->setPlaceholderText(L10n::text("Preset name", language));
    field->setMaxLength(int(PresetLibrary::maximumNameLength));
    field->setText(state_->name());
    field->selectAll();
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* save = buttons->addButton(L10n::text("Save", language), QDialogButtonBox::AcceptRole);
    buttons->addButton(L10n::text("Cancel", language), QDialogButtonBox::RejectRole);
    save->setDefault(true);
    save->setEnabled(state_->canSave());
    layout->addWidget(buttons);
    dialog->setMinimumWidth(320);
    connect(field, &QLineEdit::textEdited, state_, &PresetsPanelState::setName);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog] {
        if (!state_->canSave()) return;  // Return in the field while the name is blank
        dialog->accept();
        confirmName();
    });
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(dialog, &QDialog::finished, this, [this] { state_->setAskingName(false); });
    nameDialog_ = dialog;
    nameField_ = field;
    nameSave_ = save;
    dialog->open();
}

void PresetsPanel::confirmName()
{
    state_->setAskingName(false);
    if (model_.presets().customPreset(state_->name())) {
        state_->setConfirmingOverwrite(true);
        return;
    }
    saveNamed();
}

void PresetsPanel::saveNamed()
{
    try {
        model_.presets().save(state_->name(), model_.settings());
    } catch (const std::exception& error) {
        model_.system().setErrorMessage(LocalizedMessage::fromError(error));
    }
}

void PresetsPanel::showReplace()
{
    const AppLanguage language = L10n::language();
    auto* box = new QMessageBox(window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::NoIcon);
    box->setWindowTitle(L10n::text("Replace preset?", language));
    box->setText(L10n::text("Replace preset?", language));
    box->setInformativeText(L10n::text("A preset named “{0}” already exists. Your current settings will replace it.",
                                       language, PresetsPanelState::trimmedName(state_->name())));
    PanelWidgets::fitAlert(box);
    QPushButton* replace = box->addButton(L10n::text("Replace", language), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(L10n::text("Cancel", language), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(replace, &QPushButton::clicked, this, [this] { saveNamed(); });
    connect(box, &QMessageBox::finished, this, [this] { state_->setConfirmingOverwrite(false); });
    replaceBox_ = box;
    box->open();
}

void PresetsPanel::showDelete()
{
    const AppLanguage language = L10n::language();
    const std::optional<SoundPreset> target = state_->deleteTarget();
    auto* box = new QMessageBox(window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::NoIcon);
    box->setWindowTitle(L10n::text("Delete preset?", language));
    box->setText(L10n::text("Delete preset?", language));
    box->setInformativeText(L10n::text("“{0}” will be removed. Your current settings will stay as they are.", language,
                                       target ? target->localizedName(language) : QString()));
    PanelWidgets::fitAlert(box);
    QPushButton* remove = box->addButton(L10n::text("Delete", language), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(L10n::text("Cancel", language), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(remove, &QPushButton::clicked, this, [this, target] {
        if (!target) return;
        model_.presets().deletePreset(*target);
        model_.presets().settingsChanged(model_.settings());
    });
    connect(box, &QMessageBox::finished, this, [this] {
        state_->setConfirmingDelete(false);
        state_->setDeleteTarget(std::nullopt);
    });
    deleteBox_ = box;
    box->open();
}

void PresetsPanel::exportCurrent()
{
    const AppLanguage language = L10n::language();
    const std::optional<SoundPreset> selected = model_.presets().selected();
    const SoundPreset preset =
        selected ? *selected : SoundPreset::customNamed(L10n::text("Custom", language), model_.settings());
    const std::optional<QString> path = PresetFileDialogs::saveFile(window(), PresetLibrary::exportFileName(preset));
    if (!path || path->isEmpty()) return;
    QString failure;
    try {
        const QByteArray data = model_.presets().exportData(preset);
        if (const std::optional<QString> reason = UserFile::write(*path, data)) failure = *reason;
    } catch (const std::exception& error) {
        failure = LocalizedMessage::fromError(error).localized(language);
    }
    if (!failure.isEmpty()) model_.system().setErrorMessage(LocalizedMessage::make("Could not export: {0}", failure));
}

void PresetsPanel::importFiles()
{
    const QStringList paths = PresetFileDialogs::openFiles(window());
    for (const QString& path : paths) model_.handle(QUrl::fromLocalFile(path));
}

}  // namespace quorel
