#include "DiagnosticOutput.h"
#include "Subcommand.h"
#include "UserFile.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace quorel::tool {

namespace {
std::vector<Subcommand>& registry()
{
    static std::vector<Subcommand> commands;
    return commands;
}
}  // namespace

Registration::Registration(Subcommand command) { registry().push_back(std::move(command)); }

const std::vector<Subcommand>& subcommands() { return registry(); }

void printJson(const QJsonObject& object)
{
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printJson(const QJsonArray& array)
{
    const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Compact);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const QString& message)
{
    const QByteArray text = message.toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fputc('\n', stderr);
    return 1;
}

}  // namespace quorel::tool

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Quorel");
    QCoreApplication::setApplicationName("Quorel");
    // Arguments are taken as bytes, so a file name that is not UTF-8 still names its file.
    QStringList args;
    for (int i = 1; i < argc; ++i) args.append(quorel::UserFile::decodeName(QByteArray(argv[i])));
    // Standard output holds the commands' JSON and nothing else.
    quorel::diagnosticOutput::useStandardError();
    using namespace quorel::tool;
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
        std::FILE* out = args.isEmpty() ? stderr : stdout;
        std::fputs("usage: quorel-tool <command> [options]\n", out);
        for (const Subcommand& c : subcommands()) std::fprintf(out, "  %s\n", c.usage);
        std::fputs("Results are printed as JSON on standard output, messages on standard error. The\n"
                   "diagnostic lines of QUOREL_LATENCY_DEBUG=1 and QUOREL_SPECTRUM_DEBUG=1 go to\n"
                   "standard error too, so standard output stays JSON.\n",
                   out);
        return args.isEmpty() ? 1 : 0;
    }
    const QString name = args.takeFirst();
    for (const Subcommand& c : subcommands())
        if (name == QLatin1String(c.name)) return c.run(args);
    return fail(QStringLiteral("Unknown command: %1").arg(name));
}
