// talmira-cli decode [--keys FILE] DATAGRAM-FILE...: one JSON line per datagram file.
#include "base/Clock.h"
#include "base/Random.h"
#include "cli/CliCommon.h"
#include "cli/SapJson.h"
#include "sap/EncryptionGroups.h"
#include "sdp/UsedAddresses.h"

static int RunDecode(const QStringList& argv)
{
    CCliArgs args(argv, {"--keys"}, {});
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().isEmpty())
        return CliFail("usage: talmira-cli decode [--keys FILE] DATAGRAM-FILE...");
    CEncryptionGroups groups;
    QString error;
    if (args.Has("--keys") && !LoadKeyFile(args.Value("--keys"), groups, &error))
        return CliFail(error);
    CCliEnvironment cli;
    const CSdpEnvironment& env = cli.env;
    for (const QString& file : args.Positionals()) {
        auto bytes = ReadInputFile(file, &error);
        if (!bytes)
            return CliFail(error);
        const CSapMessage message = DecodeSapDatagram(*bytes, groups, env);
        QJsonObject line = SapMessageToJson(message);
        line.insert("file", file);
        PrintJsonLine(line);
    }
    return 0;
}

static CCliRegistration registerDecode("decode", {"decode [--keys FILE] DATAGRAM-FILE...", RunDecode});
