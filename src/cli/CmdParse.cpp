// talmira-cli parse [--write] FILE|-: the record made from an SDP text, as
// JSON, or with --write the record written back as SDP text.
#include "base/Clock.h"
#include "base/Random.h"
#include "cli/CliCommon.h"
#include "directory/qt/RecordJson.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

#include <cstdio>

static int RunParse(const QStringList& argv)
{
    CCliArgs args(argv, {}, {"--write"});
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail("usage: talmira-cli parse [--write] FILE|-");
    QString error;
    auto text = ReadInputFile(args.Positionals()[0], &error);
    if (!text)
        return CliFail(error);
    CCliEnvironment cli;
    const CSdpEnvironment& env = cli.env;
    auto record = CSDPObject::FromText(*text, env);
    if (args.Has("--write")) {
        std::string sdp;
        record->WriteSdp(sdp);
        std::fwrite(sdp.data(), 1, sdp.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    PrintJsonLine(RecordToJson(*record));
    return 0;
}

static CCliRegistration registerParse("parse", {"parse [--write] FILE|-", RunParse});
