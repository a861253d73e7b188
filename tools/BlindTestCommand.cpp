// quorel-tool blind-test --seed N --answers A,B,-,...: a blind test with a reproducible
// assignment; "-" answers "no difference".
#include "RootModelRun.h"
#include "CommandArguments.h"
#include "Subcommand.h"

#include "BlindTestModel.h"
#include "RandomSource.h"

#include <QJsonArray>

namespace {

using namespace quorel;

int runBlindTest(const QStringList& args)
{
    const QString usage = QStringLiteral("usage: quorel-tool blind-test --seed N --answers A,B,-,...");
    tool::CommandArguments arguments(
        {QCommandLineOption("seed", QString(), "N"), QCommandLineOption("answers", QString(), "A,B,-,...")},
        {usage, usage});
    if (arguments.read(args)) return tool::fail(usage);
    std::optional<uint64_t> seed;
    std::optional<QStringList> answers;
    for (const QString& text : arguments.values("seed")) {
        bool ok = false;
        const qulonglong value = text.toULongLong(&ok);
        if (!ok) return tool::fail(QStringLiteral("--seed takes a whole number: %1").arg(text));
        seed = value;
    }
    for (const QString& text : arguments.values("answers")) {
        answers = text.split(u',');
        for (const QString& answer : *answers)
            if (answer != QLatin1String("A") && answer != QLatin1String("B") && answer != QLatin1String("-"))
                return tool::fail(QStringLiteral("an answer is A, B or -: %1").arg(answer));
    }
    if (!seed || !answers) return tool::fail(usage);

    tool::RootModelRun run(nullptr, std::make_shared<SeededRandom>(*seed));
    BoostModel& model = *run.model;
    // The test switches processing on; a simulated test leaves the stored choice as it was.
    const QString activeKey = QString::fromLatin1(SystemModel::activeKey);
    const std::optional<QString> storedChoice = model.store().string(activeKey);

    BlindTestModel test;
    test.start(model);
    for (const QString& answer : *answers) {
        if (answer == QLatin1String("-")) {
            test.choose(std::nullopt);
        } else {
            test.listen(answer);
            test.choose(answer);
        }
    }
    UserDefaults store = model.store();
    if (storedChoice)
        store.setString(activeKey, *storedChoice);
    else
        store.remove(activeKey);

    QJsonArray processedIsA;
    for (bool a : test.processedIsA()) processedIsA.append(a);
    tool::printJson(QJsonObject{
        {"processedIsA", processedIsA},
        {"preferredProcessed", test.preferredProcessed()},
        {"preferredOriginal", test.preferredOriginal()},
        {"undecided", test.undecided()},
        {"phase", BlindTestModel::phaseName(test.phase())},
        {"round", test.round()},
        {"processed", model.processed()},
        {"summary", test.summary()},
        {"verdict", test.verdict()},
    });
    return 0;
}

const tool::Registration reg{{"blind-test", "blind-test --seed N --answers A,B,-,...", &runBlindTest}};

}  // namespace
