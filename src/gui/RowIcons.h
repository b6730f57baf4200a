#pragma once
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <set>
#include <string>
#include <vector>

// The images of the two panes, drawn at run time from code and the SVG
// pictures compiled into the program (resources/icons/rows):
// one per session type in the order of the type table, the same eight
// again with a small alarm clock (Auto Start), and the tree's root, scope
// and folder images, each with its selected form.
namespace rowicons {
constexpr int kTypeCount = 8;
// 0..7 a session type, 8..15 the same with the clock; other numbers read
// as the unknown type. Faded: blended half with white, for sessions that
// are not on now. Alarmed: with a red mark in the lower left corner, for
// a watched session with an active alarm.
QIcon SessionIcon(int index, bool faded = false, bool alarmed = false);
// The tree item images by CDirectoryTreeModel::EKind.
QIcon TreeIcon(int kind);
// The mark of the active Arrange Sessions entry: a hand pointing up for an
// ascending list, down for a descending one.
QIcon HandIcon(bool up);
} // namespace rowicons

// Draws a session row: the type image in the first column, and for a
// session that is not on now a faded image and, unless selected, grey text.
// A cell's text is shaped and cut to its width once and kept: the list is
// painted again after every batch of announcements, mostly with the same
// texts in the same widths.
class CSessionRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The watch keys of the sessions with an active alarm: their rows'
    // images carry the alarm mark. False when the set did not change.
    bool SetAlarmed(std::set<std::string> keys);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    // The text as drawn in a width: cut with an ellipsis where it does
    // not fit, shaped for the font.
    const QStaticText& Shaped(const QString& text, int width, const QStyleOptionViewItem& option) const;
    mutable QHash<QString, QStaticText> m_shaped;
    // The font what is kept (shapes and text places) was made for.
    mutable QFont m_shapedFont;
    // Where the style puts a cell's text, from the cell's top left corner:
    // the same for every cell of a size with the same image, alignment and
    // direction, and asking the style lays out the whole cell.
    QRect TextRect(const QStyleOptionViewItem& cell, const QStyle& style) const;
    struct CPlace {
        const QStyle* style = nullptr;
        QSize size;
        int features = 0;
        QSize decorationSize;
        int decorationPosition = 0;
        int alignment = 0;
        int direction = 0;
        QRect text;
    };
    mutable std::vector<CPlace> m_places;
    std::set<std::string> m_alarmed;
};

// Gives the tree items their images by kind.
class CTreeItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
