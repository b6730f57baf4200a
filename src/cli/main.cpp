// talmira-cli: the headless front end of Talmira.
#include "app/CommandLine.h"
#include "base/ProcessLimits.h"
#include "cli/CliCommon.h"

#include <QCoreApplication>

#include <cstdio>

static void PrintUsage(FILE* out)
{
    std::fprintf(out, "usage: talmira-cli COMMAND [ARGS...]\n"
                      "       talmira-cli --help | --version\n\ncommands:\n");
    for (const auto& [name, command] : CliCommands())
        std::fprintf(out, "  %s\n", command.usage.toLocal8Bit().constData());
    std::fprintf(out, "\noptions:\n"
                      "  --help      print this help and exit\n"
                      "  --version   print the version and exit\n");
}

int main(int argc, char** argv)
{
    RaiseOpenFileLimit();
    KeepRawArguments(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("talmira-cli");
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        PrintUsage(stderr);
        return 2;
    }
    const QString name = args.takeFirst();
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::fputs(CCommandLine::VersionLine().c_str(), stdout);
        return 0;
    }
    auto it = CliCommands().find(name);
    if (it == CliCommands().end())
        return CliFail(QString("unknown command '%1' (try --help)").arg(name));
    if (args.contains("--help")) {
        std::printf("usage: talmira-cli %s\n", it->second.usage.toLocal8Bit().constData());
        if (!it->second.help.isEmpty())
            std::printf("\n%s", it->second.help.toLocal8Bit().constData());
        return 0;
    }
    return it->second.run(args);
}
