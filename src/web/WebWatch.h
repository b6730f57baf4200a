#pragma once
#include <QByteArray>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CStoreWatch;
class CWebService;
class QJsonObject;

// The watch on the page: the alarms (active first, then the log), each
// watched session's availability, and the page's orders (acknowledge one
// alarm or all, Watch / Stop Watching a session). On the main thread, with
// the watch it shows.
class CWebWatch {
public:
    // `listChanged` keeps the watch list where it lives (the settings).
    CWebWatch(CWebService& web, CStoreWatch& watch, std::function<void()> listChanged);
    ~CWebWatch();
    CWebWatch(const CWebWatch&) = delete;
    CWebWatch& operator=(const CWebWatch&) = delete;

    // After each of the watch's ticks.
    void Publish(int64_t nowMs);

    static constexpr size_t kLogRows = 200;

private:
    std::pair<int, std::string> Order(const std::string& path, const QJsonObject& body);

    CWebService& m_web;
    CStoreWatch& m_watch;
    std::function<void()> m_listChanged;
    // The hourly bars, made again once a minute (the samples' pace).
    std::map<std::string, std::pair<int64_t, std::vector<std::optional<double>>>> m_bars;
};
