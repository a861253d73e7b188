#include "SoundServerRestart.h"

#include "L10n.h"

#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace quorel {

QStringList SoundServerRestart::arguments()
{
    return {QStringLiteral("--user"), QStringLiteral("restart"), QStringLiteral("pipewire"),
            QStringLiteral("pipewire-pulse"), QStringLiteral("wireplumber")};
}

void SoundServerRestart::run(QObject* context, Done done, int timeoutMS)
{
    auto* process = new QProcess(context);
    auto* giveUp = new QTimer(process);
    auto reported = std::make_shared<bool>(false);
    auto report = [process, reported, done](std::optional<QString> failure) {
        if (*reported) return;
        *reported = true;
        process->disconnect();
        if (process->state() != QProcess::NotRunning) {
            // Given up: killed, which ends it at once.
            process->kill();
            process->waitForFinished(1000);
        }
        process->deleteLater();
        done(std::move(failure));
    };
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, context, [process, report](int code, QProcess::ExitStatus status) {
        const QString error = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
        if (status == QProcess::NormalExit && code == 0) {
            report(std::nullopt);
        } else if (!error.isEmpty()) {
            report(error);
        } else if (status == QProcess::CrashExit) {
            report(process->errorString());
        } else {
            report(L10n::render("{0} ended with status {1}.", {program(), QString::number(code)}, L10n::language()));
        }
    });
    QObject::connect(process, &QProcess::errorOccurred, context, [process, report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) report(process->errorString());
    });
    giveUp->setSingleShot(true);
    QObject::connect(giveUp, &QTimer::timeout, context, [report, timeoutMS] {
        report(L10n::render("{0} did not finish within {1} s.", {program(), QString::number(timeoutMS / 1000)},
                            L10n::language()));
    });
    giveUp->start(timeoutMS);
    process->start(program(), arguments());
}

std::optional<QStringList> SoundSettings::command()
{
    const QList<QStringList> candidates{{QStringLiteral("gnome-control-center"), QStringLiteral("sound")},
                                        {QStringLiteral("systemsettings"), QStringLiteral("kcm_pulseaudio")},
                                        {QStringLiteral("pavucontrol")}};
    for (const QStringList& candidate : candidates) {
        const QString path = QStandardPaths::findExecutable(candidate.first());
        if (!path.isEmpty()) return QStringList{path} + candidate.mid(1);
    }
    return std::nullopt;
}

bool SoundSettings::open()
{
    const std::optional<QStringList> line = command();
    if (!line) return false;
    return QProcess::startDetached(line->first(), line->mid(1));
}

}  // namespace quorel
