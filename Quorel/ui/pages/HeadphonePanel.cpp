#include "HeadphonePanel.h"

#include "BoostModel.h"
#include "CardHeader.h"
#include "FileDialogFolder.h"
#include "FocusRing.h"
#include "HeadphoneCatalog.h"
#include "HeadphoneLibrary.h"
#include "HeadphonePanelState.h"
#include "HeadphoneProfile.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelFormat.h"
#include "PanelHeading.h"
#include "PanelWidgets.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "Symbols.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quorel {

using PanelWidgets::label;

namespace {

HeadphonePanel::FileChooser& fileChooser()
{
    static HeadphonePanel::FileChooser chooser;
    return chooser;
}

std::optional<QString> chooseWithDialog(QWidget* parent)
{
    const AppLanguage language = L10n::language();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({L10n::text(QStringLiteral("Text files (*.txt)"), language),
                           L10n::text(QStringLiteral("All files (*)"), language)});
    dialog.setLabelText(QFileDialog::Accept, L10n::text(QStringLiteral("Import"), language));
    FileDialogFolder::apply(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    FileDialogFolder::remember(dialog.selectedFiles().constFirst());
    return dialog.selectedFiles().constFirst();
}

// The profile menu's button: symbol, name and an up-down chevron on a raised rounded plate.
class ProfileMenuButton : public QPushButton {
public:
    explicit ProfileMenuButton(QWidget* parent) : QPushButton(parent)
    {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    void setLabel(const QString& symbol, const QString& text)
    {
        symbol_ = symbol;
        setText(text);
        updateGeometry();
        update();
    }
    QString symbolName() const { return symbol_; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(Studio::font(12, QFont::DemiBold));
        const int width = 12 + 14 + 8 + metrics.horizontalAdvance(text()) + 2 + 8 + 9 + 12;
        return {width, std::max(metrics.height(), 14) + 14};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = rect();
        QPainterPath plate;
        plate.addRoundedRect(bounds, 9, 9);
        p.fillPath(plate, isDown() ? Studio::raised().lighter(120) : Studio::raised());
        p.setPen(QPen(Studio::line(), 1));
        p.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 8.5, 8.5);
        qreal x = 12;
        const qreal cy = bounds.center().y();
        Symbols::draw(p, symbol_, QRectF(x, cy - 7, 14, 14), Studio::violet());
        x += 14 + 8;
        const QFont font = Studio::font(12, QFont::DemiBold);
        const qreal textWidth = bounds.width() - x - 8 - 9 - 12;
        p.setFont(font);
        p.setPen(Studio::text());
        p.drawText(QRectF(x, 0, textWidth, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft,
                   QFontMetrics(font).elidedText(text(), Qt::ElideRight, int(textWidth)));
        Symbols::draw(p, QStringLiteral("chevron.up.chevron.down"), QRectF(bounds.right() - 12 - 9, cy - 4.5, 9, 9),
                      Studio::secondary());
        FocusRing::drawIfFocused(p, *this, 9);
    }

private:
    QString symbol_ = QStringLiteral("headphones");
};

}  // namespace

void HeadphonePanel::setFileChooser(FileChooser chooser) { fileChooser() = std::move(chooser); }

QString HeadphonePanel::autoEqAddress() { return QStringLiteral("https://github.com/jaakkopasanen/AutoEq"); }

HeadphonePanel::HeadphonePanel(BoostModel& model, HeadphoneLibrary& library, QWidget* parent)
    : QWidget(parent), model_(model), library_(library), state_(new HeadphonePanelState(this))
{
    StudioPanel* card = StudioPanel::filling(this);
    card->contentLayout()->setSpacing(12);

    // Heading row.
    const CardHeader header = addCardHeader(card, QStringLiteral("headphones"));
    header.row->setSpacing(12);
    heading_ = header.heading;
    menuButton_ = new ProfileMenuButton(card);
    header.row->insertWidget(1, menuButton_);
    import_ = new StudioButton(QString(), false, card);
    import_->setSymbol(QStringLiteral("square.and.arrow.down"));
    header.row->addWidget(import_);
    delete_ = new StudioButton(QString(), false, card);
    delete_->setSymbol(QStringLiteral("trash"));
    header.row->addWidget(delete_);
    connect(menuButton_, &QPushButton::clicked, this, [this] {
        QMenu* menu = buildMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(menuButton_->mapToGlobal(QPoint(0, menuButton_->height() + 4)));
    });
    connect(import_, &QAbstractButton::clicked, this, &HeadphonePanel::importFile);
    connect(delete_, &QAbstractButton::clicked, this,
            [this] { state_->askToDelete(model_.settings().headphoneProfile); });
    connect(state_, &HeadphonePanelState::confirmingDeleteChanged, this, [this] {
        if (state_->confirmingDelete()) showConfirmation();
    });

    // Summary row: the hint without a profile, else the profile's summary.
    hint_ = label(11, QFont::Normal, Studio::secondary(), card);
    hint_->setWordWrap(true);
    card->contentLayout()->addWidget(hint_);
    summary_ = new QWidget(card);
    auto* summaryRow = new QHBoxLayout(summary_);
    summaryRow->setContentsMargins(0, 0, 0, 0);
    summaryRow->setSpacing(14);
    summarySymbol_ = new SymbolView(QStringLiteral("headphones"), 22, Studio::violet(), summary_);
    summarySymbol_->setFixedWidth(30);
    summaryRow->addWidget(summarySymbol_, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    name_ = label(13, QFont::DemiBold, Studio::text(), summary_);
    detail_ = label(11, QFont::Normal, Studio::secondary(), summary_);
    note_ = label(10, QFont::Normal, Studio::withOpacity(Studio::secondary(), 0.85), summary_);
    note_->setWordWrap(true);
    texts->addWidget(name_);
    texts->addWidget(detail_);
    texts->addWidget(note_);
    summaryRow->addLayout(texts, 1);
    turnOff_ = new StudioButton(QString(), false, summary_);
    summaryRow->addWidget(turnOff_, 0, Qt::AlignVCenter);
    card->contentLayout()->addWidget(summary_);
    connect(turnOff_, &QAbstractButton::clicked, this, [this] { model_.setHeadphoneProfile(std::nullopt); });

    // Credits row.
    auto* creditsRow = new QHBoxLayout;
    creditsRow->setSpacing(6);
    credits_ = label(9, QFont::Normal, Studio::withOpacity(Studio::secondary(), 0.7), card);
    creditsRow->addWidget(credits_);
    link_ = PanelWidgets::textButton(9, QFont::Medium, Studio::cyan(), card);
    creditsRow->addWidget(link_);
    creditsRow->addStretch(1);
    card->contentLayout()->addLayout(creditsRow);
    connect(link_, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(QUrl(autoEqAddress())); });

    connect(&model_, &BoostModel::settingsChanged, this, &HeadphonePanel::refresh);
    connect(&library_, &HeadphoneLibrary::customChanged, this, &HeadphonePanel::refresh);
    LanguageBinding::follow(this, &HeadphonePanel::refresh);
    refresh();
}

QString HeadphonePanel::menuSymbol() const
{
    const std::optional<HeadphoneProfile>& current = model_.settings().headphoneProfile;
    return current ? current->symbol() : QStringLiteral("headphones");
}

QString HeadphonePanel::menuText() const
{
    const std::optional<HeadphoneProfile>& current = model_.settings().headphoneProfile;
    return current ? current->name : L10n::text(QStringLiteral("None"), L10n::language());
}

QMenu* HeadphonePanel::buildMenu(QWidget* parent) const
{
    const AppLanguage language = L10n::language();
    auto* menu = new QMenu(parent);
    QPointer<BoostModel> model = &model_;
    auto choose = [model](const std::optional<HeadphoneProfile>& profile) {
        return [model, profile] {
            if (model) model->setHeadphoneProfile(profile);
        };
    };
    QAction* none = menu->addAction(Symbols::icon(QStringLiteral("speaker.slash"), Studio::text()),
                                    L10n::text(QStringLiteral("None"), language));
    connect(none, &QAction::triggered, menu, choose(std::nullopt));
    if (!library_.custom().empty()) {
        menu->addSection(L10n::text(QStringLiteral("Imported"), language));
        for (const HeadphoneProfile& profile : library_.custom()) {
            QAction* item = menu->addAction(Symbols::icon(profile.symbol(), Studio::text()), profile.name);
            item->setData(profile.id);
            connect(item, &QAction::triggered, menu, choose(profile));
        }
    }
    menu->addSection(L10n::text(QStringLiteral("Built-in"), language));
    for (const QString& brand : HeadphoneCatalog::brands()) {
        QMenu* brandMenu = menu->addMenu(brand);
        brandMenu->menuAction()->setData(brand);
        for (const HeadphoneProfile& profile : HeadphoneCatalog::profiles(brand)) {
            QAction* item = brandMenu->addAction(Symbols::icon(profile.symbol(), Studio::text()), profile.name);
            item->setData(profile.id);
            connect(item, &QAction::triggered, menu, choose(profile));
        }
    }
    return menu;
}

void HeadphonePanel::importFile()
{
    const FileChooser& chooser = fileChooser();
    const std::optional<QString> path = chooser ? chooser(this) : chooseWithDialog(this);
    if (path) model_.importHeadphoneProfile(*path);
}

void HeadphonePanel::showConfirmation()
{
    const AppLanguage language = L10n::language();
    const std::optional<HeadphoneProfile>& profile = state_->pendingDelete();
    if (!confirmation_) {
        confirmation_ = new QMessageBox(window());
        confirmation_->setWindowModality(Qt::WindowModal);
        confirmation_->setIcon(QMessageBox::NoIcon);
        QPushButton* remove =
            confirmation_->addButton(L10n::text(QStringLiteral("Delete"), language), QMessageBox::DestructiveRole);
        QPushButton* cancel =
            confirmation_->addButton(L10n::text(QStringLiteral("Cancel"), language), QMessageBox::RejectRole);
        confirmation_->setEscapeButton(cancel);
        confirmation_->setDefaultButton(cancel);
        QPointer<QMessageBox> box = confirmation_;
        connect(confirmation_, &QMessageBox::finished, this, [this, box, remove] {
            const bool confirmed = box && box->clickedButton() == remove;
            if (box) box->deleteLater();
            if (confirmed)
                confirmDelete();
            else
                state_->closeConfirmation();
        });
    }
    confirmation_->setWindowTitle(L10n::text(QStringLiteral("Delete profile?"), language));
    confirmation_->setText(L10n::text(QStringLiteral("Delete profile?"), language));
    confirmation_->setInformativeText(L10n::text(QStringLiteral("“{0}” will be removed from your imported profiles."),
                                                 language, profile ? profile->name : QString()));
    PanelWidgets::fitAlert(confirmation_);
    confirmation_->open();
}

void HeadphonePanel::confirmDelete()
{
    // The profile the confirmation was opened for, not whatever the settings hold now: a rule
    // or the night window may have put other settings back while the question was open.
    const std::optional<HeadphoneProfile> profile = state_->closeConfirmation();
    if (!profile) return;
    library_.deleteProfile(*profile);
    const std::optional<HeadphoneProfile>& current = model_.settings().headphoneProfile;
    if (current && current->id == profile->id) model_.setHeadphoneProfile(std::nullopt);
}

void HeadphonePanel::refresh()
{
    const AppLanguage language = L10n::language();
    const std::optional<HeadphoneProfile>& current = model_.settings().headphoneProfile;
    heading_->setTitle(L10n::text(QStringLiteral("Headphone profile"), language));
    static_cast<ProfileMenuButton*>(menuButton_)->setLabel(menuSymbol(), menuText());
    menuButton_->setToolTip(L10n::text(QStringLiteral("Choose the headphones you are using"), language));
    import_->setText(L10n::text(QStringLiteral("Import AutoEq file…"), language));
    import_->setToolTip(L10n::text(QStringLiteral("Headphones not in the list? Download their “ParametricEQ.txt” "
                                                  "file from the AutoEq project on GitHub and import it here."),
                                   language));
    delete_->setText(L10n::text(QStringLiteral("Delete"), language));
    delete_->setToolTip(L10n::text(QStringLiteral("Delete this imported profile"), language));
    delete_->setVisible(current && !current->isBuiltIn());

    hint_->setText(L10n::text(
        QStringLiteral("Pick your headphones to flatten their response. Built-in speakers do not need a profile."),
        language));
    hint_->setVisible(!current);
    summary_->setVisible(current.has_value());
    if (current) {
        summarySymbol_->setName(current->symbol());
        name_->setText(current->name);
        detail_->setText(PanelFormat::headphoneDetail(*current, language));
        const bool note = PanelFormat::showsPreGainNote(current->preampDB);
        note_->setVisible(note);
        if (note)
            note_->setText(L10n::text(QStringLiteral("Applies {0} dB of pre-gain so the correction never clips. Use "
                                                     "Boost to make up the level."),
                                      language, L10n::number(current->preampDB, 1, language)));
    }
    turnOff_->setText(L10n::text(QStringLiteral("Turn off"), language));
    turnOff_->setToolTip(L10n::text(QStringLiteral("Stop correcting for these headphones"), language));

    credits_->setText(L10n::text(
        QStringLiteral("Built-in profiles come from AutoEq, measured by oratory1990, Rtings and crinacle."), language));
    link_->setText(QStringLiteral("AutoEq"));
    link_->setToolTip(autoEqAddress());
}

}  // namespace quorel
