#include "FeedKeys.h"
#include "FeedServer.h"
#include "ManualClock.h"
#include "ProductInfo.h"
#include "TestSupport.h"
#include "UpdateChecker.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include "SignalCounter.h"
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

class Updates : public testing::Test {
protected:
    // A checker reading the loopback feed with the test's key, on a manual clock.
    std::unique_ptr<UpdateChecker> makeChecker(int timeoutMs = 15000, std::optional<UserDefaults> store = std::nullopt)
    {
        UpdateChecker::Options options;
        options.clock = clock;
        options.store = store ? *store : this->store;
        options.transferTimeoutMs = timeoutMs;
        options.feedURL = QUrl(server.url());
        options.publicKey = keys.publicBase64();
        return std::make_unique<UpdateChecker>(options);
    }

    // Runs a check to its end on the event loop.
    void runCheck(UpdateChecker& checker, bool manual)
    {
        checker.check(manual);
        waitUntilIdle(checker);
    }

    static void waitUntilIdle(UpdateChecker& checker)
    {
        ASSERT_TRUE(test::waitUntil([&] { return !checker.checking(); }));
    }

    static QString message(const UpdateChecker& checker)
    {
        return checker.localizedMessage() ? checker.localizedMessage()->localized(AppLanguage::english) : QString();
    }

    void serveFeed(qint64 build) { server.respond(200, test::signedFeed(test::sampleFeed(build), keys)); }
    void setLastCheck(const QString& text) { store.setString(UpdateChecker::lastCheckKey, text); }
    static QString iso(const QDateTime& date) { return date.toUTC().toString(Qt::ISODateWithMs); }

    test::TemporaryHome home;  // English, and no user settings
    UserDefaults store{home.path() + "/updates.conf"};
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    test::FeedKeys keys = test::FeedKeys::generate();
    test::FeedServer server;
    const qint64 running = ProductInfo::build();
};

}  // namespace

TEST_F(Updates, ANewerBuildIsPublishedAsAvailable)
{
    serveFeed(running + 1);
    auto checker = makeChecker();
    test::SignalCounter available(checker.get(), &UpdateChecker::availableChanged);
    runCheck(*checker, true);
    ASSERT_TRUE(checker->available());
    EXPECT_EQ(checker->available()->build, running + 1);
    EXPECT_EQ(checker->available()->version, "2.0.1");
    EXPECT_FALSE(checker->localizedMessage());
    EXPECT_EQ(available.count(), 1);

    checker->clearAvailable();
    EXPECT_FALSE(checker->available());
    runCheck(*checker, false);  // automatic checks publish a newer release too
    EXPECT_TRUE(checker->available());
}

TEST_F(Updates, TheRequestIsAPlainGetOfTheFeed)
{
    serveFeed(running);
    auto checker = makeChecker();
    runCheck(*checker, true);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].target, "/updates/appcast.json");
}

TEST_F(Updates, ACurrentBuildGivesAMessageOnlyToAManualCheck)
{
    serveFeed(running);
    auto checker = makeChecker();
    runCheck(*checker, false);
    EXPECT_FALSE(checker->localizedMessage());
    EXPECT_FALSE(checker->available());

    runCheck(*checker, true);
    EXPECT_EQ(message(*checker), "You already have the latest version (" + ProductInfo::version() + ").");
    EXPECT_FALSE(checker->available());

    serveFeed(running - 1);
    checker->clearLocalizedMessage();
    runCheck(*checker, true);
    EXPECT_EQ(message(*checker), "You already have the latest version (" + ProductInfo::version() + ").");
}

TEST_F(Updates, StatusesOtherThan200AreBadResponses)
{
    auto checker = makeChecker();
    for (int status : {304, 500, 404, 201}) {
        server.respond(status, status == 304 ? QByteArray() : test::signedFeed(test::sampleFeed(running + 1), keys));
        runCheck(*checker, true);
        EXPECT_EQ(message(*checker), "Could not check for updates: The update server sent an unexpected response.")
            << status;
        EXPECT_FALSE(checker->available());
    }
}

TEST_F(Updates, AFailedAutomaticCheckShowsNothingAndKeepsTheRelease)
{
    serveFeed(running + 1);
    auto checker = makeChecker();
    runCheck(*checker, false);
    ASSERT_TRUE(checker->available());
    server.respond(500, "oops");
    runCheck(*checker, false);
    EXPECT_FALSE(checker->localizedMessage());
    EXPECT_TRUE(checker->available());
}

TEST_F(Updates, ARefusedConnectionIsTheTransportsError)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    UpdateChecker::Options options;
    options.clock = clock;
    options.store = store;
    options.feedURL = QUrl(QString("http://127.0.0.1:%1/updates/appcast.json").arg(port));
    options.publicKey = keys.publicBase64();
    UpdateChecker checker(options);
    runCheck(checker, true);
    EXPECT_TRUE(message(checker).startsWith("Could not check for updates: ")) << message(checker).toStdString();
    EXPECT_TRUE(message(checker).contains("refused", Qt::CaseInsensitive)) << message(checker).toStdString();
}

TEST_F(Updates, ABodyOverOneMebibyteIsABadResponse)
{
    // A valid feed padded with JSON white space to exactly 1 MiB is read...
    QByteArray body = test::signedFeed(test::sampleFeed(running + 1), keys);
    body += QByteArray(UpdateChecker::maximumFeedSize - body.size(), ' ');
    server.respond(200, body);
    auto checker = makeChecker();
    runCheck(*checker, true);
    EXPECT_TRUE(checker->available());
    EXPECT_FALSE(checker->localizedMessage());

    // ...one byte more is not.
    checker->clearAvailable();
    server.respond(200, body + ' ');
    runCheck(*checker, true);
    EXPECT_FALSE(checker->available());
    EXPECT_EQ(message(*checker), "Could not check for updates: The update server sent an unexpected response.");

    server.respond(200, QByteArray(8 * 1024 * 1024, 'x'));
    checker->clearLocalizedMessage();
    runCheck(*checker, true);
    EXPECT_EQ(message(*checker), "Could not check for updates: The update server sent an unexpected response.");
}

TEST_F(Updates, AServerThatNeverAnswersTimesOut)
{
    server.stayQuiet();
    auto checker = makeChecker(300);
    runCheck(*checker, true);
    EXPECT_EQ(message(*checker), "Could not check for updates: The update server did not answer in time.");
    EXPECT_FALSE(checker->checking());
}

// A server that keeps the transfer alive with one byte now and then is never idle long enough
// for the transfer time-out; the bound on the whole check ends it, and the next check may run.
TEST_F(Updates, AServerThatTricklesTimesOutAsAWhole)
{
    QTcpServer trickler;
    ASSERT_TRUE(trickler.listen(QHostAddress::LocalHost));
    QTimer drip;
    QList<QTcpSocket*> clients;
    QObject::connect(&trickler, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = trickler.nextPendingConnection()) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n");
            clients.append(socket);
        }
    });
    QObject::connect(&drip, &QTimer::timeout, [&] {
        for (QTcpSocket* socket : clients)
            if (socket->state() == QAbstractSocket::ConnectedState) socket->write(" ");
    });
    drip.start(20);

    UpdateChecker::Options options;
    options.clock = clock;
    options.store = store;
    options.transferTimeoutMs = 5000;
    options.checkTimeoutMs = 300;
    options.feedURL = QUrl(QString("http://127.0.0.1:%1/updates/appcast.json").arg(trickler.serverPort()));
    options.publicKey = keys.publicBase64();
    UpdateChecker checker(options);
    runCheck(checker, true);
    EXPECT_EQ(message(checker), "Could not check for updates: The update server did not answer in time.");
    EXPECT_FALSE(checker.checking());
    ASSERT_EQ(clients.size(), 1);

    checker.clearLocalizedMessage();
    runCheck(checker, true);  // a later check is not held up
    EXPECT_EQ(message(checker), "Could not check for updates: The update server did not answer in time.");
    EXPECT_EQ(clients.size(), 2);
}

TEST_F(Updates, AFeedThatFailsVerificationIsReportedToAManualCheck)
{
    server.respond(200, test::signedFeed(test::sampleFeed(running + 1), test::FeedKeys::generate()));
    auto checker = makeChecker();
    runCheck(*checker, true);
    EXPECT_EQ(message(*checker), "Could not check for updates: The update feed's signature could not be verified.");
    EXPECT_FALSE(checker->available());

    server.respond(200, "<html>");
    runCheck(*checker, true);
    EXPECT_TRUE(message(*checker).startsWith("Could not check for updates: The update feed is not JSON ("));
}

TEST_F(Updates, TheLastCheckIsWrittenBeforeTheRequestLeaves)
{
    clock->advance(123.5);
    std::optional<QString> seen;
    server.onRequest = [&](const test::FeedServer::Request&) { seen = store.string(UpdateChecker::lastCheckKey); };
    server.respond(500, "");
    auto checker = makeChecker();
    runCheck(*checker, false);
    ASSERT_TRUE(seen);
    EXPECT_EQ(*seen, iso(clock->currentDateTime()));
    EXPECT_EQ(*seen, "2026-01-01T12:02:03.500Z");
    EXPECT_EQ(checker->lastCheck(), clock->currentDateTime());
}

TEST_F(Updates, ASecondCheckWhileOneRunsDoesNothing)
{
    server.stayQuiet();
    auto checker = makeChecker(300);
    checker->check(false);
    ASSERT_TRUE(checker->checking());
    checker->check(true);  // a manual check during an automatic one
    waitUntilIdle(*checker);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(checker->localizedMessage());
}

TEST_F(Updates, AutomaticIsStoredOnEveryAssignmentAndReadAtStart)
{
    {
        auto checker = makeChecker();
        EXPECT_TRUE(checker->automatic());  // absent counts as on
        test::SignalCounter spy(checker.get(), &UpdateChecker::automaticChanged);
        checker->setAutomatic(false);
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(store.boolean(UpdateChecker::automaticKey), false);
    }
    EXPECT_FALSE(makeChecker()->automatic());
    store.setString(UpdateChecker::automaticKey, "maybe");
    EXPECT_TRUE(makeChecker()->automatic());
    EXPECT_EQ(server.requests().size(), 0);
}

TEST_F(Updates, ADueCheckNeedsAutomaticAndMoreThanADay)
{
    serveFeed(running);
    auto checker = makeChecker();
    const QDateTime now = clock->currentDateTime();

    setLastCheck(iso(now.addSecs(-86400)));  // exactly a day: not yet
    checker->checkIfDue();
    EXPECT_FALSE(checker->checking());
    EXPECT_EQ(store.string(UpdateChecker::lastCheckKey), iso(now.addSecs(-86400)));  // checkIfDue writes nothing

    setLastCheck(iso(now.addMSecs(-86400001)));
    checker->setAutomatic(false);
    checker->checkIfDue();
    EXPECT_FALSE(checker->checking());

    checker->setAutomatic(true);  // switching on starts no check
    EXPECT_FALSE(checker->checking());
    checker->checkIfDue();
    EXPECT_TRUE(checker->checking());
    waitUntilIdle(*checker);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(store.string(UpdateChecker::lastCheckKey), iso(now));

    // Manual checks work while automatic is off.
    checker->setAutomatic(false);
    runCheck(*checker, true);
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(Updates, AnAbsentOrUnreadableLastCheckIsTheDistantPast)
{
    serveFeed(running);
    auto checker = makeChecker();
    for (const QString& text : {QString(), QString("yesterday"), QString("2026-01-01T11:00:00"), QString("")}) {
        if (text.isNull())
            store.remove(UpdateChecker::lastCheckKey);
        else
            setLastCheck(text);
        EXPECT_FALSE(checker->lastCheck());
        checker->checkIfDue();
        EXPECT_TRUE(checker->checking()) << text.toStdString();
        waitUntilIdle(*checker);
    }
    // An offset is as good as Z.
    setLastCheck("2026-01-01T13:00:00+02:00");
    EXPECT_EQ(checker->lastCheck(), clock->currentDateTime().addSecs(-3600));
}

TEST_F(Updates, AFutureLastCheckWaitsUntilADayAfterIt)
{
    serveFeed(running);
    auto checker = makeChecker();
    const QDateTime future = clock->currentDateTime().addDays(3);
    setLastCheck(iso(future));
    checker->checkIfDue();
    EXPECT_FALSE(checker->checking());
    clock->setDateTime(future.addSecs(86400));
    checker->checkIfDue();
    EXPECT_FALSE(checker->checking());
    clock->setDateTime(future.addSecs(86401));
    checker->checkIfDue();
    EXPECT_TRUE(checker->checking());
    waitUntilIdle(*checker);
}

TEST_F(Updates, TheHourlyTimerChecksWhenDue)
{
    serveFeed(running);
    setLastCheck(iso(clock->currentDateTime().addSecs(-86400 + 1800)));
    auto checker = makeChecker();
    EXPECT_FALSE(checker->checking());  // creation checks nothing
    clock->advance(1799);
    EXPECT_FALSE(checker->checking());
    clock->advance(1801);  // the first tick, an hour after creation
    EXPECT_TRUE(checker->checking());
    waitUntilIdle(*checker);
    EXPECT_EQ(server.requests().size(), 1);

    clock->advance(3600 * 24);  // ticks; the last one finds exactly a day, not more
    EXPECT_FALSE(checker->checking());
    clock->advance(3600);
    EXPECT_TRUE(checker->checking());
    waitUntilIdle(*checker);

    checker->setAutomatic(false);
    clock->advance(3600 * 50);
    EXPECT_FALSE(checker->checking());
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(Updates, AFailedSettingsWriteIsReported)
{
    // A plain file where the settings folder belongs: the store cannot be written.
    QFile blocker(home.path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const UserDefaults broken(home.path() + "/blocked/Quorel.conf");
    serveFeed(running);
    auto checker = makeChecker(15000, broken);

    checker->setAutomatic(false);
    EXPECT_EQ(message(*checker), "Could not save the settings file " + broken.filePath() + ".");
    EXPECT_FALSE(checker->automatic());

    checker->clearLocalizedMessage();
    checker->setAutomatic(true);
    checker->clearLocalizedMessage();
    runCheck(*checker, false);  // the date could not be stored: said, and the check still runs
    EXPECT_EQ(message(*checker), "Could not save the settings file " + broken.filePath() + ".");
    EXPECT_EQ(server.requests().size(), 1);

    // The unsaved date still counts: the next ticks do not check again at once.
    clock->advance(3600 * 3);
    EXPECT_FALSE(checker->checking());
    EXPECT_EQ(server.requests().size(), 1);
    clock->advance(3600 * 22);
    EXPECT_TRUE(checker->checking());
    waitUntilIdle(*checker);
}
