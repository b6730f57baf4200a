#include "watch/History.h"
#include "watch/Webhooks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct CScratch {
    fs::path dir = fs::temp_directory_path() / ("talmira-history-" + std::to_string(::getpid()));
    CScratch() { fs::create_directories(dir); }
    ~CScratch() { fs::remove_all(dir); }
    std::string File() const { return (dir / "history.db").string(); }
};

CAlarmEvent Event(int64_t t, EAlarmEventKind kind)
{
    CAlarmEvent e;
    e.kind = kind;
    e.session = "u 1 IN IP4 10.0.0.1";
    e.media = 0;
    e.timeMs = t;
    return e;
}

TEST(History, WritesAtMostOnceASecondAndKeepsEverything)
{
    CScratch scratch;
    std::vector<std::string> messages;
    {
        CHistory history(scratch.File(), [&](const std::string& m) { messages.push_back(m); });
        ASSERT_TRUE(history.Open());
        // Two per second for five seconds: five transactions, ten rows.
        for (int64_t t = 1000; t < 6000; t += 500) {
            history.Record(Event(t, t % 1000 ? EAlarmEventKind::Clear : EAlarmEventKind::Raise));
            history.Flush(t);
        }
        EXPECT_EQ(history.WriteTransactions(), 5u);
        const auto webhook = history.QueueWebhook("http://127.0.0.1:1/h", "{}");
        history.QueueWebhook("http://127.0.0.1:1/h", "{\"n\":2}");
        history.Delivered(webhook.id);
        // Up 45 minutes of the last hour: the first quarter down.
        for (int64_t minute = 0; minute < 60; ++minute)
            history.Sample("s", minute * 60000 + 5000, minute >= 15);
    }
    CHistory again(scratch.File(), [&](const std::string& m) { messages.push_back(m); });
    ASSERT_TRUE(again.Open());
    const auto log = again.Log(100);
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log.front().timeMs, 1000);
    EXPECT_EQ(log.front().event, "raise");
    EXPECT_EQ(log.back().event, "clear");
    const auto pending = again.PendingWebhooks();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].body, "{\"n\":2}");
    EXPECT_EQ(again.QueueWebhook("http://127.0.0.1:1/h", "{}").id, pending[0].id + 1);
    EXPECT_EQ(again.Availability("s", 0, 3600000), 0.75);
    EXPECT_EQ(again.Availability("other", 0, 3600000), std::nullopt);
    const auto bar = again.Bar("s", 3600000, 3600000, 4);
    EXPECT_EQ(bar, (std::vector<std::optional<double>>{0.0, 1.0, 1.0, 1.0}));
    EXPECT_TRUE(messages.empty());
}

TEST(History, DamagedFileIsMovedAsideAndANewOneStarted)
{
    for (const std::string& content : {std::string(100, 'n'), std::string("SQLite format 3\0", 16) + std::string(84, 'x')}) {
        CScratch scratch;
        std::ofstream(scratch.File(), std::ios::binary) << content << std::string(4096, 'x');
        std::vector<std::string> messages;
        CHistory history(scratch.File(), [&](const std::string& m) { messages.push_back(m); });
        ASSERT_TRUE(history.Open()) << content;
        history.Record(Event(1000, EAlarmEventKind::Raise));
        EXPECT_TRUE(history.Flush(1000));
        EXPECT_EQ(history.Log(10).size(), 1u);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("was damaged; it was moved to"), std::string::npos) << messages[0];
        int aside = 0;
        for (const auto& entry : fs::directory_iterator(scratch.dir))
            aside += entry.path().filename().string().find(".damaged-") != std::string::npos;
        EXPECT_EQ(aside, 1);
    }
}

TEST(Webhooks, SignedAndDeliveredOnceInOrderThroughAnOutage)
{
    // RFC 4231, test case 2.
    EXPECT_EQ(WebhookSignature("Jefe", "what do ya want for nothing?"),
              "sha256=5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    std::mutex mutex;
    std::vector<std::string> posted;
    std::vector<int64_t> delivered;
    std::atomic<int> refusals{3};
    {
        CWebhookSender sender(
            "k",
            [&](const std::string&, const std::string& body, const CHttpHeaders& headers) {
                if (refusals.fetch_sub(1) > 0)
                    return 503;
                std::lock_guard lock(mutex);
                posted.push_back(body + ' ' + headers.back().second.substr(0, 10));
                return 200;
            },
            [&](int64_t id) {
                std::lock_guard lock(mutex);
                delivered.push_back(id);
            },
            {1, 4, 100});
        for (int64_t id = 1; id <= 3; ++id)
            sender.Queue({id, "http://127.0.0.1:1/h", "b" + std::to_string(id)});
        for (int i = 0; i < 500 && sender.Waiting() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string sig = WebhookSignature("k", "b1").substr(0, 10);
    EXPECT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted.front(), "b1 " + sig);
    EXPECT_EQ(delivered, (std::vector<int64_t>{1, 2, 3}));
}

} // namespace
