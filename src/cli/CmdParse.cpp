// talmira-cli parse FILE|-: the record made from an SDP text, as JSON.
#include "base/Clock.h"
#include "base/Random.h"
#include "cli/CliCommon.h"
#include "cli/RecordJson.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

static int RunParse(const QStringList& argv)
{
    CCliArgs args(argv, {}, {});
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail("usage: talmira-cli parse FILE|-");
    QString error;
    auto text = ReadInputFile(args.Positionals()[0], &error);
    if (!text)
        return CliFail(error);
    CSystemClock clock;
    CSystemRandom random;
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
    PrintJsonLine(RecordToJson(*CSDPObject::FromText(*text, env)));
    return 0;
}

static CCliRegistration registerParse("parse", {"parse FILE|-", RunParse});
