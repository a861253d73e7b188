#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace quorel::test {

// One run of quorel-tool with its arguments given as bytes (a file name that is not UTF-8
// cannot pass through QProcess), its settings store under `configHome`, and what the kernel
// counted for it.
struct RawToolRun {
    int exitCode = -1;
    bool finished = false;  // false: it was still running at the time-out and was killed
    QByteArray out;
    QByteArray err;
    long peakKiB = 0;  // the child's peak resident memory
};

RawToolRun runToolRaw(const std::vector<QByteArray>& arguments, const QString& configHome, int timeoutSeconds = 60);

}  // namespace quorel::test
