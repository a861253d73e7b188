#include "SettingsPanel.h"

#include "AppLanguage.h"
#include "BoostModel.h"
#include "CardHeader.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "LocalizationModel.h"
#include "LoginItemState.h"
#include "PanelHeading.h"
#include "PanelText.h"
#include "PanelWidgets.h"
#include "ProductInfo.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "TrayPresence.h"
#include "UpdateChecker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorel {

namespace {

// A wrapping panel text.
QLabel* text(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    QLabel* label = PanelText::label(pixelSize, weight, colour, parent);
    label->setWordWrap(true);
    return label;
}

using PanelText::divider;

using PanelWidgets::textButton;

// A switch row: the check box carries no text; the label stack beside it does.
QCheckBox* switchBox(QWidget* parent)
{
    auto* box = new QCheckBox(parent);
    box->setCursor(Qt::PointingHandCursor);
    return box;
}

}  // namespace

QString SettingsPanel::supportAddress() { return QStringLiteral("support@") + ProductInfo::websiteURL().host(); }

std::optional<QUrl> SettingsPanel::supportURL(const QString& version)
{
    const QString text = QStringLiteral("mailto:") + supportAddress() + QStringLiteral("?subject=Quorel%20") + version;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || text.contains(' ') || supportAddress().endsWith('@')) return std::nullopt;
    return url;
}

SettingsPanel::SettingsPanel(BoostModel& model, UpdateChecker& updater, QWidget* parent)
    : QWidget(parent), model_(model), updater_(updater), loginItem_(new LoginItemState(this))
{
    StudioPanel* card = StudioPanel::filling(this);
    QVBoxLayout* column = card->contentLayout();
    column->setSpacing(16);

    // Heading row.
    const CardHeader header = addCardHeader(card, QStringLiteral("gearshape"));
    heading_ = header.heading;
    reset_ = new StudioButton(QString(), false, card);
    reset_->setSymbol(QStringLiteral("arrow.counterclockwise"));
    header.row->addWidget(reset_);
    connect(reset_, &QAbstractButton::clicked, this, [this] { model_.reset(); });

    column->addLayout(buildSettings(card));
    column->addWidget(divider(card));
    column->addLayout(buildShortcutList(card));
    column->addWidget(divider(card));
    column->addLayout(buildFooter(card));

    LanguageBinding::follow(this, &SettingsPanel::refresh);
    connect(loginItem_, &LoginItemState::enabledChanged, this, &SettingsPanel::refresh);
    connect(loginItem_, &LoginItemState::errorChanged, this, &SettingsPanel::refresh);
    connect(&updater_, &UpdateChecker::automaticChanged, this, &SettingsPanel::refresh);
    connect(&updater_, &UpdateChecker::checkingChanged, this, &SettingsPanel::refresh);
    connect(&TrayPresence::shared(), &TrayPresence::changed, this, &SettingsPanel::refresh);
    refresh();
}

// Language, start at login, automatic updates.
QVBoxLayout* SettingsPanel::buildSettings(StudioPanel* card)
{
    auto* block = new QVBoxLayout;
    block->setSpacing(10);
    auto* languageRow = new QHBoxLayout;
    languageTitle_ = text(12, QFont::Medium, Studio::text(), card);
    languageTitle_->setWordWrap(false);
    languageRow->addWidget(languageTitle_);
    language_ = new QComboBox(card);
    for (AppLanguage language : appLanguage::allCases)
        language_->addItem(appLanguage::nativeName(language), appLanguage::rawValue(language));
    languageRow->addWidget(language_);
    languageRow->addStretch(1);
    block->addLayout(languageRow);
    languageCaption_ = text(10, QFont::Normal, Studio::secondary(), card);
    block->addWidget(languageCaption_);
    connect(language_, &QComboBox::activated, this, [this](int index) {
        if (auto language = appLanguage::fromRawValue(language_->itemData(index).toString()))
            LocalizationModel::shared().setLanguage(*language);
    });

    auto* loginRow = new QHBoxLayout;
    loginRow->setSpacing(10);
    login_ = switchBox(card);
    loginRow->addWidget(login_, 0, Qt::AlignTop);
    auto* loginLabels = new QVBoxLayout;
    loginLabels->setSpacing(2);
    loginTitle_ = text(12, QFont::Medium, Studio::text(), card);
    loginLabels->addWidget(loginTitle_);
    loginCaption_ = text(10, QFont::Normal, Studio::secondary(), card);
    loginLabels->addWidget(loginCaption_);
    loginRow->addLayout(loginLabels, 1);
    block->addLayout(loginRow);
    connect(login_, &QCheckBox::clicked, this, [this](bool on) { loginItem_->set(on); });

    auto* updateRow = new QHBoxLayout;
    updateRow->setSpacing(10);
    automatic_ = switchBox(card);
    updateRow->addWidget(automatic_, 0, Qt::AlignTop);
    auto* updateLabels = new QVBoxLayout;
    updateLabels->setSpacing(2);
    auto* updateTitleRow = new QHBoxLayout;
    updateTitleRow->setSpacing(8);
    automaticTitle_ = text(12, QFont::Medium, Studio::text(), card);
    automaticTitle_->setWordWrap(false);
    updateTitleRow->addWidget(automaticTitle_);
    check_ = textButton(10, QFont::Medium, Studio::cyan(), card);
    updateTitleRow->addWidget(check_);
    updateTitleRow->addStretch(1);
    updateLabels->addLayout(updateTitleRow);
    automaticCaption_ = text(10, QFont::Normal, Studio::secondary(), card);
    updateLabels->addWidget(automaticCaption_);
    updateRow->addLayout(updateLabels, 1);
    block->addLayout(updateRow);
    connect(automatic_, &QCheckBox::clicked, this, [this](bool on) { updater_.setAutomatic(on); });
    connect(check_, &QPushButton::clicked, this, [this] { updater_.check(true); });
    return block;
}

// The global shortcuts, one line each.
QVBoxLayout* SettingsPanel::buildShortcutList(StudioPanel* card)
{
    auto* list = new QVBoxLayout;
    list->setSpacing(7);
    for (int i = 0; i < 5; ++i) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        QLabel* keys = text(10, QFont::Medium, Studio::violet(), card);
        QFont mono = keys->font();
        mono.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
        keys->setFont(mono);
        keys->setFixedWidth(96);
        keys->setWordWrap(false);
        QLabel* description = text(11, QFont::Normal, Studio::secondary(), card);
        row->addWidget(keys, 0, Qt::AlignBaseline);
        row->addWidget(description, 1, Qt::AlignBaseline);
        list->addLayout(row);
        shortcuts_.append(qMakePair(keys, description));
    }
    return list;
}

// Version, privacy and support.
QHBoxLayout* SettingsPanel::buildFooter(StudioPanel* card)
{
    auto* footer = new QHBoxLayout;
    footer->setSpacing(14);
    footer_ = text(10, QFont::Normal, Studio::secondary(), card);
    footer_->setWordWrap(false);
    footer->addWidget(footer_);
    footer->addStretch(1);
    privacy_ = textButton(10, QFont::Normal, Studio::text(), card);
    footer->addWidget(privacy_);
    support_ = textButton(10, QFont::Normal, Studio::text(), card);
    footer->addWidget(support_);
    version_ = text(9, QFont::Normal, Studio::withOpacity(Studio::secondary(), 0.6), card);
    QFont versionFont = version_->font();
    versionFont.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    version_->setFont(versionFont);
    version_->setWordWrap(false);
    footer->addWidget(version_);
    connect(privacy_, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(ProductInfo::privacyURL()); });
    connect(support_, &QPushButton::clicked, this, [] {
        if (auto url = supportURL(ProductInfo::version())) QDesktopServices::openUrl(*url);
    });
    return footer;
}

QList<QPair<QString, QString>> SettingsPanel::shortcutRows() const
{
    QList<QPair<QString, QString>> rows;
    for (const auto& [keys, description] : shortcuts_) rows.append({keys->text(), description->text()});
    return rows;
}

void SettingsPanel::refresh()
{
    const AppLanguage language = L10n::language();
    heading_->setTitle(L10n::text("Settings", language));
    reset_->setText(L10n::text("Reset settings", language));
    reset_->setToolTip(L10n::text("Restore all controls to their defaults", language));

    languageTitle_->setText(L10n::text("Language", language));
    language_->setAccessibleName(L10n::text("Language", language));
    language_->setCurrentIndex(language_->findData(appLanguage::rawValue(LocalizationModel::shared().language())));
    languageCaption_->setText(L10n::text("Choose the app language. Changes apply immediately.", language));

    login_->setChecked(loginItem_->enabled());
    loginTitle_->setText(L10n::text("Launch at login", language));
    login_->setAccessibleName(loginTitle_->text());
    QPalette captionPalette = loginCaption_->palette();
    if (loginItem_->error()) {
        loginCaption_->setText(*loginItem_->error());
        captionPalette.setColor(QPalette::WindowText, Studio::warning());
    } else {
        loginCaption_->setText(
            L10n::text("Processing resumes when you log in if it was previously enabled.", language));
        captionPalette.setColor(QPalette::WindowText, Studio::secondary());
    }
    loginCaption_->setPalette(captionPalette);

    automatic_->setChecked(updater_.automatic());
    automaticTitle_->setText(L10n::text("Check for updates automatically", language));
    automatic_->setAccessibleName(automaticTitle_->text());
    check_->setText(updater_.checking() ? L10n::text("Checking…", language) : L10n::text("Check now", language));
    check_->setEnabled(!updater_.checking());
    automaticCaption_->setText(
        L10n::text("Once a day. Only the version is checked; none of your data is sent.", language));

    const QString rows[5][2] = {
        {QStringLiteral("Ctrl+M"), L10n::text("Turn processing on or off", language)},
        {QStringLiteral("Ctrl+B"), L10n::text("Compare original and processed", language)},
        {QStringLiteral("Ctrl+Shift+M"), L10n::text("Set system volume to maximum", language)},
        {L10n::text("Ctrl+1 to Ctrl+5", language), L10n::text("Switch sections", language)},
        {QStringLiteral("Ctrl+W"), TrayPresence::shared().isPresent()
                                       ? L10n::text("Close the window; Quorel stays in the system tray", language)
                                       : L10n::text("Close the window and quit Quorel", language)},
    };
    for (int i = 0; i < 5; ++i) {
        shortcuts_[i].first->setText(rows[i][0]);
        shortcuts_[i].second->setText(rows[i][1]);
    }

    footer_->setText(L10n::text("Live settings, saved on this computer.", language));
    privacy_->setText(L10n::text("Privacy", language));
    support_->setText(L10n::text("Support", language));
    version_->setText(QStringLiteral("v") + ProductInfo::version() + QStringLiteral(" (")
                      + QString::number(ProductInfo::build()) + QStringLiteral(")"));
}

}  // namespace quorel
