#include "AutoEqParser.h"

#include "AudioFailure.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace quorel;
using Kind = HeadphoneFilter::Kind;

namespace {

QString filterLine(int n, const char* type, const char* rest = "Fc 105 Hz Gain -3.1 dB Q 0.70")
{
    return QStringLiteral("Filter %1: ON %2 %3\n").arg(n).arg(QLatin1String(type), QLatin1String(rest));
}

void expectNoFilters(const QString& text)
{
    try {
        parseAutoEQ(text, QStringLiteral("X"));
        ADD_FAILURE() << "parsed: " << text.toStdString();
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), QStringLiteral("No AutoEq filters found in this file."));
    }
}

}  // namespace

TEST(AutoEqParser, PreampAndTenPeakFilters)
{
    QString text = QStringLiteral("Preamp: -6.2 dB\n");
    for (int i = 1; i <= 10; ++i) text += filterLine(i, "PK");
    const HeadphoneProfile profile = parseAutoEQ(text, QStringLiteral("Acme H1"));
    EXPECT_EQ(profile.preampDB, -6.2f);
    ASSERT_EQ(profile.filters.size(), 10u);
    for (const HeadphoneFilter& filter : profile.filters)
        EXPECT_EQ(filter, (HeadphoneFilter{Kind::peak, 105, -3.1f, 0.7f}));
    EXPECT_TRUE(profile.id.startsWith(QStringLiteral("import.")));
    EXPECT_EQ(profile.id.size(), 7 + 36);
    EXPECT_EQ(profile.id.mid(7), profile.id.mid(7).toUpper());
    EXPECT_EQ(profile.form, QStringLiteral("over-ear"));
    EXPECT_EQ(profile.source, QStringLiteral("import"));
    EXPECT_FALSE(profile.isBuiltIn());
}

TEST(AutoEqParser, SkipsOffUnknownAndLowerCaseLines)
{
    const QString text = filterLine(1, "PK") + QStringLiteral("Filter 3: OFF PK Fc 200 Hz Gain 2 dB Q 1\n")
                         + QStringLiteral("Filter 4: ON LP Fc 200 Hz Gain 0 dB Q 1\n")
                         + QStringLiteral("Filter 5: ON pk Fc 200 Hz Gain 0 dB Q 1\n")
                         + QStringLiteral("Filter 6: ON PK Fc 1.2.3 Hz Gain 0 dB Q 1\n")
                         + QStringLiteral("Filter 7: ON PK Fc . Hz Gain 0 dB Q 1\n");
    EXPECT_EQ(parseAutoEQ(text, QStringLiteral("X")).filters.size(), 1u);
}

TEST(AutoEqParser, ShelfTokens)
{
    const QString text = filterLine(1, "LSC") + filterLine(2, "LS") + filterLine(3, "HSC") + filterLine(4, "HS");
    const HeadphoneProfile profile = parseAutoEQ(text, QStringLiteral("X"));
    ASSERT_EQ(profile.filters.size(), 4u);
    EXPECT_EQ(profile.filters[0].kind, Kind::lowShelf);
    EXPECT_EQ(profile.filters[1].kind, Kind::lowShelf);
    EXPECT_EQ(profile.filters[2].kind, Kind::highShelf);
    EXPECT_EQ(profile.filters[3].kind, Kind::highShelf);
}

TEST(AutoEqParser, LeadingBlanksAndTrailingTextAreAccepted)
{
    const QString text = QStringLiteral(" \tPreamp: -2 dB\n\t  Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1 # note\n"
                                        "x Filter 2: ON PK Fc 100 Hz Gain 1 dB Q 1\n");
    const HeadphoneProfile profile = parseAutoEQ(text, QStringLiteral("X"));
    EXPECT_EQ(profile.preampDB, -2);
    EXPECT_EQ(profile.filters.size(), 1u);
}

TEST(AutoEqParser, PreampRules)
{
    const QString filter = filterLine(1, "PK");
    EXPECT_EQ(parseAutoEQ(QStringLiteral("Preamp: -2 dB\nPreamp: -4.5 dB\n") + filter, "X").preampDB, -4.5f);
    EXPECT_EQ(parseAutoEQ(QStringLiteral("Preamp: 3 dB\n") + filter, "X").preampDB, 0);  // sanitized
    EXPECT_EQ(parseAutoEQ(QStringLiteral("Preamp: -2 dB\nPreamp: +3 dB\n") + filter, "X").preampDB, -2);
    EXPECT_EQ(parseAutoEQ(QStringLiteral("Preamp: -2 dB\nPreamp: 1.2.3 dB\n") + filter, "X").preampDB, 0);
    EXPECT_EQ(parseAutoEQ(QStringLiteral("Preamp: -40 dB\n") + filter, "X").preampDB, -24);
}

TEST(AutoEqParser, KeepsTheFirstTwelveFiltersClamped)
{
    QString text;
    for (int i = 1; i <= 20; ++i)
        text += filterLine(i, "PK", i == 1 ? "Fc 5 Hz Gain 30 dB Q 0.01" : "Fc 100 Hz Gain 1 dB Q 1");
    const HeadphoneProfile profile = parseAutoEQ(text, QStringLiteral("X"));
    ASSERT_EQ(profile.filters.size(), 12u);
    EXPECT_EQ(profile.filters[0], (HeadphoneFilter{Kind::peak, 20, 20, 0.1f}));
}

TEST(AutoEqParser, NothingUsableThrows)
{
    expectNoFilters(QString());
    expectNoFilters(QStringLiteral("Preamp: -6 dB\n"));
    expectNoFilters(
        QStringLiteral("Filter 1: OFF PK Fc 100 Hz Gain 1 dB Q 1\nFilter 2: OFF LSC Fc 100 Hz Gain 1 dB Q 1"));
    expectNoFilters(QStringLiteral("\n\n\r\n"));
}

TEST(AutoEqParser, NameAndBrand)
{
    const QString filter = filterLine(1, "PK");
    HeadphoneProfile profile = parseAutoEQ(filter, QStringLiteral("  Acme H1 Pro\n"));
    EXPECT_EQ(profile.name, QStringLiteral("Acme H1 Pro"));
    EXPECT_EQ(profile.brand, QStringLiteral("Acme"));
    profile = parseAutoEQ(filter, QString());
    EXPECT_EQ(profile.name, QStringLiteral("Headphones"));
    EXPECT_TRUE(profile.brand.isEmpty());
}

TEST(AutoEqParser, EveryKindOfLineBreak)
{
    const QString lf = QStringLiteral(
        "Preamp: -1 dB\nFilter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\nFilter 2: ON HS Fc 9000 Hz Gain 2 dB Q 0.7\n");
    const HeadphoneProfile expected = parseAutoEQ(lf, QStringLiteral("X"));
    for (const QString& brk : {QStringLiteral("\r\n"), QStringLiteral("\r"), QStringLiteral("\u2028"),
                               QStringLiteral("\u0085"), QStringLiteral("\f")}) {
        QString text = lf;
        text.replace(u'\n', brk);
        const HeadphoneProfile profile = parseAutoEQ(text, QStringLiteral("X"));
        EXPECT_EQ(profile.filters, expected.filters);
        EXPECT_EQ(profile.preampDB, expected.preampDB);
    }
}
