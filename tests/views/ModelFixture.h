#pragma once
#include "base/ViewFanOut.h"
#include "directory/DocFixture.h"
#include "views/DirectoryTreeModel.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include "sap/SapCodec.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A real store with a controlled clock, both models on its view port
// through a fan-out, each model (and the sorted list) under Qt's model
// tester, which aborts on the first inconsistent signal or index.
class ModelTest : public ::testing::Test, protected CStoreFakesOf<CViewFanOut> {
protected:
    using Record = std::shared_ptr<CSDPObject>;
    using Mode = QAbstractItemModelTester::FailureReportingMode;

    CSessionStore doc{Ports()};
    CDirectoryTreeModel tree{doc};
    CSessionListModel list{doc};
    CSessionSortFilter sorted{list};
    QAbstractItemModelTester treeTester{&tree, Mode::Fatal};
    QAbstractItemModelTester listTester{&list, Mode::Fatal};
    QAbstractItemModelTester sortedTester{&sorted, Mode::Fatal};

    ModelTest()
    {
        doc.filterMode = listrules::kFilterAll;
        views.Attach(tree);
        views.Attach(list);
    }

    // A session on from `start` to `stop` (Unix seconds, 0: open), with
    // these media sections and an optional repeat line ("r=...").
    Record Timed(const std::string& id, int64_t start, int64_t stop, std::vector<std::string> media = {"audio"},
                 const std::string& repeat = "")
    {
        std::string text = "v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Session " + id
            + "\nc=IN IP4 224.2.17.12/127\nt=" + (start ? std::to_string(start + kNtpUnixOffset) : "0") + " "
            + (stop ? std::to_string(stop + kNtpUnixOffset) : "0") + "\n" + repeat;
        for (const auto& m : media)
            text += "m=" + m + " 49170 RTP/AVP 0\n";
        return t.Parse(text);
    }
    Record Add(const std::string& id, const Record& dir = nullptr) { return Add(Timed(id, 0, 0), dir); }
    Record Add(Record record, const Record& dir = nullptr)
    {
        doc.AddSession(record, dir);
        return record;
    }
    Record Folder(const std::string& id, const std::string& group, const Record& dir = nullptr)
    {
        return Add(t.Parse(DirectoryText(id, group)), dir);
    }

    // A column of the sorted, filtered list, top to bottom, once the list
    // has taken in what the store told it.
    std::vector<std::string> Shown(int column = listrules::kColumnSession)
    {
        list.ApplyPending();
        std::vector<std::string> texts;
        for (int row = 0; row < sorted.rowCount(); ++row)
            texts.push_back(sorted.index(row, column).data().toString().toStdString());
        return texts;
    }
    // The texts of a tree item's children.
    std::vector<std::string> Children(const QModelIndex& item) const
    {
        std::vector<std::string> texts;
        for (int row = 0; row < tree.rowCount(item); ++row)
            texts.push_back(tree.index(row, 0, item).data().toString().toStdString());
        return texts;
    }
    bool Inactive(const std::string& text)
    {
        list.ApplyPending();
        for (int row = 0; row < sorted.rowCount(); ++row)
            if (sorted.index(row, 0).data().toString().toStdString() == text)
                return sorted.index(row, 0).data(CSessionListModel::kInactiveRole).toBool();
        ADD_FAILURE() << "no row " << text;
        return false;
    }
};

using Texts = std::vector<std::string>;
