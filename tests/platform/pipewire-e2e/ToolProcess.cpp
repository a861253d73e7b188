#include "ToolProcess.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QJsonDocument>

namespace quorel::test {

QString ToolProcess::program() { return quorel::test::buildPath("tools/quorel-tool"); }

void ToolProcess::start(const QStringList& arguments)
{
    process_.start(program(), arguments);
    process_.waitForStarted();
}

std::optional<QJsonObject> ToolProcess::waitForLine(const std::function<bool(const QJsonObject&)>& match, int timeoutMS)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        pending_ += process_.readAllStandardOutput();
        int end;
        while ((end = int(pending_.indexOf('\n'))) >= 0) {
            lines_.push_back(QJsonDocument::fromJson(pending_.left(end)).object());
            pending_.remove(0, end + 1);
        }
        while (next_ < lines_.size()) {
            const QJsonObject& line = lines_[next_++];
            if (match(line)) return line;
        }
        if (timer.elapsed() > scaledWait(timeoutMS)) return std::nullopt;
        if (process_.state() == QProcess::NotRunning && process_.bytesAvailable() == 0) return std::nullopt;
        process_.waitForReadyRead(100);
    }
}

int ToolProcess::finish(int timeoutMS)
{
    if (!process_.waitForFinished(scaledWait(timeoutMS)) && process_.state() != QProcess::NotRunning) return -1;
    if (process_.exitStatus() != QProcess::NormalExit) return -1;
    return process_.exitCode();
}

QString ToolProcess::errorText()
{
    errors_ += QString::fromUtf8(process_.readAllStandardError());
    return errors_.trimmed();
}

}  // namespace quorel::test
