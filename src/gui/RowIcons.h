#pragma once
#include <QIcon>
#include <QStyledItemDelegate>

// The images of the two panes, drawn at run time from code and the SVG
// pictures compiled into the program (resources/icons/rows):
// one per session type in the order of the type table, the same eight
// again with a small alarm clock (Auto Start), and the tree's root, scope
// and folder images, each with its selected form.
namespace rowicons {
constexpr int kTypeCount = 8;
// 0..7 a session type, 8..15 the same with the clock; other numbers read
// as the unknown type. Faded: blended half with white, for sessions that
// are not on now.
QIcon SessionIcon(int index, bool faded = false);
// The tree item images by CDirectoryTreeModel::EKind.
QIcon TreeIcon(int kind);
// The mark of the active Arrange Sessions entry: a hand pointing up for an
// ascending list, down for a descending one.
QIcon HandIcon(bool up);
} // namespace rowicons

// Draws a session row: the type image in the first column, and for a
// session that is not on now a faded image and, unless selected, grey text.
class CSessionRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Gives the tree items their images by kind.
class CTreeItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
