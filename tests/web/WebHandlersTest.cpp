#include "WebFixture.h"

#include "directory/qt/RecordJson.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QJsonValue>

using Texts = std::vector<std::string>;
using Params = std::multimap<std::string, std::string>;

// The page's rows come from the same rules as the window's list: for every
// ordering, search and time filter, the API gives the rows the window's
// sorted list shows, in the same order.
TEST_F(WebTest, RowsAreTheWindowsRows)
{
    CSessionListModel list(doc);
    CSessionSortFilter sorted(list);
    views.Attach(list);
    const int64_t now = t.clock.Now();
    Add(Timed("1", "beta", 0, 0, "i=Zulu news\n"));
    Add(Timed("2", "Alpha", now + 3600, now + 7200, "i=alpha talk\n"));
    Add(Timed("3", "alpha", now + 86400 * 3, now + 86400 * 3 + 60, "", "239.9.9.9"));
    Add(Timed("4", "Gamma", now - 7200, now - 3600, "i=over\n"));
    Add(Timed("5", "beta", now - 60, now + 60, "i=Yankee\n"));
    Add(Timed("6", "delta \xe4\xf6", 0, 0, "i=Latin-1 bytes\n"));
    const std::pair<const char*, int> filters[] = {{"current", 1}, {"today", 2}, {"week", 3}, {"month", 4}, {"all", 5}};
    const char* sorts[] = {"", "name", "info", "start", "type", "-name", "-info", "-start", "-type", "media", "-media"};
    for (const auto& [word, mode] : filters)
        for (int sort = 1; sort <= 10; ++sort)
            for (const char* search : {"", "ALPHA", "239.9", "e", "\xc3\xa4"}) {
                list.SetFilterMode(mode);
                sorted.SetSortMode(sort);
                sorted.SetSearchText(QString::fromUtf8(search));
                list.ApplyPending();
                Texts window;
                for (int row = 0; row < sorted.rowCount(); ++row)
                    window.push_back(sorted.index(row, 0).data().toString().toStdString());
                EXPECT_EQ(Texts(Names("main", {{"filter", word}, {"sort", sorts[sort]}, {"search", search}})), window)
                    << word << " " << sorts[sort] << " '" << search << "'";
            }
    views.Detach(list);
}

TEST_F(WebTest, BadQueriesAreRefusedWithTheirReason)
{
    publisher.Flush();
    const Params bad[] = {{{"filter", "yesterday"}}, {{"sort", "size"}}, {{"sort", "--name"}}, {{"limit", "5001"}},
                          {{"limit", "-1"}}, {{"offset", "x"}}, {{"limit", "10 "}}, {{"search", std::string(201, 'a')}}};
    for (const Params& p : bad) {
        const CWebResponse r = Get("/api/v1/directories/main/sessions", p);
        EXPECT_EQ(r.status, 400) << p.begin()->first << "=" << p.begin()->second;
        EXPECT_FALSE(Json(r)["error"].toString().isEmpty());
    }
    EXPECT_EQ(Get("/api/v1/directories/nope/sessions").status, 404);
    // Work past the request's deadline stops (the client has been cut).
    const auto past = std::chrono::steady_clock::now();
    for (int i = 0; i < 1100; ++i)
        Add(Timed(std::to_string(i), "S"));
    publisher.Flush();
    EXPECT_EQ(handlers.Handle({"/api/v1/directories/main/sessions", {{"search", "s"}}, "", past}).status, 503);
    EXPECT_EQ(Get("/api/v1/sessions/0123456789abcdef").status, 404);
    EXPECT_EQ(Get("/api/v1/sessions/0123456789abcdef.sdp").status, 404);
    EXPECT_EQ(Get("/api/v1/playlist.m3u", {{"session", "nope"}}).status, 404);
    EXPECT_EQ(Get("/api/v2/directories").status, 404);
    EXPECT_EQ(Get("/../etc/passwd").status, 404);
}

// One session: the record as `listen --json` prints it, the schedule in
// words, and the SDP as the writer writes it.
TEST_F(WebTest, OneSessionIsTheListenJsonAndTheWritersText)
{
    const int64_t now = t.clock.Now();
    auto r = Add(Timed("77", "Evening <b>news</b>", now + 3600, now + 7200, "i=Line\\none\n"));
    const std::string id = IdOf("main", "Evening <b>news</b>");
    ASSERT_EQ(id.size(), 16u);
    const CWebResponse one = Get("/api/v1/sessions/" + id);
    ASSERT_EQ(one.status, 200);
    EXPECT_EQ(one.contentType, "application/json");
    const QJsonObject o = Json(one);
    EXPECT_EQ(o["record"].toObject(), RecordToJson(*r));
    EXPECT_EQ(o["id"].toString().toStdString(), id);
    EXPECT_EQ(o["directory_id"].toString(), "main");
    EXPECT_TRUE(o["directory"].isNull());
    EXPECT_EQ(o["schedule"].toObject()["status"].toString(), "Inactive");
    EXPECT_FALSE(o["schedule"].toObject()["description"].toString().isEmpty());
    EXPECT_EQ(o["sdp_url"].toString().toStdString(), "/api/v1/sessions/" + id + ".sdp");
    EXPECT_FALSE(o.contains("preview"));
    state.SetLevels({{id, R"([{"media_index":0,"audio":{"silence":true}}])"}}); // while its sound is decoded
    EXPECT_TRUE(Json(Get("/api/v1/sessions/" + id))["preview"].toArray()[0].toObject()["audio"].toObject()["silence"].toBool());

    const CWebResponse sdp = Get("/api/v1/sessions/" + id + ".sdp");
    EXPECT_EQ(sdp.contentType, "application/sdp");
    std::string written;
    r->WriteSdp(written);
    EXPECT_EQ(sdp.body, written);
    EXPECT_NE(sdp.body.find("s=Evening <b>news</b>\r\n"), std::string::npos);
}

TEST_F(WebTest, RowShapeCarriesTheColumnsAndTheGreying)
{
    const int64_t now = t.clock.Now();
    Add(Timed("1", "On now"));
    Add(Timed("2", "Later", now + 3600, now + 7200));
    publisher.Flush();
    const QJsonArray rows = Json(Get("/api/v1/directories/main/sessions"))["sessions"].toArray();
    ASSERT_EQ(rows.size(), 2);
    // The rows' keys, and the cells of a session that is on: web_api_check.py.
    const QJsonObject later = rows[0].toObject(), on = rows[1].toObject();
    EXPECT_FALSE(later["active"].toBool());
    EXPECT_TRUE(on["active"].toBool());
    EXPECT_EQ(later["next_start"].toInteger(), now + 3600);
    // Pages in the list's middle: web_page_large_check.py; past its end, none.
    EXPECT_TRUE(Json(Get("/api/v1/directories/main/sessions", {{"offset", "40"}}))["sessions"].toArray().isEmpty());

    const QJsonObject columns = Json(Get("/api/v1/columns"));
    QStringList titles;
    for (const auto& c : columns["columns"].toArray())
        titles << c.toObject()["title"].toString();
    EXPECT_EQ(titles, QStringList({"Session", "Info", "Start", "Type", "Media"}));
    EXPECT_EQ(columns["filters"].toArray().size(), 5);
}

// Names from the network are shown as the window shows them: a line end or
// a direction override cannot break a row or a playlist entry.
TEST_F(WebTest, NetworkTextsCannotBreakRowsOrPlaylistLines)
{
    Add(Timed("1", "two\x0blines\xe2\x80\xae" "exe.png"));
    publisher.Flush();
    const QJsonObject row = Json(Get("/api/v1/directories/main/sessions"))["sessions"].toArray()[0].toObject();
    EXPECT_EQ(row["name"].toString(), "two linesexe.png");
    const CWebResponse m3u = Get("/api/v1/playlist.m3u");
    EXPECT_EQ(m3u.contentType, "audio/x-mpegurl");
    const std::string id = row["id"].toString().toStdString();
    EXPECT_EQ(m3u.body, "#EXTM3U\n#EXTINF:-1,two linesexe.png\nhttp://example.org:8086/api/v1/sessions/" + id + ".sdp\n");
}

TEST_F(WebTest, PlaylistHasEverySessionButNoDirectoriesAndAHostItCanTrust)
{
    auto dir = Folder("9", "224.2.200.1");
    Add(Timed("1", "Top"));
    Add(Timed("2", "Inner"), dir);
    publisher.Flush();
    const std::string body = Get("/api/v1/playlist.m3u").body;
    EXPECT_NE(body.find(",Top\n"), std::string::npos);
    EXPECT_NE(body.find(",Inner\n"), std::string::npos);
    EXPECT_EQ(body.find("Dir 9"), std::string::npos);
    // Written in pieces as the client reads: never held whole.
    EXPECT_TRUE(handlers.Handle({"/api/v1/playlist.m3u", {}, ""}).more);
    const CWebResponse one = Get("/api/v1/playlist.m3u", {{"session", IdOf("main", "Top")}});
    EXPECT_EQ(std::count(one.body.begin(), one.body.end(), '\n'), 3);
    for (const char* host : {"evil.org\r\nX: y", "a b", "x/y", ""})
        EXPECT_EQ(SafeHost(host, "127.0.0.1"), "127.0.0.1") << host;
    EXPECT_EQ(SafeHost("[::1]:8086", "-"), "[::1]:8086");
}

TEST_F(WebTest, DirectoriesFormATreeWithTheirCounts)
{
    auto outer = Folder("9", "224.2.200.1");
    auto inner = Folder("8", "224.2.200.2", outer);
    Add(Timed("1", "deep"), inner);
    Add(Timed("2", "deeper"), inner);
    publisher.Flush();
    const QJsonArray dirs = Json(Get("/api/v1/directories"))["directories"].toArray();
    ASSERT_EQ(dirs.size(), 3);
    EXPECT_EQ(dirs[0].toObject()["id"].toString(), "main");
    EXPECT_TRUE(dirs[0].toObject()["parent"].isNull());
    EXPECT_EQ(dirs[1].toObject()["name"].toString(), "Dir 9");
    EXPECT_EQ(dirs[2].toObject()["parent"], dirs[1].toObject()["id"]);
    EXPECT_EQ(dirs[2].toObject()["sessions"].toInt(), 2);
    EXPECT_EQ(Names(dirs[2].toObject()["id"].toString().toStdString()), Texts({"deep", "deeper"}));
}

// Only what the page asks to see is decoded: the mosaic's sessions in view
// (not its directories) and a picture asked for; no id that is not served.
TEST_F(WebTest, LookingIsAskingForTilesOrPictures)
{
    Folder("9", "224.2.200.1");
    for (const char* name : {"a", "b", "c"})
        Add(Timed(name, name));
    publisher.Flush();
    EXPECT_EQ(Get("/api/v1/sessions/nope/picture.jpg").status, 404);
    EXPECT_EQ(Get("/api/v1/directories/main/mosaic", {{"limit", "65"}}).status, 400);
    EXPECT_TRUE(state.Looked().empty());
    const QJsonObject mosaic = Json(Get("/api/v1/directories/main/mosaic", {{"sort", "-name"}, {"limit", "3"}}));
    EXPECT_EQ(mosaic["total"].toInt(), 4);
    Texts tiles;
    for (const auto& t : mosaic["tiles"].toArray())
        tiles.push_back(t.toObject()["session"].toObject()["name"].toString().toStdString());
    EXPECT_EQ(tiles, Texts({"Dir 9", "c", "b"}));
    EXPECT_EQ(Get("/api/v1/sessions/" + IdOf("main", "a") + "/picture.jpg").status, 404); // looked at, not decoded yet
    Texts looked = state.Looked(), want = {IdOf("main", "a"), IdOf("main", "b"), IdOf("main", "c")};
    std::sort(looked.begin(), looked.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(looked, want);
}

TEST_F(WebTest, MetricsCountSessionsPerDirectoryWithEscapedLabels)
{
    auto dir = Folder("9", "224.2.200.1");
    dir->name = "a \"quoted\\\" name";
    Add(Timed("1", "x"), dir);
    publisher.Flush();
    const CWebResponse m = Get("/metrics");
    EXPECT_EQ(m.contentType, "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(m.body.find("talmira_sessions{directory=\"MBone\",id=\"main\"} 1\n"), std::string::npos) << m.body;
    EXPECT_NE(m.body.find("{directory=\"a \\\"quoted\\\\\\\" name\""), std::string::npos) << m.body;
    EXPECT_NE(m.body.find("# TYPE talmira_http_requests_total counter\ntalmira_http_requests_total "), std::string::npos);
}

TEST_F(WebTest, PageFilesComeFromTheProgram)
{
    const CWebAssets embedded = CWebAssets::Embedded();
    EXPECT_NE(embedded.html.find("<script src=\"/app.js\""), std::string::npos);
    EXPECT_EQ(embedded.html.find("<script>"), std::string::npos) << "inline script would be refused";
    for (const std::string* text : {&embedded.html, &embedded.css, &embedded.js}) {
        EXPECT_FALSE(text->empty());
        EXPECT_EQ(text->find("http://"), std::string::npos);
        EXPECT_EQ(text->find("https://"), std::string::npos);
    }
    EXPECT_EQ(embedded.js.find("innerHTML"), std::string::npos);
    EXPECT_EQ(embedded.js.find("insertAdjacentHTML"), std::string::npos);
    EXPECT_EQ(embedded.js.find("eval("), std::string::npos);
    EXPECT_EQ(Get("/").contentType, "text/html; charset=utf-8");
    EXPECT_EQ(Get("/app.js").contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(Get("/favicon.ico").status, 204);
}

TEST_F(WebTest, MetricsShowTheWireCountsWhenThereAreAny)
{
    EXPECT_EQ(Get("/metrics").body.find("talmira_sap_"), std::string::npos);
    CWireCounters wire{.datagrams = 2000, .dropped = 3, .decrypted = 4, .inflated = 5, .sent = 6, .cacheWrites = 7};
    state.wire = &wire;
    const std::string body = Get("/metrics").body;
    for (const char* line : {"talmira_sap_datagrams_total 2000\n", "talmira_sap_dropped_total 3\n",
                             "talmira_sap_decrypted_total 4\n", "talmira_sap_inflated_total 5\n",
                             "talmira_sap_announcements_sent_total 6\n", "talmira_cache_writes_total 7\n"})
        EXPECT_NE(body.find(line), std::string::npos) << line;
    state.wire = nullptr;

    // Watched streams: one series per media entry, labels escaped.
    EXPECT_EQ(body.find("talmira_watched_"), std::string::npos);
    state.SetWatched({{"ff0e::77:1", 5004, "audio", "receiving", 1200, 3, {}, {}, false, -23.5},
                      {"239.1.2.3", 5006, "vid\"eo", "silent", 0, 0, true, false},
                      {"239.9.9.9", 5008, "video", "decoding", 0, 0, true, {}, {}, {}, false}});
    const std::string watched = Get("/metrics").body;
    for (const char* line :
         {"# TYPE talmira_watched_packets_total counter\n",
          "talmira_watched_packets_total{group=\"ff0e::77:1\",port=\"5004\",media=\"audio\",state=\"receiving\"} 1200\n",
          "talmira_watched_lost_total{group=\"ff0e::77:1\",port=\"5004\",media=\"audio\",state=\"receiving\"} 3\n",
          "talmira_watched_lost_total{group=\"239.1.2.3\",port=\"5006\",media=\"vid\\\"eo\",state=\"silent\"} 0\n",
          "talmira_watched_black{group=\"239.1.2.3\",port=\"5006\",media=\"vid\\\"eo\"} 1\n",
          "talmira_watched_frozen{group=\"239.1.2.3\",port=\"5006\",media=\"vid\\\"eo\"} 0\n",
          "talmira_watched_silent{group=\"ff0e::77:1\",port=\"5004\",media=\"audio\"} 0\n",
          "talmira_watched_loudness_lufs{group=\"ff0e::77:1\",port=\"5004\",media=\"audio\"} -23.5\n"})
        EXPECT_NE(watched.find(line), std::string::npos) << line;
    // A stream only decoded (no reception) has no packet counts to show.
    EXPECT_EQ(watched.find("_total{group=\"239.9.9.9\""), std::string::npos);
    EXPECT_NE(watched.find("talmira_watched_black{group=\"239.9.9.9\""), std::string::npos);

    // A decoded session's newest picture, while there is one.
    state.SetPictures({{"abc", std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9})}});
    const CWebResponse picture = Get("/api/v1/sessions/abc/picture.jpg");
    EXPECT_EQ(std::make_tuple(picture.status, picture.contentType, picture.body),
              std::make_tuple(200, std::string("image/jpeg"), std::string("\xFF\xD8\xFF\xD9")));
    EXPECT_EQ(Get("/api/v1/sessions/abd/picture.jpg").status, 404);
}
