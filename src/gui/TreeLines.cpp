#include "gui/TreeLines.h"

#include <QPainter>
#include <QStyleOption>

void CTreeLinesStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const
{
    if (element == PE_IndicatorBranch) {
        const QRect r = option->rect;
        const int x = r.center().x(), y = r.center().y();
        painter->save();
        QPen pen(option->palette.color(QPalette::Mid));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        if (option->state & State_Item) {
            // This item's own column: up to the parent, across to the item.
            painter->drawLine(x, r.top(), x, y);
            painter->drawLine(x, y, r.right(), y);
            if (option->state & State_Sibling)
                painter->drawLine(x, y, x, r.bottom());
        } else if (option->state & State_Sibling) {
            // An ancestor's column whose line goes on below this row.
            painter->drawLine(x, r.top(), x, r.bottom());
        }
        painter->restore();
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
