#include "directory/qt/RecordJson.h"
#include "sdp/SDPObject.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

namespace {

std::string Compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// Every field has a value of its own, so a field shown under another's name shows.
TEST(RecordJson, EveryFieldUnderItsName)
{
    CTestEnv t;
    auto record = t.Parse("v=0\no=alice 2890844526 2890842807 IN IP4 10.47.16.5\ns=Caf\xe9\ni=About\n"
                          "u=http://example.org/x\ne=a@example.org\np=+1 617\nc=IN IP4 224.2.17.12/127\n"
                          "b=CT:128\nt=3034423619 3042462419\nr=7d 1h 0 25h\nk=clear:pw\na=recvonly\n"
                          "m=audio 49170/2 RTP/AVP 0 96\ni=voice\nc=IN IP4 224.2.17.13/15/3\nb=AS:64\nk=prompt\n"
                          "a=rtpmap:96 L8/8000\n");
    record->own = 1;
    record->extras.Edit().bandwidthValue = "bv";
    record->extras.Edit().keyValue = "kv";
    record->media[0].extras.Edit().bandwidthValue = "mbv";
    record->media[0].extras.Edit().keyValue = "mkv";
    record->media[0].extras.Edit().toolChoice = "player";
    EXPECT_EQ(Compact(RecordToJson(*record)),
              R"({"attributes":["recvonly"],"bandwidth":{"modifier":"CT:128","value":"bv"},"clock":{},)"
              R"("connection":{"address":"224.2.17.12/127","address_type":"IP4","network_type":"IN"},)"
              R"("email":"a@example.org","format":{},"information":"About","key":{"method":"clear:pw","value":"kv"},)"
              R"("media":[{"address":"224.2.17.13","address_count":3,"attributes":["rtpmap:96 L8/8000"],)"
              R"("bandwidth":{"modifier":"AS:64","value":"mbv"},"clock":{},)"
              R"("connection":{"address":"224.2.17.13/15/3","address_type":"IP4","network_type":"IN"},)"
              R"("format":{"channels":1,"encoding":"PCMU","rate":8000},"format_list":"0 96",)"
              R"("information":"voice","key":{"method":"prompt","value":"mkv"},"media":"audio",)"
              R"("payloads":[{"name":"PCMU","number":0},{"name":"L8","number":96}],"port":"49170/2","protocol":"RTP/AVP",)"
              R"("remarks":[],"tool_choice":"player","ttl":15}],)"
              "\"name\":\"Caf\xc3\xa9\"," // not UTF-8: read as Latin-1
              R"("origin":{"address":"10.47.16.5","address_type":"IP4","network_type":"IN",)"
              R"("session_id":"2890844526","user":"alice","version":"2890842807"},)"
              R"("own":true,"phone":"+1 617","remarks":[],"session_type":3,"source_length":309,)"
              R"("times":[{"active_duration":"3600","offset":"0","repeat_interval":"604800",)"
              R"("start":"3034423619","stop":"3042462419"}],"uri":"http://example.org/x","version":0})");
}

// Beside the fields above: the directory's SAP address, and UTF-8 text kept as it is.
TEST(RecordJson, DirectoryCarriesItsSapAddress)
{
    CTestEnv t;
    auto record = t.Parse("v=0\no=- 12345 1 IN IP4 127.0.0.1\ns=Gr\xc3\xbc\xc3\x9f\x65\nc=IN IP4 224.2.165.3/127\n"
                          "m=directory 9876 SAP/SDP 14\nc=IN IP4 224.2.127.253/31");
    const QJsonObject json = RecordToJson(*record);
    EXPECT_EQ(Compact(json["directory"].toObject()), R"({"group":"224.2.127.253","port":9876,"ttl":31})");
    EXPECT_EQ(json["name"].toString().toStdString(), "Gr\xc3\xbc\xc3\x9f" "e");
    EXPECT_EQ(json["own"], false);

    // A studio session's clock, format and remarks, per entry and for the session.
    for (const char* sample : {"st2110-20.sdp", "dante-aes67.sdp"}) {
        const QJsonObject s = RecordToJson(*t.Parse(ReadTestFile(std::string(TALMIRA_SAMPLES "/") + sample)));
        const QJsonObject m = s["media"].toArray()[0].toObject();
        EXPECT_EQ(Compact(m["clock"].toObject()) + Compact(m["format"].toObject()) + Compact(s["remarks"].toArray()[1].toObject()),
                  sample[0] == 's'
                      ? R"({"mediaclk":{"direct":0,"mode":"direct"},"ptp":{"domain":37,"gmid":"39-A7-94-FF-FE-07-CB-D0",)"
                        R"("version":"IEEE1588-2008"}}{"depth":"10","encoding":"raw","height":720,"interlace":true,)"
                        R"("rate":"60000/1001","sampling":"YCbCr-4:2:2","standard":"2110-20","width":1280})"
                        R"({"code":"st2110-21-sender-type","media":1,"text":"ST 2110-21 (sender types): no TP= in the a=fmtp )"
                        R"x(names the sender type (2110TPN, 2110TPNL or 2110TPW)"})x"
                      : R"({}{"channels":2,"encoding":"L24","ptime_ms":1,"rate":48000})"
                        R"({"code":"aes67-mediaclk","media":0,"text":"AES67 8 (stream description): no a=mediaclk gives )"
                        R"(the media clock"})");
    }
}

} // namespace
