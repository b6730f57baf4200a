#include "views/DirectoryTreeModel.h"

#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"
#include "views/DisplayText.h"

#include <QColor>

#include <algorithm>

CDirectoryTreeModel::CDirectoryTreeModel(CSessionStore& doc, QObject* parent) : QAbstractItemModel(parent), m_doc(doc)
{
    m_root.text = QString::fromLatin1(kRootText);
    m_root.kind = kKindRoot;
    Fill(m_root, m_doc.MainList());
}

CDirectoryTreeModel::~CDirectoryTreeModel() = default;

QModelIndex CDirectoryTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, const_cast<CNode*>(&m_root)) : QModelIndex();
    const auto* node = static_cast<const CNode*>(parent.internalPointer());
    if (parent.model() != this || row >= static_cast<int>(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex CDirectoryTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const auto* node = static_cast<const CNode*>(child.internalPointer());
    return node->parent ? IndexOfNode(node->parent) : QModelIndex();
}

int CDirectoryTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(static_cast<const CNode*>(parent.internalPointer())->children.size());
}

int CDirectoryTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant CDirectoryTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const auto* node = static_cast<const CNode*>(index.internalPointer());
    // A directory without a socket is listed but not heard (too many are
    // announced, or it repeats the group of one above it).
    const bool unheard = node->record && node->record->links->children && !node->record->links->directoryReceiver;
    switch (role) {
    case Qt::DisplayRole:
        return node->text;
    case Qt::ToolTipRole:
        return unheard ? node->text + QStringLiteral("\n") + QString::fromLatin1(kUnheardText) : node->text;
    case Qt::ForegroundRole:
        return unheard || (node->record && node->record->name.empty()) ? QVariant(QColor(Qt::gray)) : QVariant();
    case kKindRole:
        return static_cast<int>(node->kind);
    case kRecordRole:
        return node->record ? QVariant::fromValue(node->record) : QVariant();
    default:
        return {};
    }
}

QModelIndex CDirectoryTreeModel::RootIndex() const
{
    return index(0, 0);
}

QModelIndex CDirectoryTreeModel::IndexOf(const CSDPObject& directory) const
{
    const CNode* node = NodeOf(&directory);
    return node ? IndexOfNode(node) : QModelIndex();
}

ViewNotifier::Record CDirectoryTreeModel::RecordAt(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this ? static_cast<const CNode*>(index.internalPointer())->record
                                                     : nullptr;
}

CDirectoryTreeModel::CNode* CDirectoryTreeModel::NodeOf(const CSDPObject* record) const
{
    const auto it = m_nodes.find(record);
    return it == m_nodes.end() ? nullptr : it->second;
}

CDirectoryTreeModel::CNode* CDirectoryTreeModel::ParentNode(const Record& directory) const
{
    return directory ? NodeOf(directory.get()) : const_cast<CNode*>(&m_root);
}

QModelIndex CDirectoryTreeModel::IndexOfNode(const CNode* node) const
{
    return createIndex(RowOf(node), 0, const_cast<CNode*>(node));
}

int CDirectoryTreeModel::RowOf(const CNode* node) const
{
    if (!node->parent)
        return 0;
    // Among its siblings only: a directory holds few directories.
    const auto& siblings = node->parent->children;
    const auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& s) { return s.get() == node; });
    return static_cast<int>(it - siblings.begin());
}

int CDirectoryTreeModel::SortedRow(const CNode& parent, const QString& text)
{
    const auto it = std::upper_bound(parent.children.begin(), parent.children.end(), text,
                                     [](const QString& t, const std::unique_ptr<CNode>& n) {
                                         return QString::compare(t, n->text, Qt::CaseInsensitive) < 0;
                                     });
    return static_cast<int>(it - parent.children.begin());
}

bool CDirectoryTreeModel::ReadShown(CSDPObject& record, QString& text, EKind& kind)
{
    CRecordLock lock(record);
    if (!lock.ok())
        return false;
    text = NameText(record.name);
    kind = record.sessionType == kTypeScopeDirectory ? kKindScope : kKindFolder;
    return true;
}

std::unique_ptr<CDirectoryTreeModel::CNode> CDirectoryTreeModel::MakeNode(const Record& record, CNode* parent,
                                                                          const QString& text, EKind kind)
{
    auto node = std::make_unique<CNode>();
    node->record = record;
    node->parent = parent;
    node->text = text;
    node->kind = kind;
    m_nodes[record.get()] = node.get();
    if (record->links->children)
        Fill(*node, *record->links->children);
    return node;
}

void CDirectoryTreeModel::Fill(CNode& node, const CSessionList& list)
{
    for (const auto& record : list) {
        QString text;
        EKind kind;
        if (!IsDirectoryType(record->sessionType) || NodeOf(record.get()) || !ReadShown(*record, text, kind))
            continue;
        const int row = SortedRow(node, text);
        node.children.insert(node.children.begin() + row, MakeNode(record, &node, text, kind));
    }
}

void CDirectoryTreeModel::Forget(const CNode& node)
{
    m_nodes.erase(node.record.get());
    for (const auto& child : node.children)
        Forget(*child);
}

void CDirectoryTreeModel::UpdateAllViews(const CViewHint&)
{
    // The notices have brought the tree up to date already.
}

bool CDirectoryTreeModel::IsListShowing(const CSDPObject&) const
{
    return false;
}

void CDirectoryTreeModel::RecordAboutToBeAdded(const Record& directory, size_t, const Record& record)
{
    m_adding = {};
    if (m_resetting || !record || !IsDirectoryType(record->sessionType) || NodeOf(record.get()))
        return;
    CNode* parent = ParentNode(directory);
    QString text;
    EKind kind;
    if (!parent || !ReadShown(*record, text, kind))
        return;
    const int row = SortedRow(*parent, text);
    beginInsertRows(IndexOfNode(parent), row, row);
    m_adding = {record, parent, row, text, kind};
}

void CDirectoryTreeModel::RecordAdded(const Record&, size_t, const Record&)
{
    if (!m_adding.record)
        return;
    CPending adding = std::move(m_adding);
    m_adding = {};
    // The record the insertion was begun for: ends it even if another came.
    adding.parent->children.insert(adding.parent->children.begin() + adding.row,
                                   MakeNode(adding.record, adding.parent, adding.text, adding.kind));
    endInsertRows();
}

void CDirectoryTreeModel::RecordAboutToBeRemoved(const Record&, size_t, const Record& record)
{
    m_removing = nullptr;
    CNode* node = m_resetting || !record ? nullptr : NodeOf(record.get());
    if (!node)
        return;
    const int row = RowOf(node);
    beginRemoveRows(IndexOfNode(node->parent), row, row);
    m_removing = node;
}

void CDirectoryTreeModel::RecordRemoved(const Record&, size_t, const Record&)
{
    CNode* node = std::exchange(m_removing, nullptr);
    if (!node)
        return;
    Forget(*node);
    auto& siblings = node->parent->children;
    siblings.erase(siblings.begin() + RowOf(node));
    endRemoveRows();
}

void CDirectoryTreeModel::RecordChanged(const Record&, size_t, const Record& record)
{
    CNode* node = m_resetting || !record ? nullptr : NodeOf(record.get());
    if (!node || !ReadShown(*record, node->text, node->kind))
        return;
    // A new name takes its place among the siblings (a renamed scope, or
    // one renamed back when the Settings sheet is cancelled).
    auto& siblings = node->parent->children;
    const int row = RowOf(node);
    auto held = std::move(siblings[static_cast<size_t>(row)]);
    siblings.erase(siblings.begin() + row);
    const int place = SortedRow(*node->parent, node->text);
    siblings.insert(siblings.begin() + row, std::move(held));
    if (place != row) {
        const QModelIndex parent = IndexOfNode(node->parent);
        beginMoveRows(parent, row, row, parent, place > row ? place + 1 : place);
        held = std::move(siblings[static_cast<size_t>(row)]);
        siblings.erase(siblings.begin() + row);
        siblings.insert(siblings.begin() + place, std::move(held));
        endMoveRows();
    }
    const QModelIndex at = IndexOfNode(node);
    emit dataChanged(at, at);
}

void CDirectoryTreeModel::BeginReset()
{
    if (m_resetting)
        return;
    m_resetting = true;
    beginResetModel();
}

void CDirectoryTreeModel::EndReset()
{
    if (!m_resetting)
        return;
    m_root.children.clear();
    m_nodes.clear();
    m_adding = {};
    m_removing = nullptr;
    Fill(m_root, m_doc.MainList());
    m_resetting = false;
    endResetModel();
}
