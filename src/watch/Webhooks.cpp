#include "watch/Webhooks.h"

#include <nettle/hmac.h>

#include <algorithm>

std::string WebhookSignature(const std::string& secret, const std::string& body)
{
    hmac_sha256_ctx ctx;
    hmac_sha256_set_key(&ctx, secret.size(), reinterpret_cast<const uint8_t*>(secret.data()));
    hmac_sha256_update(&ctx, body.size(), reinterpret_cast<const uint8_t*>(body.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    hmac_sha256_digest(&ctx, sizeof digest, digest);
    static const char hex[] = "0123456789abcdef";
    std::string out = "sha256=";
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

CWebhookSender::CWebhookSender(std::string secret, Poster poster, Delivered delivered, COptions options)
    : m_secret(std::move(secret)), m_poster(std::move(poster)), m_delivered(std::move(delivered)), m_options(options)
{
    m_thread = std::thread([this] { Run(); });
}

CWebhookSender::~CWebhookSender()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CWebhookSender::Queue(const CHistory::CWebhook& hook)
{
    {
        std::lock_guard lock(m_mutex);
        auto& queue = m_targets[hook.url].queue;
        queue.push_back(hook);
        while (queue.size() > m_options.maxQueued)
            queue.pop_front();
    }
    m_wake.notify_all();
}

size_t CWebhookSender::Waiting() const
{
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (const auto& [url, target] : m_targets)
        n += target.queue.size();
    return n;
}

void CWebhookSender::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const auto now = std::chrono::steady_clock::now();
        auto wakeAt = now + std::chrono::hours(1);
        CTarget* due = nullptr;
        std::string url;
        for (auto& [address, target] : m_targets) {
            if (target.queue.empty())
                continue;
            if (target.next <= now) {
                due = &target;
                url = address;
                break;
            }
            wakeAt = std::min(wakeAt, target.next);
        }
        if (!due) {
            m_wake.wait_until(lock, wakeAt);
            continue;
        }
        const CHistory::CWebhook hook = due->queue.front();
        lock.unlock();
        CHttpHeaders headers{{"X-Talmira-Delivery", std::to_string(hook.id)}};
        if (!m_secret.empty())
            headers.emplace_back("X-Talmira-Signature", WebhookSignature(m_secret, hook.body));
        const int status = m_poster(hook.url, hook.body, headers);
        lock.lock();
        CTarget& target = m_targets[url]; // the map's nodes stay where they are
        if (status >= 200 && status < 300) {
            if (!target.queue.empty() && target.queue.front().id == hook.id)
                target.queue.pop_front();
            target.failures = 0;
            lock.unlock();
            m_delivered(hook.id);
            lock.lock();
        } else {
            const int shift = std::min(target.failures++, 16);
            const int64_t pause = std::min(m_options.longestPauseMs, m_options.firstPauseMs << shift);
            target.next = std::chrono::steady_clock::now() + std::chrono::milliseconds(pause);
        }
    }
}
