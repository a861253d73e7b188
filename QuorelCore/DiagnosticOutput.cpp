#include "DiagnosticOutput.h"

#include <atomic>
#include <cstdio>

namespace quorel::diagnosticOutput {

namespace {
std::atomic<bool> toStandardError{false};
}  // namespace

void useStandardError() { toStandardError = true; }

void printLine(const QString& line)
{
    std::FILE* stream = toStandardError ? stderr : stdout;
    const QByteArray text = line.toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace quorel::diagnosticOutput
