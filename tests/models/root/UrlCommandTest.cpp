#include "RootModelFixture.h"

#include "MainTab.h"

#include <QDir>
#include <QJsonDocument>
#include <QFile>
#include <QUrl>

#include <clocale>
#include <cstdio>
#include <limits>

using namespace quorel;
using namespace quorel::test;

namespace {

// The URL commands run under a process locale whose decimal separator is a comma: the Boost
// number must be read the same.
class UrlCommands : public RootModelTest {
protected:
    ProcessLocale locale{"pt_BR.UTF-8"};

    void SetUp() override
    {
        RootModelTest::SetUp();
        ASSERT_TRUE(locale.active()) << "the pt_BR.UTF-8 locale is not installed";
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
        ASSERT_STREQ(buffer, "2,5");
        make();
    }

    float boostAfter(const QString& url, float start = 5)
    {
        model->change([start](DSPSettings& s) { s.boostDB = start; });
        model->handle(url);
        return model->settings().boostDB;
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(home.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
};

TEST_F(UrlCommands, BoostNumbers)
{
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/2,5"), 2.5f);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/2.5"), 2.5f);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/20"), 12);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/-3"), 0);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/inf"), 0);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/nan"), 0);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/+3"), 3);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/0x1p3"), 8);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/1e1"), 10);
    EXPECT_FLOAT_EQ(boostAfter("corvanta://boost/4"), 4);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/up"), 6);
    EXPECT_FLOAT_EQ(boostAfter("quorel://boost/down"), 4);
}

TEST_F(UrlCommands, BoostTextThatIsNoNumberChangesNothing)
{
    for (const char* url : {"quorel://boost/", "quorel://boost", "quorel://boost/loud", "quorel://boost/UP",
                            "quorel://boost/%203", "quorel://boost/3%20", "quorel://boost/3dB", "quorel://boost/2,5,1",
                            "quorel://boost/%zz", "quorel://boost/%FF", "quorel://boost/%4"}) {
        EXPECT_FLOAT_EQ(boostAfter(QString::fromLatin1(url)), 5) << url;
    }
}

TEST_F(UrlCommands, TheBoostNumberIgnoresTheProcessLocale)
{
    EXPECT_EQ(BoostModel::parseBoost("2,5"), 2.5f);
    EXPECT_EQ(BoostModel::parseBoost("2.5"), 2.5f);
    EXPECT_EQ(BoostModel::parseBoost(" 3"), std::nullopt);
    EXPECT_EQ(BoostModel::parseBoost("3 "), std::nullopt);
    EXPECT_EQ(BoostModel::parseBoost(""), std::nullopt);
    EXPECT_EQ(BoostModel::parseBoost("+3"), 3.0f);
    EXPECT_EQ(BoostModel::parseBoost("0x1p3"), 8.0f);
    EXPECT_EQ(BoostModel::parseBoost("inf"), std::numeric_limits<float>::infinity());
}

TEST_F(UrlCommands, PercentDecodingFailsOnBadEscapesAndOnBytesThatAreNotUtf8)
{
    EXPECT_EQ(BoostModel::percentDecoded("%zz"), std::nullopt);
    EXPECT_EQ(BoostModel::percentDecoded("%FF"), std::nullopt);
    EXPECT_EQ(BoostModel::percentDecoded("a%2"), std::nullopt);
    EXPECT_EQ(BoostModel::percentDecoded("a%"), std::nullopt);
    EXPECT_EQ(BoostModel::percentDecoded("%C3%A9t%C3%A9"), QStringLiteral("été"));
    EXPECT_EQ(BoostModel::percentDecoded("Movies%20at%20night"), QStringLiteral("Movies at night"));
    EXPECT_EQ(BoostModel::percentDecoded("%2F"), QStringLiteral("/"));
}

TEST_F(UrlCommands, SchemeAndHostAreLowercasedAndOnOffToggleStoreTheChoice)
{
    model->handle(QStringLiteral("QUOREL://TOGGLE"));
    EXPECT_EQ(storedActive(), true);
    model->handle(QStringLiteral("quorel://off"));
    EXPECT_EQ(storedActive(), false);
    model->handle(QStringLiteral("corvanta://on"));
    EXPECT_EQ(storedActive(), true);
    // A bad escape in an argument the command ignores does not stop the command.
    model->handle(QStringLiteral("quorel://off/%zz"));
    EXPECT_EQ(storedActive(), false);
}

TEST_F(UrlCommands, UrlsWithoutHostOrWithOtherSchemesAreIgnored)
{
    for (const char* url : {"quorel:toggle", "https://toggle", "toggle", "", "quorel://", "quorel://launch",
                            "mailto:on", "quorel://%zz"}) {
        model->handle(QString::fromLatin1(url));
        EXPECT_EQ(storedActive(), std::nullopt) << url;
    }
    EXPECT_EQ(model->settings(), DSPSettings());
    EXPECT_EQ(model->tab(), MainTab::boost);
    EXPECT_FALSE(model->system().errorMessage());
}

TEST_F(UrlCommands, TabMatchesARawValueInAnyCase)
{
    model->handle(QStringLiteral("quorel://tab/Equalizer"));
    EXPECT_EQ(model->tab(), MainTab::equalizer);
    EXPECT_EQ(store.string(BoostModel::tabKey), QStringLiteral("equalizer"));
    model->handle(QStringLiteral("quorel://tab/mixer"));
    EXPECT_EQ(model->tab(), MainTab::equalizer);
    model->handle(QStringLiteral("quorel://tab/OUTPUT?x=1#y"));
    EXPECT_EQ(model->tab(), MainTab::output);
}

TEST_F(UrlCommands, PresetsAreFoundByIdOrNameCustomFirstAndPathsRejoined)
{
    DSPSettings mine;
    unmatched(mine);
    const std::optional<SoundPreset> rock = model->presets().save("Rock", mine);
    model->handle(QStringLiteral("quorel://preset/rock"));
    EXPECT_EQ(model->presets().selectedID(), rock->id);
    model->handle(QStringLiteral("quorel://preset/builtin.rock"));
    EXPECT_EQ(model->presets().selectedID(), QStringLiteral("builtin.rock"));

    DSPSettings other;
    other.loudness = 0.61f;
    const std::optional<SoundPreset> slashed = model->presets().save("Day/Night", other);
    model->handle(QStringLiteral("quorel://preset/Day/Night"));
    EXPECT_EQ(model->presets().selectedID(), slashed->id);
    model->handle(QStringLiteral("quorel://preset/Filmes%20%C3%A0%20noite"));
    EXPECT_EQ(model->presets().selectedID(), QStringLiteral("builtin.movies-night"));

    const DSPSettings before = model->settings();
    model->handle(QStringLiteral("quorel://preset/nothing-like-it"));
    model->handle(QStringLiteral("quorel://preset/%FF"));
    EXPECT_EQ(model->settings(), before);
}

TEST_F(UrlCommands, APresetNameMatchesInEitherUnicodeSpellingButAccentsCount)
{
    DSPSettings mine;
    unmatched(mine);
    const std::optional<SoundPreset> night = model->presets().save(QString::fromUtf8("Ação Noturna"), mine);
    ASSERT_TRUE(night);
    model->apply(builtIn("builtin.neutral"));
    // "c" + combining cedilla, "a" + combining tilde: the decomposed spelling of the same name.
    model->handle(QStringLiteral("quorel://preset/Ac%CC%A7a%CC%83o%20Noturna"));
    EXPECT_EQ(model->presets().selectedID(), night->id);

    model->apply(builtIn("builtin.neutral"));
    model->handle(QStringLiteral("quorel://preset/acao%20noturna"));  // accents count
    EXPECT_EQ(model->presets().selectedID(), QStringLiteral("builtin.neutral"));
    model->handle(QStringLiteral("quorel://preset/A%C3%87%C3%83O%20NOTURNA"));  // case does not
    EXPECT_EQ(model->presets().selectedID(), night->id);
}

TEST_F(UrlCommands, NextAndPreviousStepThroughThePresets)
{
    model->apply(builtIn("builtin.neutral"));
    const std::vector<SoundPreset> list = model->presets().combined();
    model->handle(QStringLiteral("quorel://next"));
    EXPECT_EQ(model->presets().selectedID(), list[1].id);
    model->handle(QStringLiteral("quorel://previous"));
    EXPECT_EQ(model->presets().selectedID(), list[0].id);
}

TEST_F(UrlCommands, CompareTwiceConfiguresTwiceAtOnceAndReturnsToProcessed)
{
    model->handle(QStringLiteral("quorel://compare"));
    EXPECT_EQ(configureCount, 1);
    EXPECT_FALSE(lastProcessed);
    EXPECT_FALSE(model->processed());
    model->handle(QStringLiteral("quorel://compare"));
    EXPECT_EQ(configureCount, 2);
    EXPECT_TRUE(lastProcessed);
}

TEST_F(UrlCommands, AFileImportsAndAppliesAPreset)
{
    SoundPreset preset = SoundPreset::customNamed("Shared", [] {
        DSPSettings s;
        unmatched(s);
        return s;
    }());
    const QString path = writeFile("shared.quorelpreset", QJsonDocument(preset.toJson()).toJson());
    model->handle(QUrl::fromLocalFile(path));
    ASSERT_EQ(model->presets().custom().size(), 1u);
    EXPECT_EQ(model->presets().custom()[0].name, QStringLiteral("Shared"));
    EXPECT_EQ(model->presets().selectedID(), model->presets().custom()[0].id);
    EXPECT_FLOAT_EQ(model->settings().loudness, 0.37f);
    // The text form of a file URL takes the same road.
    model->handle(QUrl::fromLocalFile(path).toString());
    EXPECT_EQ(model->presets().custom().size(), 2u);
}

TEST_F(UrlCommands, ABrokenPresetFileChangesNothingAndShowsTheImportError)
{
    const QString path = writeFile("broken.quorelpreset", "{\"id\": ");
    const DSPSettings before = model->settings();
    model->handle(QUrl::fromLocalFile(path));
    EXPECT_EQ(model->settings(), before);
    EXPECT_TRUE(model->presets().custom().empty());
    ASSERT_TRUE(model->system().errorMessage());
    EXPECT_TRUE(model->system().errorMessage()->text().startsWith(QStringLiteral("Could not import the preset: ")));
    model->handle(QUrl::fromLocalFile(QDir(home.path()).filePath("missing.quorelpreset")));
    EXPECT_TRUE(model->presets().custom().empty());
}

}  // namespace
