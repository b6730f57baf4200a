// talmira-cli schedule [--now UNIXSECONDS] FILE|-: when the session of an SDP
// text takes place, as one JSON line: its next start (Unix seconds and local
// time), whether it falls into each of the list's periods, the verdict and the
// wording of the "Schedule" page.
#include "base/Clock.h"
#include "base/Random.h"
#include "cli/CliCommon.h"
#include "directory/qt/RecordJson.h"
#include "directory/SessionListRules.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"

#include <QJsonObject>

static int RunSchedule(const QStringList& argv)
{
    CCliArgs args(argv, {"--now"}, {});
    CSystemClock clock;
    const auto now = args.Number("--now", clock.Now(), 0, 0xFFFFFFFFLL);
    if (!args.ok() || !now)
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail("usage: talmira-cli schedule [--now UNIXSECONDS] FILE|-");
    QString error;
    auto text = ReadInputFile(args.Positionals()[0], &error);
    if (!text)
        return CliFail(error);
    CSystemRandom random;
    CSdpEnvironment env{clock, random, nullptr};
    auto record = CSDPObject::FromText(*text, env);

    const int64_t next = NextStart(*record, *now);
    QJsonObject periods;
    periods.insert("now", IsInPeriod(*record, kPeriodNow, *now, clock));
    periods.insert("today", IsInPeriod(*record, kPeriodToday, *now, clock));
    periods.insert("thisWeek", IsInPeriod(*record, kPeriodThisWeek, *now, clock));
    periods.insert("thisMonth", IsInPeriod(*record, kPeriodThisMonth, *now, clock));
    const CScheduleDescription description = DescribeSchedule(*record, *now, clock);

    QJsonObject line;
    line.insert("now", static_cast<qint64>(*now));
    line.insert("nextStart", static_cast<qint64>(next));
    // As the session list's Start column shows it.
    line.insert("nextStartLocal", TextToJson(listrules::StartText(next, clock)));
    line.insert("inPeriod", periods);
    line.insert("status", VerdictText(description.active));
    line.insert("description", TextToJson(description.text));
    PrintJsonLine(line);
    return 0;
}

static CCliRegistration registerSchedule("schedule", {"schedule [--now UNIXSECONDS] FILE|-", RunSchedule});
