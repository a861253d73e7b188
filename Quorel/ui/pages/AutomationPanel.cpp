#include "AutomationPanel.h"

#include "AutomationModel.h"
#include "BoostModel.h"
#include "BuiltInPresets.h"
#include "CardHeader.h"
#include "DesktopEntryIndex.h"
#include "L10n.h"
#include "LocalizationModel.h"
#include "PanelFormat.h"
#include "LanguageBinding.h"
#include "PanelHeading.h"
#include "PanelText.h"
#include "PresetLibrary.h"
#include "PresetPicker.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"
#include "StudioSwitch.h"
#include "Symbols.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace quorel {

namespace {

QLabel* wrapped(int pixelSize, const QColor& colour, QWidget* parent)
{
    QLabel* label = PanelText::label(pixelSize, QFont::Normal, colour, parent);
    label->setWordWrap(true);
    return label;
}

StudioPanel* card(QWidget* parent, int spacing)
{
    auto* panel = new StudioPanel(parent, 18);
    panel->contentLayout()->setSpacing(spacing);
    return panel;
}

}  // namespace

std::vector<RunningApp> AutomationPanel::offeredApps(const std::vector<RunningApp>& running,
                                                     const std::vector<AppRule>& rules)
{
    QSet<QString> taken;
    for (const AppRule& rule : rules) taken.insert(rule.bundleID);
    std::vector<RunningApp> offered;
    for (const RunningApp& app : running) {
        if (taken.contains(app.bundleID)) continue;
        taken.insert(app.bundleID);  // each id once
        offered.push_back(app);
    }
    return offered;
}

QString AutomationPanel::newRulePreset(const std::optional<QString>& selectedID)
{
    return selectedID.value_or(QString::fromLatin1(BuiltInPresets::neutralID));
}

std::vector<int> AutomationPanel::timeChoices()
{
    std::vector<int> times;
    for (int v = 0; v < 1440; v += 30) times.push_back(v);
    return times;
}

QString AutomationPanel::timeText(int64_t minutes)
{
    return PanelFormat::printf("%02lld:%02lld", static_cast<long long>(minutes / 60),
                               static_cast<long long>(minutes % 60));
}

QString AutomationPanel::shortcutText(Action action)
{
    QString key;
    switch (action) {
    case Action::boostUp: key = QStringLiteral("\u2191"); break;
    case Action::boostDown: key = QStringLiteral("\u2193"); break;
    case Action::nextPreset: key = QStringLiteral("\u2192"); break;
    case Action::previousPreset: key = QStringLiteral("\u2190"); break;
    default: key = action::keysym(action).toUpper(); break;
    }
    return QStringLiteral("Ctrl+Alt+Super+") + key;
}

QIcon AutomationPanel::applicationIcon(const QString& icon)
{
    if (icon.isEmpty()) return {};
    if (QFileInfo(icon).isAbsolute()) return QFileInfo::exists(icon) ? QIcon(icon) : QIcon();
    return QIcon::fromTheme(icon);
}

AutomationPanel::AutomationPanel(BoostModel& model, QWidget* parent)
    : QWidget(parent), model_(model), entries_(std::make_unique<DesktopEntryIndex>())
{
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(14);

    page->addWidget(buildRulesCard());
    page->addWidget(buildNightCard());
    // Shortcuts beside URL commands.
    auto* lower = new QHBoxLayout;
    lower->setSpacing(14);
    lower->addWidget(buildShortcutsCard(), 1, Qt::AlignTop);
    lower->addWidget(buildUrlCard(), 1, Qt::AlignTop);
    page->addLayout(lower);

    AutomationModel& automation = model_.automation();
    connect(&automation, &AutomationModel::rulesEnabledChanged, this, &AutomationPanel::refresh);
    connect(&automation, &AutomationModel::rulesChanged, this, &AutomationPanel::rebuildRules);
    connect(&automation, &AutomationModel::activeRuleChanged, this, &AutomationPanel::rebuildRules);
    connect(&automation, &AutomationModel::runningAppsChanged, this, &AutomationPanel::rebuildRules);
    connect(&automation, &AutomationModel::availabilityChanged, this, &AutomationPanel::refresh);
    connect(&automation, &AutomationModel::nightChanged, this, &AutomationPanel::refreshNight);
    connect(&automation, &AutomationModel::nightActiveChanged, this, &AutomationPanel::refreshNight);
    connect(&automation, &AutomationModel::hotkeysEnabledChanged, this, &AutomationPanel::refresh);
    connect(&model_.presets(), &PresetLibrary::customChanged, this, [this] {
        rebuildRules();
        refreshNight();
    });
    LanguageBinding::follow(this, &AutomationPanel::refreshTexts);
    refreshTexts();
}

AutomationPanel::~AutomationPanel() = default;

// Per-app rules: the switch, Add app, the notes and one row per rule.
StudioPanel* AutomationPanel::buildRulesCard()
{
    StudioPanel* rules = card(this, 14);
    const CardHeader rulesHeader = addCardHeader(rules, QStringLiteral("app.badge"));
    rulesHeading_ = rulesHeader.heading;
    rulesSwitch_ = new StudioSwitch(rules);
    rulesHeader.row->addWidget(rulesSwitch_);
    rulesHeader.row->addSpacing(8);
    addApp_ = new StudioButton(QString(), true, rules);
    addApp_->setSymbol(QStringLiteral("plus"));
    rulesHeader.row->addWidget(addApp_);
    addAppMenu_ = new QMenu(this);
    rulesNote_ = wrapped(11, Studio::secondary(), rules);
    rules->addFullWidth(rulesNote_);
    unavailable_ = wrapped(11, Studio::withOpacity(Studio::cyan(), 0.9), rules);
    rules->addFullWidth(unavailable_);
    empty_ = wrapped(11, Studio::withOpacity(Studio::secondary(), 0.8), rules);
    rules->addFullWidth(empty_);
    ruleList_ = new QWidget(rules);
    ruleLayout_ = new QVBoxLayout(ruleList_);
    ruleLayout_->setContentsMargins(0, 0, 0, 0);
    ruleLayout_->setSpacing(6);
    rules->addFullWidth(ruleList_);
    connect(rulesSwitch_, &QAbstractButton::clicked, this,
            [this](bool on) { model_.automation().setRulesEnabled(on); });
    connect(addApp_, &QAbstractButton::clicked, this,
            [this] { addAppMenu_->popup(addApp_->mapToGlobal(QPoint(0, addApp_->height() + 2))); });
    connect(addAppMenu_, &QMenu::aboutToShow, this, &AutomationPanel::rebuildAddMenu);
    return rules;
}

// Night mode: the switch and badge, the time span and preset, a note.
StudioPanel* AutomationPanel::buildNightCard()
{
    StudioPanel* night = card(this, 12);
    const CardHeader nightHeader = addCardHeader(night, QStringLiteral("moon.stars"));
    nightHeading_ = nightHeader.heading;
    nightBadge_ = PanelText::badge(0.8, night);
    nightHeader.row->insertWidget(1, nightBadge_);
    nightSwitch_ = new StudioSwitch(night);
    nightHeader.row->addWidget(nightSwitch_);
    auto* schedule = new QHBoxLayout;
    schedule->setSpacing(16);
    auto timePicker = [night, schedule](QLabel*& title, QComboBox*& picker) {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(6);
        title = PanelText::label(11, QFont::Normal, Studio::secondary(), night);
        picker = new QComboBox(night);
        picker->setFixedWidth(84);
        for (int v : timeChoices()) picker->addItem(timeText(v), QVariant::fromValue<qlonglong>(v));
        pair->addWidget(title);
        pair->addWidget(picker);
        schedule->addLayout(pair);
    };
    timePicker(fromTitle_, start_);
    timePicker(toTitle_, end_);
    applyText_ = PanelText::label(11, QFont::Normal, Studio::secondary(), night);
    schedule->addWidget(applyText_);
    nightPreset_ = new PresetPicker(night);
    nightPreset_->setFixedWidth(200);
    schedule->addWidget(nightPreset_);
    schedule->addStretch(1);
    night->contentLayout()->addLayout(schedule);
    nightNote_ = wrapped(11, Studio::secondary(), night);
    night->addFullWidth(nightNote_);

    connect(nightSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        NightSchedule schedule = model_.automation().night();
        schedule.enabled = on;
        model_.automation().setNight(schedule);
    });
    connect(start_, &QComboBox::activated, this, [this](int index) {
        NightSchedule schedule = model_.automation().night();
        schedule.startMinutes = start_->itemData(index).toLongLong();
        model_.automation().setNight(schedule);
    });
    connect(end_, &QComboBox::activated, this, [this](int index) {
        NightSchedule schedule = model_.automation().night();
        schedule.endMinutes = end_->itemData(index).toLongLong();
        model_.automation().setNight(schedule);
    });
    connect(nightPreset_, &PresetPicker::presetChosen, this, [this](const QString& id) {
        NightSchedule schedule = model_.automation().night();
        schedule.presetID = id;
        model_.automation().setNight(schedule);
    });
    return night;
}

// Global shortcuts: the switch and one line per action.
StudioPanel* AutomationPanel::buildShortcutsCard()
{
    StudioPanel* shortcuts = card(this, 10);
    const CardHeader shortcutsHeader = addCardHeader(shortcuts, QStringLiteral("keyboard"));
    shortcutsHeading_ = shortcutsHeader.heading;
    hotkeysSwitch_ = new StudioSwitch(shortcuts);
    shortcutsHeader.row->addWidget(hotkeysSwitch_);
    int keysWidth = 70;
    for (Action action : action::allCases) {
        QLabel* keys = PanelText::mono(10, QFont::Medium, Studio::violet(), shortcuts);
        keys->setText(shortcutText(action));
        keysWidth = std::max(keysWidth, keys->sizeHint().width());
        QLabel* label = PanelText::label(11, QFont::Normal, Studio::secondary(), shortcuts);
        shortcuts_.append(qMakePair(keys, label));
    }
    for (const auto& [keys, label] : shortcuts_) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        keys->setFixedWidth(keysWidth);
        row->addWidget(keys);
        row->addWidget(label, 1);
        shortcuts->contentLayout()->addLayout(row);
    }
    shortcutsNote_ = wrapped(10, Studio::withOpacity(Studio::secondary(), 0.8), shortcuts);
    shortcuts->addFullWidth(shortcutsNote_);
    shortcutsUnavailable_ = wrapped(10, Studio::withOpacity(Studio::cyan(), 0.9), shortcuts);
    shortcuts->addFullWidth(shortcutsUnavailable_);
    shortcuts->contentLayout()->addStretch(1);
    connect(hotkeysSwitch_, &QAbstractButton::clicked, this,
            [this](bool on) { model_.automation().setHotkeysEnabled(on); });
    return shortcuts;
}

// URL commands: examples to copy.
StudioPanel* AutomationPanel::buildUrlCard()
{
    StudioPanel* url = card(this, 10);
    const CardHeader urlHeader = addCardHeader(url, QStringLiteral("link"));
    urlHeading_ = urlHeader.heading;
    // As tall as the shortcuts card's heading row with its switch.
    urlHeader.row->addSpacerItem(
        new QSpacerItem(0, hotkeysSwitch_->sizeHint().height(), QSizePolicy::Fixed, QSizePolicy::Fixed));
    urlIntro_ = wrapped(11, Studio::secondary(), url);
    url->addFullWidth(urlIntro_);
    const char* examples[] = {"quorel://toggle",
                              "quorel://on · quorel://off",
                              "quorel://compare",
                              "quorel://preset/Filmes",
                              "quorel://boost/6 · boost/up · boost/down",
                              "quorel://next · quorel://previous"};
    for (const char* example : examples) {
        QLabel* line = PanelText::mono(10, QFont::Normal, Studio::withOpacity(Studio::text(), 0.85), url);
        line->setText(QString::fromUtf8(example));
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        url->contentLayout()->addWidget(line);
    }
    urlNote_ = wrapped(10, Studio::withOpacity(Studio::secondary(), 0.8), url);
    url->addFullWidth(urlNote_);
    url->contentLayout()->addStretch(1);
    return url;
}

void AutomationPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) model_.automation().refreshRunningApps();
}

void AutomationPanel::refreshTexts()
{
    const AppLanguage language = L10n::language();
    rulesHeading_->setTitle(L10n::text("Per-app presets", language));
    rulesSwitch_->setAccessibleName(L10n::text("Switch presets for the foreground app", language));
    addApp_->setText(L10n::text("Add app", language));
    rulesNote_->setText(L10n::text("When the foreground app has a rule, its preset is applied. Your previous settings "
                                   "return when you leave. Boost stays the same.",
                                   language));
    unavailable_->setText(L10n::text("Per-app presets are unavailable in this session: the app in front can only be "
                                     "known on X11.",
                                     language));
    empty_->setText(
        L10n::text("No rules yet. Open an app and use “Add app” to assign the currently selected preset.", language));
    nightHeading_->setTitle(L10n::text("Night mode", language));
    nightBadge_->setText(L10n::text("ACTIVE", language));
    nightSwitch_->setAccessibleName(L10n::text("Enable scheduled night mode", language));
    fromTitle_->setText(L10n::text("From", language));
    toTitle_->setText(L10n::text("to", language));
    start_->setAccessibleName(fromTitle_->text());
    end_->setAccessibleName(toTitle_->text());
    applyText_->setText(L10n::text("apply", language));
    nightPreset_->setAccessibleName(L10n::text("Night preset", language));
    nightNote_->setText(L10n::text("The selected preset is applied during these hours. Try “Movies at night” for less "
                                   "bass and clearer voices. Your settings return afterward.",
                                   language));
    shortcutsHeading_->setTitle(L10n::text("Global shortcuts", language));
    hotkeysSwitch_->setAccessibleName(L10n::text("Enable global shortcuts", language));
    for (size_t i = 0; i < action::allCases.size(); ++i)
        shortcuts_[qsizetype(i)].second->setText(action::label(action::allCases[i], language));
    shortcutsNote_->setText(L10n::text("Work in any app.", language));
    shortcutsUnavailable_->setText(L10n::text("Global shortcuts are unavailable in this session: no shortcut service "
                                              "answers on this desktop.",
                                              language));
    urlHeading_->setTitle(L10n::text("URL commands", language));
    urlIntro_->setText(L10n::text("For scripts or a terminal (`xdg-open`):", language));
    urlNote_->setText(L10n::text("Open .quorelpreset and .corvantapreset files in the app to import them.", language));
    refresh();
}

void AutomationPanel::refresh()
{
    const AutomationModel& automation = model_.automation();
    rulesSwitch_->setChecked(automation.rulesEnabled());
    hotkeysSwitch_->setChecked(automation.hotkeysEnabled());
    const bool available = automation.rulesAvailable();
    unavailable_->setVisible(!available);
    addApp_->setEnabled(available);
    shortcutsNote_->setVisible(automation.shortcutsAvailable());
    shortcutsUnavailable_->setVisible(!automation.shortcutsAvailable());
    rebuildRules();
    refreshNight();
}

void AutomationPanel::refreshNight()
{
    const AutomationModel& automation = model_.automation();
    const NightSchedule& night = automation.night();
    nightSwitch_->setChecked(night.enabled);
    nightBadge_->setVisible(automation.nightActive());
    // A stored time off the half-hour rows (written by an older version or by hand) gets a row
    // of its own, in time order, for as long as it is the stored one.
    auto show = [](QComboBox* picker, int64_t minutes) {
        const QSignalBlocker blocker(picker);
        const std::vector<int> grid = timeChoices();
        for (int i = picker->count() - 1; i >= 0; --i)
            if (!std::binary_search(grid.begin(), grid.end(), picker->itemData(i).toLongLong())) picker->removeItem(i);
        int index = picker->findData(QVariant::fromValue<qlonglong>(minutes));
        if (index < 0) {
            index = int(std::lower_bound(grid.begin(), grid.end(), minutes) - grid.begin());
            picker->insertItem(index, timeText(minutes), QVariant::fromValue<qlonglong>(minutes));
        }
        picker->setCurrentIndex(index);
    };
    show(start_, night.startMinutes);
    show(end_, night.endMinutes);
    nightPreset_->rebuild(model_.presets(), L10n::language(), night.presetID);
}

QIcon AutomationPanel::ruleIcon(const QString& bundleID)
{
    for (const RunningApp& app : model_.automation().runningApps())
        if (app.bundleID == bundleID) {
            const QIcon icon = applicationIcon(app.icon);
            if (!icon.isNull()) return icon;
            break;
        }
    if (const std::optional<DesktopEntry> entry = entries_->byID(bundleID)) return applicationIcon(entry->icon);
    return {};
}

void AutomationPanel::rebuildRules()
{
    const AppLanguage language = L10n::language();
    const AutomationModel& automation = model_.automation();
    for (RuleRow& row : rows_) {
        ruleLayout_->removeWidget(row.row);
        row.row->hide();
        row.row->deleteLater();
    }
    rows_.clear();
    const std::vector<AppRule>& rules = automation.rules();
    empty_->setVisible(rules.empty());
    ruleList_->setVisible(!rules.empty());
    for (const AppRule& rule : rules) {
        RuleRow row;
        row.bundleID = rule.bundleID;
        row.row = new QWidget(ruleList_);
        auto* line = new QHBoxLayout(row.row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(10);
        const QIcon icon = ruleIcon(rule.bundleID);
        if (!icon.isNull()) {
            row.icon = new QLabel(row.row);
            row.icon->setPixmap(icon.pixmap(QSize(20, 20), devicePixelRatioF()));
            row.icon->setFixedSize(20, 20);
            line->addWidget(row.icon);
        }
        row.name = PanelText::label(12, QFont::Medium, Studio::text(), row.row);
        row.name->setFixedWidth(180);
        row.name->setText(QFontMetrics(row.name->font()).elidedText(rule.name, Qt::ElideRight, 180));
        row.name->setToolTip(rule.name);
        line->addWidget(row.name);
        row.picker = new PresetPicker(row.row);
        row.picker->setFixedWidth(220);
        row.picker->rebuild(model_.presets(), language, rule.presetID);
        row.picker->setAccessibleName(L10n::text("Preset", language));
        line->addWidget(row.picker);
        const QString bundleID = rule.bundleID;
        const QString name = rule.name;
        connect(row.picker, &PresetPicker::presetChosen, this,
                [this, bundleID, name](const QString& id) { model_.automation().setRule(bundleID, name, id); });
        if (automation.activeRuleBundleID() && *automation.activeRuleBundleID() == rule.bundleID) {
            row.badge = PanelText::badge(0.8, row.row);
            row.badge->setText(L10n::text("ACTIVE", language));
            line->addWidget(row.badge);
        }
        line->addStretch(1);
        row.remove = new StudioButton(QString(), false, row.row);
        row.remove->setSymbol(QStringLiteral("trash"));
        row.remove->setAccessibleName(L10n::text("Remove rule for {0}", language, rule.name));
        row.remove->setToolTip(row.remove->accessibleName());
        connect(row.remove, &QAbstractButton::clicked, this,
                [this, bundleID] { model_.automation().removeRule(bundleID); });
        line->addWidget(row.remove);
        ruleLayout_->addWidget(row.row);
        rows_.push_back(row);
    }
}

void AutomationPanel::rebuildAddMenu()
{
    const AppLanguage language = L10n::language();
    const AutomationModel& automation = model_.automation();
    addAppMenu_->clear();
    for (const RunningApp& app : offeredApps(automation.runningApps(), automation.rules())) {
        QAction* item = addAppMenu_->addAction(applicationIcon(app.icon), app.name);
        const RunningApp chosen = app;
        connect(item, &QAction::triggered, this, [this, chosen] {
            model_.automation().setRule(chosen.bundleID, chosen.name, newRulePreset(model_.presets().selectedID()));
        });
    }
    addAppMenu_->addSeparator();
    QAction* refresh = addAppMenu_->addAction(L10n::text("Refresh list", language));
    connect(refresh, &QAction::triggered, this, [this] { model_.automation().refreshRunningApps(); });
}

}  // namespace quorel
