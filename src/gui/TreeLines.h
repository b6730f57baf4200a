#pragma once
#include <QProxyStyle>

// The tree's branch lines: a dotted line from each item to its parent's
// line, and down past the items that have siblings below. The style's own
// expand and collapse marks are drawn on top.
class CTreeLinesStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
