#pragma once
#include "base/ViewNotifier.h"

#include <QAbstractItemModel>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

class CSessionStore;
class CSessionList;

// The directories of the store as a tree: one root item ("MBone") for the
// whole backbone, below it the directories of the main list, below each
// the directories in its own list. Plain sessions are not tree items.
// Siblings are placed in alphabetical order when they arrive; a later
// rename changes the text without moving the item.
//
// Attach it to the store's view port (through a CViewFanOut beside the
// session list); it follows the row notices and rebuilds itself on a reset.
class CDirectoryTreeModel final : public QAbstractItemModel, public ViewNotifier {
    Q_OBJECT
public:
    enum ERole { kRecordRole = Qt::UserRole + 1, kKindRole };
    static constexpr const char* kUnheardText =
        "Not listened to: too many directories are announced, or it repeats the address of one above it.";
    // What an item stands for, to pick its icons.
    enum EKind { kKindRoot, kKindFolder, kKindScope };
    static constexpr const char* kRootText = "MBone";

    explicit CDirectoryTreeModel(CSessionStore& doc, QObject* parent = nullptr);
    ~CDirectoryTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    QModelIndex RootIndex() const;
    // The item of a directory record; invalid when it has none.
    QModelIndex IndexOf(const CSDPObject& directory) const;
    // The record of an item; null for the root.
    Record RecordAt(const QModelIndex& index) const;

    void UpdateAllViews(const CViewHint& hint) override;
    bool IsListShowing(const CSDPObject& directory) const override;
    void RecordAboutToBeAdded(const Record& directory, size_t row, const Record& record) override;
    void RecordAdded(const Record& directory, size_t row, const Record& record) override;
    void RecordAboutToBeRemoved(const Record& directory, size_t row, const Record& record) override;
    void RecordRemoved(const Record& directory, size_t row, const Record& record) override;
    void RecordChanged(const Record& directory, size_t row, const Record& record) override;
    void BeginReset() override;
    void EndReset() override;

private:
    struct CNode {
        Record record;
        CNode* parent = nullptr;
        std::vector<std::unique_ptr<CNode>> children;
        QString text;
        EKind kind = kKindFolder;
    };
    CNode* NodeOf(const CSDPObject* record) const;
    // The node a list's directories hang below: the root for the main list.
    CNode* ParentNode(const Record& directory) const;
    QModelIndex IndexOfNode(const CNode* node) const;
    int RowOf(const CNode* node) const;
    // Where a new child with this text goes among the node's children.
    static int SortedRow(const CNode& parent, const QString& text);
    // Reads what the tree shows of a record; false when its lock is refused.
    static bool ReadShown(CSDPObject& record, QString& text, EKind& kind);
    std::unique_ptr<CNode> MakeNode(const Record& record, CNode* parent, const QString& text, EKind kind);
    void Fill(CNode& node, const CSessionList& list);
    void Forget(const CNode& node);

    CSessionStore& m_doc;
    CNode m_root;
    std::unordered_map<const CSDPObject*, CNode*> m_nodes;
    bool m_resetting = false;
    // An insertion or removal begun by its about-to notice.
    struct CPending {
        Record record;
        CNode* parent = nullptr;
        int row = -1;
        QString text;
        EKind kind = kKindFolder;
    };
    CPending m_adding;
    CNode* m_removing = nullptr;
};
