// talmira-cli announce FILE.sdp: one own session, sent at once on its
// directory's SAP group, re-sent every announcement interval, withdrawn
// with a deletion when the command ends.
#include "app/CommandLine.h"
#include "app/ConsolePrompter.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "cli/CliCommon.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"

#include <QCoreApplication>

#include <cstdio>

static std::shared_ptr<CSDPObject> TopLevelDirectoryNamed(CSessionStore& doc, const std::string& name)
{
    for (const auto& record : doc.MainList())
        if (IsDirectoryType(record->sessionType) && record->name == name)
            return record;
    return nullptr;
}

static int RunAnnounce(const QStringList& argv)
{
    CCliArgs args(argv, {"--directory", "--ttl", "--seconds"}, {});
    const auto ttl = args.Number("--ttl", 15, 1, 255);
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail("usage: talmira-cli announce FILE.sdp [--directory NAME] [--ttl N] [--seconds N]");
    QString error;
    auto text = ReadInputFile(args.Positionals()[0], &error);
    if (!text)
        return CliFail(error);

    CStderrPrompter prompter;
    CProcessExit exit;
    CTalmiraRuntime runtime({prompter, exit});
    // Announcing runs beside the listener: its cache and tmp/ stay its own.
    if (!runtime.Start(CCommandLine(), EInstallRole::Guest))
        return 1;
    CSessionStore& doc = runtime.Doc();
    const std::string dirName = args.Value("--directory", "TTL Scope").toStdString();
    auto directory = TopLevelDirectoryNamed(doc, dirName);
    if (!directory)
        return CliFail(QString("no directory named '%1'").arg(QString::fromStdString(dirName)));

    auto session = CSDPObject::FromText(*text, runtime.Environment());
    if (session->originSessionId.empty())
        return CliFail("the SDP text has no origin session id (o= line)");
    session->own = 1;
    session->announceTtl = static_cast<int>(*ttl);
    session->parentDirectory = directory;
    if (const CSessionStore::CSendSize send = CSessionStore::SendSizeOf(*session); !send.Fits())
        return CliFail(QString("the announcement is %1 bytes long; at most %2 bytes can be sent").arg(send.size).arg(send.limit));
    doc.AddSession(session, directory);
    std::fprintf(stderr, "talmira-cli: announcing '%s' (%s) in %s\n", session->name.c_str(),
                 session->originSessionId.c_str(), dirName.c_str());

    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    runtime.StartWalk();
    QCoreApplication::exec();
    // Withdrawn only while still ours (the walk removes it at its end time).
    if (auto stored = directory->links->children ? directory->links->children->Find(*session) : nullptr; stored && stored->own)
        doc.RemoveSession(stored);
    return runtime.Close() ? 0 : 1;
}

static CCliRegistration registerAnnounce(
    "announce", {"announce FILE.sdp [--directory NAME] [--ttl N] [--seconds N]", RunAnnounce});
