// The headphone card: menu, import (good and bad files), turn off and the delete confirmation.
#include "HeadphoneCatalog.h"
#include "HeadphoneLibrary.h"
#include "HeadphonePanel.h"
#include "HeadphonePanelState.h"
#include "Backdrop.h"
#include "PanelsTest.h"
#include "StudioButton.h"
#include "Symbols.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace quorel;
using namespace quorel::test;

namespace {

const QByteArray goodAutoEq = "Preamp: -6.5 dB\nFilter 1: ON LSC Fc 105 Hz Gain 6.0 dB Q 0.70\n"
                              "Filter 2: ON PK Fc 3000 Hz Gain -2.5 dB Q 2.00\n";

class HeadphoneCard : public PanelsTest {
protected:
    void SetUp() override
    {
        make();
        panel = new HeadphonePanel(*model, model->headphones());
        backdrop = std::make_unique<Backdrop>(panel);
    }
    void TearDown() override { HeadphonePanel::setFileChooser({}); }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = home.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void import(const std::optional<QString>& path)
    {
        HeadphonePanel::setFileChooser([path](QWidget*) { return path; });
        panel->importButton()->click();
    }
    QPushButton* button(QMessageBox::ButtonRole role) const
    {
        QMessageBox* box = panel->confirmation();
        if (!box) return nullptr;
        for (QAbstractButton* b : box->buttons())
            if (box->buttonRole(b) == role) return static_cast<QPushButton*>(b);
        return nullptr;
    }
    static HeadphoneProfile catalogProfile()
    {
        return HeadphoneCatalog::profiles(HeadphoneCatalog::brands().first()).front();
    }

    HeadphonePanel* panel = nullptr;
    std::unique_ptr<Backdrop> backdrop;
};

}  // namespace

TEST_F(HeadphoneCard, NoProfileShowsTheHint)
{
    EXPECT_EQ(panel->menuText(), "None");
    EXPECT_EQ(panel->menuSymbol(), "headphones");
    EXPECT_TRUE(panel->hint()->isVisibleTo(panel));
    EXPECT_FALSE(panel->summary()->isVisibleTo(panel));
    EXPECT_FALSE(panel->deleteButton()->isVisibleTo(panel));
}

TEST_F(HeadphoneCard, MenuOffersNoneAndTheCatalogByBrand)
{
    std::unique_ptr<QMenu> menu(panel->buildMenu(nullptr));
    QStringList top;
    for (QAction* action : menu->actions())
        top << (action->isSeparator() ? "[" + action->text() + "]" : action->text());
    ASSERT_GE(top.size(), 2);
    EXPECT_EQ(top[0], "None");
    EXPECT_EQ(top[1], "[Built-in]");  // no empty "Imported" section
    EXPECT_EQ(top.size(), 2 + HeadphoneCatalog::brands().size());

    // Choosing a catalog item applies that profile, whole.
    const HeadphoneProfile profile = catalogProfile();
    QMenu* brand = menu->actions()[2]->menu();
    ASSERT_TRUE(brand);
    brand->actions().first()->trigger();
    ASSERT_TRUE(model->settings().headphoneProfile);
    EXPECT_EQ(model->settings().headphoneProfile->id, profile.id);
    EXPECT_EQ(panel->menuText(), profile.name);
    EXPECT_TRUE(panel->summary()->isVisibleTo(panel));
    EXPECT_FALSE(panel->deleteButton()->isVisibleTo(panel));  // a catalog profile is never deleted
    EXPECT_TRUE(panel->turnOffButton()->isVisibleTo(panel));

    panel->turnOffButton()->click();
    EXPECT_FALSE(model->settings().headphoneProfile);
}

TEST_F(HeadphoneCard, ImportingAGoodFileAppliesIt)
{
    import(write("Studio Cans ParametricEQ.txt", goodAutoEq));
    ASSERT_TRUE(model->settings().headphoneProfile);
    EXPECT_EQ(model->settings().headphoneProfile->name, "Studio Cans");
    EXPECT_EQ(model->headphones().custom().size(), 1u);
    EXPECT_EQ(panel->detailLine()->text(), "2 filters · imported");
    EXPECT_TRUE(panel->preGainNote()->isVisibleTo(panel));
    EXPECT_EQ(panel->preGainNote()->text(),
              "Applies -6.5 dB of pre-gain so the correction never clips. Use Boost to make up the level.");
    EXPECT_TRUE(panel->deleteButton()->isVisibleTo(panel));
    EXPECT_FALSE(model->system().errorMessage());

    std::unique_ptr<QMenu> menu(panel->buildMenu(nullptr));
    EXPECT_EQ(menu->actions()[1]->text(), "Imported");
    EXPECT_EQ(menu->actions()[2]->text(), "Studio Cans");

    setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(panel->detailLine()->text(), "2 filtros · importado");
    EXPECT_TRUE(panel->preGainNote()->text().contains("-6,5"));
}

TEST_F(HeadphoneCard, BadFilesGiveTheBannerAndChangeNothing)
{
    import(write("Studio Cans ParametricEQ.txt", goodAutoEq));
    const DSPSettings before = model->settings();
    const std::vector<HeadphoneProfile> library = model->headphones().custom();

    QDir(home.path()).mkdir("folder.txt");
    const QString folder = home.path() + "/folder.txt";
    const QString big = write("Big ParametricEQ.txt", goodAutoEq + QByteArray(1024 * 1024, ' '));
    const QString latin1 =
        write("Latin ParametricEQ.txt", "Preamp: -1 dB\nFilter 1: ON PK Fc 100 Hz Gain 1 dB Q 1 \xe9\xff\n");
    const QString empty = write("Empty ParametricEQ.txt", "Preamp: -1 dB\nno filters here\n");
    for (const QString& path : {folder, big, latin1, empty, home.path() + "/missing.txt"}) {
        SCOPED_TRACE(path.toStdString());
        model->system().setErrorMessage(std::nullopt);
        import(path);
        ASSERT_TRUE(model->system().errorMessage());
        EXPECT_TRUE(model->system().error()->startsWith("Could not import the headphone profile: "))
            << model->system().error()->toStdString();
        EXPECT_EQ(model->settings(), before);
        EXPECT_EQ(model->headphones().custom(), library);
    }
    // A cancelled choice does nothing.
    model->system().setErrorMessage(std::nullopt);
    import(std::nullopt);
    EXPECT_FALSE(model->system().errorMessage());
    EXPECT_EQ(model->settings(), before);
}

TEST_F(HeadphoneCard, DeleteAfterConfirmationTurnsTheCorrectionOff)
{
    import(write("Studio Cans ParametricEQ.txt", goodAutoEq));
    panel->deleteButton()->click();
    ASSERT_TRUE(panel->state().confirmingDelete());
    ASSERT_TRUE(panel->confirmation());
    EXPECT_EQ(panel->confirmation()->informativeText(),
              QString::fromUtf8("\u201CStudio Cans\u201D will be removed from your imported profiles."));
    button(QMessageBox::DestructiveRole)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel->state().confirmingDelete());
    EXPECT_TRUE(model->headphones().custom().empty());
    EXPECT_FALSE(model->settings().headphoneProfile);
    EXPECT_EQ(panel->menuText(), "None");
}

TEST_F(HeadphoneCard, CancelChangesNothing)
{
    import(write("Studio Cans ParametricEQ.txt", goodAutoEq));
    panel->deleteButton()->click();
    button(QMessageBox::RejectRole)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel->state().confirmingDelete());
    EXPECT_EQ(model->headphones().custom().size(), 1u);
    EXPECT_TRUE(model->settings().headphoneProfile);
}

TEST_F(HeadphoneCard, DeleteRemovesTheProfileItWasAskedForEvenWhenOtherSettingsReturned)
{
    import(write("Studio Cans ParametricEQ.txt", goodAutoEq));
    const QString imported = model->settings().headphoneProfile->id;
    panel->deleteButton()->click();
    ASSERT_TRUE(panel->confirmation());
    // While the question is open, a rule ends and earlier settings with a catalog profile return.
    const HeadphoneProfile catalog = catalogProfile();
    model->setHeadphoneProfile(catalog);
    button(QMessageBox::DestructiveRole)->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(model->headphones().custom().empty()) << "the profile named in the question is deleted";
    ASSERT_TRUE(model->settings().headphoneProfile) << "the correction now in force stays on";
    EXPECT_EQ(model->settings().headphoneProfile->id, catalog.id);
    EXPECT_NE(catalog.id, imported);
}
