#pragma once
#include "base/ViewFanOut.h"
#include "directory/DocFixture.h"
#include "web/WebHandlers.h"
#include "web/WebPublisher.h"
#include "web/WebState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A real store with a controlled clock, the web publisher on its view port
// and the handlers over the state it publishes.
class WebTest : public ::testing::Test, protected CStoreFakesOf<CViewFanOut> {
protected:
    using Record = std::shared_ptr<CSDPObject>;

    CSessionStore doc{Ports()};
    CWebState state{"ep0ch"};
    CWebPublisher publisher{doc, t.clock, state};
    CWebHandlers handlers{state, CWebAssets{"<html>", "body{}", "'use strict';"}};

    WebTest() { views.Attach(publisher); }
    ~WebTest() override { views.Detach(publisher); }

    // A session on from `start` to `stop` (Unix seconds, 0: open).
    Record Timed(const std::string& id, const std::string& name, int64_t start = 0, int64_t stop = 0,
                 const std::string& extra = "", const std::string& address = "224.2.17.12")
    {
        const auto ntp = [](int64_t s) { return s ? std::to_string(s + kNtpUnixOffset) : std::string("0"); };
        return t.Parse("v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=" + name + "\n" + extra + "c=IN IP4 " + address
                       + "/127\nt=" + ntp(start) + " " + ntp(stop) + "\nm=audio 49170 RTP/AVP 0\n");
    }
    Record Add(Record record, const Record& dir = nullptr)
    {
        doc.AddSession(record, dir);
        return record;
    }
    Record Folder(const std::string& id, const std::string& group, const Record& dir = nullptr)
    {
        return Add(t.Parse(DirectoryText(id, group)), dir);
    }

    CWebResponse Get(const std::string& path, std::multimap<std::string, std::string> params = {})
    {
        CWebResponse r = handlers.Handle(CWebRequest{path, std::move(params), "example.org:8086"});
        while (r.more && r.more(r.body)) {
        }
        return r;
    }
    static QJsonObject Json(const CWebResponse& r)
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
    }
    // The names of a list request's rows, top to bottom.
    std::vector<std::string> Names(const std::string& dir, std::multimap<std::string, std::string> params = {})
    {
        publisher.Flush();
        const CWebResponse r = Get("/api/v1/directories/" + dir + "/sessions", std::move(params));
        EXPECT_EQ(r.status, 200) << r.body;
        std::vector<std::string> names;
        for (const auto& v : Json(r)["sessions"].toArray())
            names.push_back(v.toObject()["name"].toString().toStdString());
        return names;
    }
    std::string IdOf(const std::string& dir, const std::string& name)
    {
        publisher.Flush();
        for (const auto& v : Json(Get("/api/v1/directories/" + dir + "/sessions", {{"limit", "1000"}}))["sessions"].toArray())
            if (v.toObject()["name"].toString().toStdString() == name)
                return v.toObject()["id"].toString().toStdString();
        return {};
    }
    // Every event published so far after `after`.
    std::vector<CEventLog::CEvent> EventsAfter(uint64_t after)
    {
        return state.Events().ReadAfter(after, 100000, std::chrono::milliseconds(0)).events;
    }
};
