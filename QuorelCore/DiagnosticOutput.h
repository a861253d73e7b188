#pragma once

#include <QString>

namespace quorel::diagnosticOutput {

// The lines asked for with QUOREL_LATENCY_DEBUG and QUOREL_SPECTRUM_DEBUG go to standard
// output. A program that keeps standard output for its own results (quorel-tool and its JSON)
// sends them to standard error instead, once at start-up.
void useStandardError();

// Writes `line` and a line break to the diagnostic stream and flushes it.
void printLine(const QString& line);

}  // namespace quorel::diagnosticOutput
