// quorel-tool blind-test --seed N --answers A,B,-,...: a blind test with a reproducible
// assignment; "-" answers "no difference".
#include "RootModelRun.h"
#include "Subcommand.h"

#include "BlindTestModel.h"
#include "RandomSource.h"

#include <QJsonArray>

namespace {

using namespace quorel;

int runBlindTest(const QStringList& args)
{
    const QString usage = QStringLiteral("usage: quorel-tool blind-test --seed N --answers A,B,-,...");
    std::optional<uint64_t> seed;
    std::optional<QStringList> answers;
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seed")) {
            bool ok = false;
            const qulonglong value = args[i + 1].toULongLong(&ok);
            if (!ok) return tool::fail(QStringLiteral("--seed takes a whole number: %1").arg(args[i + 1]));
            seed = value;
        } else if (args[i] == QLatin1String("--answers")) {
            answers = args[i + 1].split(u',');
            for (const QString& answer : *answers)
                if (answer != QLatin1String("A") && answer != QLatin1String("B") && answer != QLatin1String("-"))
                    return tool::fail(QStringLiteral("an answer is A, B or -: %1").arg(answer));
        } else {
            return tool::fail(usage);
        }
    }
    if (!seed || !answers || args.size() % 2 != 0) return tool::fail(usage);

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
