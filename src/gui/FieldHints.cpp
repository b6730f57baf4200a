#include "gui/FieldHints.h"

#include <QFontMetrics>

#include <algorithm>
#include <QLineEdit>
#include <QToolTip>

void ShowLimitWhenFull(QLineEdit& field, const QString& limit)
{
    field.setToolTip(limit);
    QObject::connect(&field, &QLineEdit::inputRejected, &field, [&field, limit] {
        QToolTip::showText(field.mapToGlobal(QPoint(0, field.height())), limit, &field);
    });
}

void KeepCaptionWhole(QWidget& window)
{
    // The title bar's font is the window manager's, mostly bold and somewhat
    // larger; its buttons and icon take some 150 pixels.
    QFont title = window.font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.1);
    const int needed = QFontMetrics(title).horizontalAdvance(window.windowTitle()) + 150;
    window.setMinimumWidth(std::max(window.minimumWidth(), needed));
}
