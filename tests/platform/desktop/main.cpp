#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

// The test executable doubles as a second launch and as an instance that holds the name, so
// the single-instance tests can run them as processes of their own.
int runChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(2);
    if (std::strcmp(argv[1], "--second-launch") == 0) {
        quorel::SingleInstance instance;
        if (instance.claim() != quorel::SingleInstance::Role::Secondary) return 3;
        if (instance.handOff(quorel::SingleInstance::urisFromArguments(arguments, QDir::currentPath()))) return 0;
        std::fprintf(stderr, "%s\n", qPrintable(instance.errorMessage()));
        return 1;
    }
    quorel::SingleInstance instance;
    if (instance.claim() != quorel::SingleInstance::Role::Primary) return 3;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--second-launch") == 0 || std::strcmp(argv[1], "--hold-name") == 0)) {
        return runChild(argc, argv);
    }
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
