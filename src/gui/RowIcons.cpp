#include "gui/RowIcons.h"

#include "views/DirectoryTreeModel.h"
#include "views/SessionListModel.h"
#include "watch/WatchList.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <array>

namespace rowicons {
namespace {
constexpr int kSize = 16;

QPixmap Blank()
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void DrawFolder(QPainter& p, bool open)
{
    p.setPen(QColor(0x8a, 0x6a, 0x10));
    p.setBrush(QColor(0xf2, 0xc9, 0x4c));
    p.drawRect(QRectF(1.5, 3.5, 5, 2));
    p.drawRect(QRectF(1.5, 4.5, 13, 9));
    if (open) {
        p.setBrush(QColor(0xfb, 0xe3, 0x8e));
        QPolygonF lid;
        lid << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
        p.drawPolygon(lid);
    }
}

void DrawCloud(QPainter& p, qreal scale, bool magnifier)
{
    p.save();
    p.translate(kSize / 2.0, kSize / 2.0 + 1);
    p.scale(scale, scale);
    QPainterPath cloud;
    cloud.addEllipse(QRectF(-7, -2, 7, 6));
    cloud.addEllipse(QRectF(-4, -6, 8, 8));
    cloud.addEllipse(QRectF(0, -3, 7, 7));
    cloud.addRect(QRectF(-4, 0, 7, 4));
    p.setPen(QPen(QColor(0x2e, 0x5f, 0x9e), 1 / scale));
    p.setBrush(QColor(0xbf, 0xdc, 0xf7));
    p.drawPath(cloud.simplified());
    p.restore();
    if (magnifier) {
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(QRectF(8.5, 8.5, 5, 5));
        p.drawLine(QPointF(13, 13), QPointF(15.5, 15.5));
    }
}

// The pictures of the session types without a drawing of their own here
// (resources/icons/rows), by session type.
const char* const kTypePictures[] = {"test", "broadcast", "meeting", "unknown", "h332", "moderated"};

void DrawPicture(QPainter& p, const char* name)
{
    QSvgRenderer svg(QStringLiteral(":/icons/rows/%1.svg").arg(QLatin1String(name)));
    svg.render(&p, QRectF(0, 0, kSize, kSize));
}

void DrawClock(QPainter& p)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    p.drawLine(QPointF(12, 12), QPointF(12, 9.8));
    p.drawLine(QPointF(12, 12), QPointF(14, 12));
}

// A red disc with a white exclamation mark, opposite the clock.
void DrawAlarm(QPainter& p)
{
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(0xd0, 0x1e, 0x1e));
    p.drawEllipse(QRectF(0.5, 8.5, 7, 7));
    p.setPen(QPen(Qt::white, 1.5));
    p.drawLine(QPointF(4, 10), QPointF(4, 12.5));
    p.drawPoint(QPointF(4, 14.2));
}

QPixmap Alarmed(QPixmap pixmap)
{
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawAlarm(p);
    return pixmap;
}

QPixmap DrawType(int type, bool clock)
{
    QPixmap pixmap = Blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (type == 6)
        DrawFolder(p, false);
    else if (type == 7)
        DrawCloud(p, 1.0, false);
    else
        DrawPicture(p, kTypePictures[type >= 0 && type < 6 ? type : 3]);
    if (clock)
        DrawClock(p);
    return pixmap;
}

// A hand with the index finger pointing up; the other fingers curl over
// the palm.
void DrawHandUp(QPainter& p)
{
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x1a), 1));
    p.setBrush(QColor(0xf6, 0xd3, 0xa8));
    QPainterPath hand;
    hand.addRoundedRect(QRectF(3.5, 0.5, 3, 9), 1.5, 1.5);   // index finger, at the edge
    hand.addRoundedRect(QRectF(3.5, 7.5, 8, 8), 2, 2);       // palm and curled fingers
    hand.addRoundedRect(QRectF(10.5, 9.5, 4, 3), 1.5, 1.5);  // thumb
    p.drawPath(hand.simplified());
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x1a, 160), 0.8));
    for (qreal x : {6.5, 8.5})
        p.drawLine(QPointF(x, 8.5), QPointF(x, 11));
}

QPixmap Faded(QPixmap pixmap)
{
    QPainter p(&pixmap);
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    p.fillRect(pixmap.rect(), QColor(255, 255, 255, 128));
    return pixmap;
}
} // namespace

QIcon SessionIcon(int index, bool faded, bool alarmed)
{
    // Drawn once: rows ask for their image on every paint. Plain, faded,
    // and the two again with the alarm mark (drawn over the fading: it
    // stays as red on a session that is not on now).
    constexpr size_t kForms = 2 * kTypeCount;
    static const std::array<QIcon, 4 * kForms> icons = [] {
        std::array<QIcon, 4 * kForms> all;
        for (size_t i = 0; i < kForms; ++i) {
            const QPixmap pixmap = DrawType(int(i) % kTypeCount, i >= size_t(kTypeCount));
            all[i] = QIcon(pixmap);
            all[i + kForms] = QIcon(Faded(pixmap));
            all[i + 2 * kForms] = QIcon(Alarmed(pixmap));
            all[i + 3 * kForms] = QIcon(Alarmed(Faded(pixmap)));
        }
        return all;
    }();
    if (index < 0 || index >= int(kForms))
        index = 3;
    return icons[size_t(index) + (faded ? kForms : 0) + (alarmed ? 2 * kForms : 0)];
}

QIcon TreeIcon(int kind)
{
    auto draw = [](auto paint) {
        QPixmap pixmap = Blank();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p);
        return pixmap;
    };
    QIcon icon;
    switch (kind) {
    case CDirectoryTreeModel::kKindRoot:
        icon.addPixmap(draw([](QPainter& p) { DrawCloud(p, 1.0, false); }), QIcon::Normal);
        icon.addPixmap(draw([](QPainter& p) { DrawCloud(p, 1.0, true); }), QIcon::Selected);
        break;
    case CDirectoryTreeModel::kKindScope:
        icon.addPixmap(draw([](QPainter& p) { DrawCloud(p, 0.75, false); }), QIcon::Normal);
        icon.addPixmap(draw([](QPainter& p) { DrawCloud(p, 0.75, true); }), QIcon::Selected);
        break;
    default:
        icon.addPixmap(draw([](QPainter& p) { DrawFolder(p, false); }), QIcon::Normal);
        icon.addPixmap(draw([](QPainter& p) { DrawFolder(p, true); }), QIcon::Selected);
        break;
    }
    return icon;
}

QIcon HandIcon(bool up)
{
    static const std::array<QIcon, 2> hands = [] {
        std::array<QIcon, 2> both;
        for (int i = 0; i < 2; ++i) {
            QPixmap pixmap = Blank();
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            if (i == 1) { // down: the same hand turned over
                p.translate(kSize, kSize);
                p.rotate(180);
            }
            DrawHandUp(p);
            p.end();
            both[static_cast<size_t>(i)] = QIcon(pixmap);
        }
        return both;
    }();
    return hands[up ? 0 : 1];
}

} // namespace rowicons

void CSessionRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget* widget = cell.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    // The style draws the cell (background, selection, image, focus) but
    // not its text.
    const QString text = cell.text;
    cell.text.clear();
    // What is kept was worked out for one font.
    if (cell.font != m_shapedFont) {
        m_shaped.clear();
        m_places.clear();
        m_shapedFont = cell.font;
    }
    QRect textRect = TextRect(cell, *style);
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    if (text.isEmpty())
        return;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    textRect.adjust(margin, 0, -margin, 0);
    const QStaticText& shaped = Shaped(text, textRect.width(), cell);
    const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
        : (cell.state & QStyle::State_Active)                                ? QPalette::Normal
                                                                             : QPalette::Inactive;
    painter->save();
    painter->setPen(cell.palette.color(group, cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(cell.font);
    painter->setClipRect(cell.rect, Qt::IntersectClip); // as the style clips: a descender may pass below the text's rectangle
    const QSize size(static_cast<int>(shaped.size().width()), QFontMetrics(cell.font).height());
    painter->drawStaticText(QStyle::alignedRect(cell.direction, cell.displayAlignment, size, textRect).topLeft(), shaped);
    painter->restore();
}

QRect CSessionRowDelegate::TextRect(const QStyleOptionViewItem& cell, const QStyle& style) const
{
    // Where the text goes does not depend on its length, only on there
    // being one, and the style would shape the whole text to find out: it
    // is asked with a letter, once per kind of cell.
    const auto same = [&](const CPlace& p) {
        return p.style == &style && p.size == cell.rect.size() && p.features == int(cell.features)
            && p.decorationSize == cell.decorationSize
            && p.decorationPosition == cell.decorationPosition && p.alignment == int(cell.displayAlignment)
            && p.direction == cell.direction;
    };
    auto found = std::find_if(m_places.begin(), m_places.end(), same);
    if (found == m_places.end()) {
        constexpr size_t kKept = 64; // a few widths of each column
        if (m_places.size() >= kKept)
            m_places.clear();
        QStyleOptionViewItem probe = cell;
        probe.text = QStringLiteral("x");
        const QRect text = style.subElementRect(QStyle::SE_ItemViewItemText, &probe, cell.widget);
        m_places.push_back({&style, cell.rect.size(), int(cell.features), cell.decorationSize, int(cell.decorationPosition),
                            int(cell.displayAlignment), int(cell.direction), text.translated(-cell.rect.topLeft())});
        found = m_places.end() - 1;
    }
    return found->text.translated(cell.rect.topLeft());
}

const QStaticText& CSessionRowDelegate::Shaped(const QString& text, int width, const QStyleOptionViewItem& option) const
{
    // Enough for a few screens of cells.
    constexpr qsizetype kKept = 4096;
    if (m_shaped.size() > kKept)
        m_shaped.clear();
    const QString key = QString::number(width) + QLatin1Char('\n') + text;
    auto found = m_shaped.find(key);
    if (found == m_shaped.end()) {
        const QFontMetrics metrics(option.font);
        QStaticText shaped(metrics.elidedText(text, option.textElideMode, width));
        shaped.setTextFormat(Qt::PlainText);
        shaped.setPerformanceHint(QStaticText::AggressiveCaching);
        shaped.prepare(QTransform(), option.font);
        found = m_shaped.insert(key, shaped);
    }
    return *found;
}

bool CSessionRowDelegate::SetAlarmed(std::set<std::string> keys)
{
    if (keys == m_alarmed)
        return false;
    m_alarmed = std::move(keys);
    return true;
}

void CSessionRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const bool inactive = index.data(CSessionListModel::kInactiveRole).toBool();
    if (index.column() == 0) {
        bool alarmed = false;
        if (!m_alarmed.empty()) {
            const auto record = index.data(CSessionListModel::kRecordRole).value<CSessionListModel::Record>();
            alarmed = record && m_alarmed.contains(WatchKey(*record));
        }
        option->icon = rowicons::SessionIcon(index.data(CSessionListModel::kIconRole).toInt(), inactive, alarmed);
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
    if (inactive && !(option->state & QStyle::State_Selected))
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Disabled, QPalette::Text));
}

void CTreeItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->icon = rowicons::TreeIcon(index.data(CDirectoryTreeModel::kKindRole).toInt());
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
}
