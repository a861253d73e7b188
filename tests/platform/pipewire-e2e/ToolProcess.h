#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <functional>
#include <optional>

namespace quorel::test {

// quorel-tool run as a child process, its standard output read as JSON lines.
class ToolProcess {
public:
    static QString program();

    void start(const QStringList& arguments);
    // The next line (already read or arriving within the time-out, scaled) that satisfies `match`.
    std::optional<QJsonObject> waitForLine(const std::function<bool(const QJsonObject&)>& match, int timeoutMS = 10000);
    // Waits (scaled) for the process to end; its exit code, or -1 when it did not end or crashed.
    int finish(int timeoutMS = 15000);
    // All the tool wrote to standard error so far (a failure message that shows it takes nothing
    // from a later check).
    QString errorText();
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QString errors_;
    QByteArray pending_;
    std::vector<QJsonObject> lines_;
    size_t next_ = 0;
};

}  // namespace quorel::test
