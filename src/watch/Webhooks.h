#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "watch/History.h"

using CHttpHeaders = std::vector<std::pair<std::string, std::string>>;

// "sha256=" and the HMAC-SHA256 of `body` under `secret`, in lower-case hex.
std::string WebhookSignature(const std::string& secret, const std::string& body);
// Why a webhook address cannot be used; empty when it can.
std::string WebhookUrlProblem(const std::string& url);
// Posts `body` to `url` over HTTP or HTTPS (the server certificate checked); the answer's status, or -1 when none came.
int PostHttp(const std::string& url, const std::string& body, const CHttpHeaders& headers);

// Delivers the webhook bodies on a thread of its own: to each address in
// the order they were queued, the next one only when the one before was
// taken (a 2xx answer), retried with a growing pause while the receiver
// is down. `delivered` is called on that thread with each id taken.
class CWebhookSender {
public:
    using Poster = std::function<int(const std::string& url, const std::string& body, const CHttpHeaders& headers)>;
    using Delivered = std::function<void(int64_t id)>;
    struct COptions {
        int64_t firstPauseMs = 500;
        int64_t longestPauseMs = 30000;
        size_t maxQueued = 10000; // per address; the oldest go beyond
    };

    CWebhookSender(std::string secret, Poster poster, Delivered delivered, COptions options);
    CWebhookSender(std::string secret, Poster poster, Delivered delivered)
        : CWebhookSender(std::move(secret), std::move(poster), std::move(delivered), COptions{})
    {
    }
    ~CWebhookSender();
    CWebhookSender(const CWebhookSender&) = delete;
    CWebhookSender& operator=(const CWebhookSender&) = delete;

    void Queue(const CHistory::CWebhook& hook);
    // Bodies not yet taken, over all addresses.
    size_t Waiting() const;

private:
    struct CTarget {
        std::deque<CHistory::CWebhook> queue;
        int failures = 0;
        std::chrono::steady_clock::time_point next{};
    };
    void Run();

    std::string m_secret;
    Poster m_poster;
    Delivered m_delivered;
    COptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, CTarget> m_targets;
    bool m_stop = false;
    std::thread m_thread;
};
