// The presets card: menu, chips, save with its prompt and replace confirmation, delete with
// its confirmation, export and import through the file dialog seam.
#include "NonRegularTargets.h"
#include "PagesTest.h"
#include "PresetFileDialogs.h"
#include "PresetsPanel.h"
#include "PresetsPanelState.h"
#include "SelectableButton.h"
#include "StudioButton.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace quorel;
using namespace quorel::test;

namespace {

QPushButton* button(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text) return qobject_cast<QPushButton*>(b);
    return nullptr;
}

void write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

}  // namespace

class PresetsCard : public PagesTest {
protected:
    ~PresetsCard() override { PresetFileDialogs::setOverride({}, {}); }

    PresetsPanel* makePanel()
    {
        auto* panel = new PresetsPanel(*model);
        show(panel, 780);
        return panel;
    }

    // Saves the current settings under `name` through the prompt.
    void saveThroughPrompt(PresetsPanel* panel, const QString& name)
    {
        panel->saveAs();
        ASSERT_TRUE(panel->nameDialog());
        panel->nameField()->clear();
        QTest::keyClicks(panel->nameField(), name);
        QTest::mouseClick(panel->nameSaveButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
    }

    static void unmatched(DSPSettings& s)
    {
        s.loudness = 0.37f;
        s.bands[3] = 1.5f;
    }
};

TEST_F(PresetsCard, NothingSelected)
{
    make();
    model->change(unmatched);
    ASSERT_FALSE(model->presets().selectedID());
    PresetsPanel* panel = makePanel();
    EXPECT_EQ(panel->menuButton()->property("text").toString(), "Custom");
    EXPECT_EQ(panel->summary()->text(), "Custom, unsaved. Use “Save as…” to keep your settings.");
    EXPECT_TRUE(panel->saveButton()->isProminent());
    EXPECT_FALSE(panel->deleteButton()->isEnabled());
    for (SelectableButton* chip : panel->chips()) EXPECT_FALSE(chip->isSelected());
}

TEST_F(PresetsCard, ChipsMenuAndABuiltInSelection)
{
    make();
    model->apply(*BuiltInPresets::preset("builtin.music"));
    PresetsPanel* panel = makePanel();
    ASSERT_EQ(panel->chips().size(), 6);
    EXPECT_TRUE(panel->chips()[2]->isSelected());
    EXPECT_FALSE(panel->chips()[0]->isSelected());
    EXPECT_FALSE(panel->saveButton()->isProminent());
    EXPECT_FALSE(panel->deleteButton()->isEnabled());
    QTest::mouseClick(panel->chips()[1], Qt::LeftButton);
    EXPECT_EQ(model->presets().selectedID(), "builtin.movies");
    EXPECT_TRUE(panel->chips()[1]->isSelected());

    // No "My presets" without custom presets; sections in category order.
    auto sections = PresetsPanel::menuSections(model->presets());
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.front().category, PresetCategory::use);
    for (const auto& section : sections) EXPECT_NE(section.category, PresetCategory::custom);

    panel->saveAs();
    ASSERT_TRUE(panel->nameDialog());
    EXPECT_EQ(panel->nameField()->text(), "");
    EXPECT_FALSE(panel->nameSaveButton()->isEnabled());
    QTest::keyClicks(panel->nameField(), " \t ");
    EXPECT_FALSE(panel->nameSaveButton()->isEnabled());  // a blank name keeps Save off
    panel->nameDialog()->reject();
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel->state().askingName());
    EXPECT_TRUE(model->presets().custom().empty());
}

TEST_F(PresetsCard, FourCustomPresetsGiveThreeChipsAndAFullSection)
{
    make();
    PresetsPanel* panel = makePanel();
    for (int i = 1; i <= 4; ++i) {
        model->change([i](DSPSettings& s) { s.bands[0] = float(i); });
        saveThroughPrompt(panel, QString("Mine %1").arg(i));
    }
    ASSERT_EQ(model->presets().custom().size(), 4u);
    ASSERT_EQ(panel->chips().size(), 9);
    EXPECT_EQ(panel->chips()[6]->text(), "Mine 4");
    EXPECT_EQ(panel->chips()[8]->text(), "Mine 2");
    EXPECT_TRUE(panel->chips()[6]->isSelected());
    const auto sections = PresetsPanel::menuSections(model->presets());
    ASSERT_EQ(sections.back().category, PresetCategory::custom);
    EXPECT_EQ(sections.back().presets.size(), 4u);
    // The menu lists the section title and its four presets.
    emit panel->presetMenu()->aboutToShow();
    QStringList texts;
    for (QAction* action : panel->presetMenu()->actions()) texts << action->text();
    EXPECT_TRUE(texts.contains("My presets"));
    EXPECT_TRUE(texts.contains("Mine 1"));
}

TEST_F(PresetsCard, SaveReplaceByTrimmedNameIgnoringCase)
{
    make();
    PresetsPanel* panel = makePanel();
    model->change(unmatched);
    saveThroughPrompt(panel, "Evening");
    ASSERT_EQ(model->presets().custom().size(), 1u);
    const QString id = model->presets().custom()[0].id;
    model->change([](DSPSettings& s) { s.bands[10] = 3; });
    saveThroughPrompt(panel, "Other");
    ASSERT_EQ(model->presets().custom().size(), 2u);

    // "  evening\t" asks before replacing "Evening"; Replace keeps its id and place.
    model->change([](DSPSettings& s) { s.bands[12] = -4; });
    saveThroughPrompt(panel, "  evening\t");
    ASSERT_TRUE(panel->replaceBox());
    EXPECT_EQ(panel->replaceBox()->informativeText(),
              "A preset named “evening” already exists. Your current settings will replace it.");
    QTest::mouseClick(button(panel->replaceBox(), "Replace"), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(model->presets().custom().size(), 2u);
    EXPECT_EQ(model->presets().custom()[1].id, id);
    EXPECT_EQ(model->presets().custom()[1].name, "evening");
    EXPECT_FALSE(panel->state().confirmingOverwrite());

    // A custom selection prefills the prompt; Save at once asks to replace it; Cancel keeps all.
    panel->saveAs();
    EXPECT_EQ(panel->nameField()->text(), "evening");
    QTest::mouseClick(panel->nameSaveButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_TRUE(panel->replaceBox());
    QTest::mouseClick(button(panel->replaceBox(), "Cancel"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(model->presets().custom().size(), 2u);

    // A built-in's name is no clash.
    saveThroughPrompt(panel, "Movies");
    EXPECT_FALSE(panel->replaceBox());
    EXPECT_EQ(model->presets().custom().size(), 3u);
}

TEST_F(PresetsCard, DeleteTakesThePresetSelectedWhenPressed)
{
    make();
    PresetsPanel* panel = makePanel();
    model->change([](DSPSettings& s) { s.bands[1] = 2; });
    saveThroughPrompt(panel, "First");
    model->change([](DSPSettings& s) { s.bands[1] = 5; });
    saveThroughPrompt(panel, "Second");
    const SoundPreset second = model->presets().custom()[0];
    const SoundPreset first = model->presets().custom()[1];
    ASSERT_EQ(model->presets().selectedID(), second.id);
    ASSERT_TRUE(panel->deleteButton()->isEnabled());

    QTest::mouseClick(panel->deleteButton(), Qt::LeftButton);
    ASSERT_TRUE(panel->deleteBox());
    EXPECT_EQ(panel->deleteBox()->informativeText(),
              "“Second” will be removed. Your current settings will stay as they are.");
    // The selection changes while the alert is open (a shortcut, a rule, another window).
    model->apply(first);
    ASSERT_EQ(model->presets().selectedID(), first.id);
    QTest::mouseClick(button(panel->deleteBox(), "Delete"), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(model->presets().custom().size(), 1u);
    EXPECT_EQ(model->presets().custom()[0].id, first.id);
    EXPECT_EQ(model->presets().selectedID(), first.id);  // still matches the settings
    EXPECT_FALSE(panel->state().confirmingDelete());
}

TEST_F(PresetsCard, DeletingTheSelectedPresetLeavesTheSettings)
{
    make();
    PresetsPanel* panel = makePanel();
    model->change(unmatched);
    saveThroughPrompt(panel, "Only");
    const DSPSettings before = model->settings();
    QTest::mouseClick(panel->deleteButton(), Qt::LeftButton);
    QTest::mouseClick(button(panel->deleteBox(), "Delete"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(model->presets().custom().empty());
    EXPECT_FALSE(model->presets().selectedID());
    EXPECT_EQ(model->settings(), before);
    EXPECT_EQ(panel->summary()->text(), "Custom, unsaved. Use “Save as…” to keep your settings.");
}

TEST_F(PresetsCard, ExportWritesTheLibrarysDataAndReportsAFailure)
{
    make();
    PresetsPanel* panel = makePanel();
    model->change(unmatched);
    saveThroughPrompt(panel, "Late/Night");
    const SoundPreset preset = *model->presets().selected();
    QString proposed;
    QString target = home.path() + "/out.quorelpreset";
    PresetFileDialogs::setOverride({}, [&](QWidget*, const QString& name) -> std::optional<QString> {
        proposed = name;
        return target;
    });
    panel->exportCurrent();
    EXPECT_EQ(proposed, PresetLibrary::exportFileName(preset));
    EXPECT_FALSE(proposed.contains('/'));
    EXPECT_EQ(read(target), model->presets().exportData(preset));
    EXPECT_FALSE(model->system().errorMessage());

    // Nothing selected: a custom preset named "Custom" from the current settings.
    model->change([](DSPSettings& s) { s.bands[7] = -3; });
    ASSERT_FALSE(model->presets().selectedID());
    panel->exportCurrent();
    EXPECT_EQ(proposed, "Custom.quorelpreset");
    EXPECT_TRUE(read(target).contains("\"Custom\""));

    // A folder that cannot be written: the banner says so and the file there stays.
    const QByteArray kept = read(target);
    target = home.path() + "/out.quorelpreset/inside.quorelpreset";
    panel->exportCurrent();
    ASSERT_TRUE(model->system().errorMessage());
    EXPECT_TRUE(model->system().errorMessage()->text().startsWith("Could not export: "))
        << qPrintable(model->system().errorMessage()->text());
    EXPECT_EQ(read(home.path() + "/out.quorelpreset"), kept);

    // Cancelled: nothing.
    model->system().setErrorMessage(std::nullopt);
    PresetFileDialogs::setOverride({}, [](QWidget*, const QString&) -> std::optional<QString> { return std::nullopt; });
    panel->exportCurrent();
    EXPECT_FALSE(model->system().errorMessage());
}

TEST_F(PresetsCard, ImportThreeFilesOneBad)
{
    make();
    PresetsPanel* panel = makePanel();
    const SoundPreset a = SoundPreset::customNamed("Alpha", [] {
        DSPSettings s;
        s.bands[2] = 3;
        return s;
    }());
    const SoundPreset b = SoundPreset::customNamed("Beta", [] {
        DSPSettings s;
        s.bands[4] = -2;
        return s;
    }());
    write(home.path() + "/a.quorelpreset", model->presets().exportData(a));
    write(home.path() + "/bad.json", "{ this is not json");
    write(home.path() + "/b.json", model->presets().exportData(b));
    QStringList chosen{home.path() + "/a.quorelpreset", home.path() + "/bad.json", home.path() + "/b.json"};
    PresetFileDialogs::setOverride([&](QWidget*) { return chosen; }, {});
    panel->importFiles();
    ASSERT_EQ(model->presets().custom().size(), 2u);
    EXPECT_EQ(model->presets().custom()[0].name, "Beta");
    EXPECT_EQ(model->presets().selected()->name, "Beta");
    EXPECT_EQ(model->settings().bands[4], -2.0f);
    ASSERT_TRUE(model->system().errorMessage());
    EXPECT_TRUE(model->system().errorMessage()->text().startsWith("Could not import the preset: "));
    EXPECT_EQ(panel->chips()[6]->text(), "Beta");

    // Cancelled: nothing.
    chosen.clear();
    panel->importFiles();
    EXPECT_EQ(model->presets().custom().size(), 2u);
}

TEST_F(PresetsCard, PortugueseTexts)
{
    make();
    setLanguage(AppLanguage::portuguese);
    model->change(unmatched);
    PresetsPanel* panel = makePanel();
    EXPECT_EQ(panel->menuButton()->property("text").toString(), "Personalizado");
    EXPECT_EQ(panel->saveButton()->text(), "Salvar como…");
    EXPECT_EQ(panel->chips()[0]->text(), "Neutro");
    setLanguage(AppLanguage::english);
    EXPECT_EQ(panel->saveButton()->text(), "Save as…");
    EXPECT_EQ(panel->chips()[0]->text(), "Neutral");
}

TEST_F(PresetsCard, EveryKindOfBadFileIsReportedAndTheGoodOnesImport)
{
    make();
    PresetsPanel* panel = makePanel();
    const SoundPreset good = SoundPreset::customNamed("Good", [] {
        DSPSettings s;
        s.bands[6] = 4;
        return s;
    }());
    write(home.path() + "/good.quorelpreset", model->presets().exportData(good));
    QDir(home.path()).mkdir("folder.quorelpreset");
    write(home.path() + "/huge.json", QByteArray(1024 * 1024 + 10, ' '));
    write(home.path() + "/latin1.json", "{\"name\": \"Caf\xe9\"}");
    write(home.path() + "/array.json", "[]");
    for (const QString& bad :
         QStringList{"folder.quorelpreset", "huge.json", "latin1.json", "array.json", "missing.json"}) {
        model->system().setErrorMessage(std::nullopt);
        const QStringList chosen{home.path() + "/good.quorelpreset", home.path() + "/" + bad};
        PresetFileDialogs::setOverride([chosen](QWidget*) { return chosen; }, {});
        const size_t before = model->presets().custom().size();
        panel->importFiles();
        EXPECT_EQ(model->presets().custom().size(), before + 1) << qPrintable(bad);
        ASSERT_TRUE(model->system().errorMessage()) << qPrintable(bad);
        EXPECT_TRUE(model->system().errorMessage()->text().startsWith("Could not import the preset: "))
            << qPrintable(bad);
        EXPECT_EQ(model->settings().bands[6], 4.0f);
    }
}

// A write that fails half-way (here the process's file-size limit) leaves the file that was
// there as it was, and the banner says why.
TEST_F(PresetsCard, AFailedExportLeavesTheExistingFileWhole)
{
    make();
    PresetsPanel* panel = makePanel();
    model->apply(*BuiltInPresets::preset("builtin.movies"));
    const QString target = home.path() + "/kept.quorelpreset";
    const QByteArray before("an earlier export");
    write(target, before);
    PresetFileDialogs::setOverride({}, [&](QWidget*, const QString&) -> std::optional<QString> { return target; });
    ASSERT_GT(model->presets().exportData(*model->presets().selected()).size(), 200);

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    panel->exportCurrent();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(read(target), before);
    ASSERT_TRUE(model->system().errorMessage());
    EXPECT_TRUE(model->system().errorMessage()->text().startsWith("Could not export: "));
    setLanguage(AppLanguage::portuguese);
    EXPECT_TRUE(model->system().errorMessage()->text().startsWith("Não foi possível exportar: "));
    EXPECT_EQ(QDir(home.path()).entryList({"kept*"}, QDir::Files), QStringList{"kept.quorelpreset"});
}

// An export onto a FIFO, a device or a link to one is refused in the window's language and
// leaves what stands there as it is.
TEST_F(PresetsCard, AnExportOntoAFifoOrADeviceIsRefused)
{
    make();
    PresetsPanel* panel = makePanel();
    model->apply(*BuiltInPresets::preset("builtin.movies"));
    NonRegularTargets targets(home.path());
    QString target;
    PresetFileDialogs::setOverride({}, [&](QWidget*, const QString&) -> std::optional<QString> { return target; });
    for (const QString& path : targets.all()) {
        target = path;
        setLanguage(AppLanguage::english);
        model->system().setErrorMessage(std::nullopt);
        panel->exportCurrent();
        ASSERT_TRUE(model->system().errorMessage()) << path.toStdString();
        EXPECT_EQ(model->system().errorMessage()->text(),
                  "Could not export: The file " + path + " is not a regular file.");
        setLanguage(AppLanguage::portuguese);
        panel->exportCurrent();
        EXPECT_EQ(model->system().errorMessage()->text(),
                  "Não foi possível exportar: O arquivo " + path + " não é um arquivo comum.");
    }
    EXPECT_EQ(targets.changes(), QString());
}

// The name asked for is as long as the library keeps, and a full list of the user's own presets
// is told in the window instead of taking one more.
TEST_F(PresetsCard, SavingIsBoundedByTheLibrary)
{
    make();
    PresetsPanel* panel = makePanel();
    panel->saveAs();
    ASSERT_TRUE(panel->nameDialog());
    EXPECT_EQ(panel->nameField()->maxLength(), PresetLibrary::maximumNameLength);
    panel->nameDialog()->reject();

    QJsonArray full;
    for (std::size_t i = 0; i < PresetLibrary::maximumCustom; ++i)
        full.append(SoundPreset::customNamed(QStringLiteral("Mine %1").arg(i), DSPSettings()).toJson());
    window.reset();
    PanelsTest::make([&](BoostModel::Options&) {
        store.setString(QString::fromLatin1(PresetLibrary::customKey),
                        QString::fromUtf8(QJsonDocument(full).toJson(QJsonDocument::Compact)));
    });
    panel = makePanel();
    ASSERT_EQ(model->presets().custom().size(), PresetLibrary::maximumCustom);
    model->change(unmatched);
    saveThroughPrompt(panel, "One more");
    EXPECT_EQ(model->presets().custom().size(), PresetLibrary::maximumCustom);
    ASSERT_TRUE(model->system().errorMessage());
    EXPECT_EQ(model->system().errorMessage()->text(),
              QString("You already have %1 presets of your own. Delete one to add another.")
                  .arg(PresetLibrary::maximumCustom));
}
