#include "gui/Artwork.h"

#include "tools/OnlineRequests.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// Drawn once per size here rather than through an icon engine plug-in, so
// the icons do not depend on which Qt plug-ins a system has.
QIcon IconFromSvg(const QString& path, std::initializer_list<int> sizes)
{
    QSvgRenderer svg(path);
    if (!svg.isValid())
        return {};
    QIcon icon;
    for (const int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

constexpr int kPictureWidth = 480;
constexpr int kPictureHeight = 270;

} // namespace

namespace artwork {

QIcon ToolbarIcon(const QString& name)
{
    return IconFromSvg(":/icons/toolbar/" + name + ".svg", {16, 24, 32, 48});
}

QIcon ProgramIcon()
{
    return IconFromSvg(":/icons/talmira.svg", {16, 22, 24, 32, 48, 64, 128});
}

QPixmap ProductPicture(qreal pixelRatio)
{
    QPixmap picture(QSize(kPictureWidth, kPictureHeight) * pixelRatio);
    picture.setDevicePixelRatio(pixelRatio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF all(0, 0, kPictureWidth, kPictureHeight);
    QLinearGradient night(all.topLeft(), all.bottomRight());
    night.setColorAt(0, QColor(0x0d, 0x23, 0x3d));
    night.setColorAt(1, QColor(0x1f, 0x55, 0x8a));
    painter.fillRect(all, night);

    // Faint rings spreading from the emblem's mast across the picture.
    const QRectF emblem(28, 50, 170, 170);
    const QPointF mast(emblem.center().x(), emblem.top() + emblem.height() * 11 / 64);
    painter.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= 7; ++ring) {
        QColor colour(0xe6, 0x7e, 0x22);
        colour.setAlphaF(0.22 - ring * 0.025);
        painter.setPen(QPen(colour, 2));
        const qreal r = 40.0 * ring;
        painter.drawEllipse(mast, r, r);
    }
    QSvgRenderer(QStringLiteral(":/icons/talmira.svg")).render(&painter, emblem);

    QFont name = painter.font();
    name.setPointSizeF(40);
    name.setBold(true);
    painter.setFont(name);
    painter.setPen(Qt::white);
    const QRectF text(emblem.right() + 24, 70, kPictureWidth - emblem.right() - 36, 70);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Talmira"));

    QFont line = painter.font();
    line.setPointSizeF(12);
    line.setBold(false);
    painter.setFont(line);
    painter.setPen(QColor(0xb8, 0xd8, 0xf2));
    painter.drawText(text.translated(0, 62), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("Multicast session directory"));
    line.setPointSizeF(10);
    painter.setFont(line);
    painter.setPen(QColor(0x8f, 0xb4, 0xd6));
    painter.drawText(text.translated(0, 92), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Version ") + QString::fromLatin1(kProgramVersion));
    painter.end();
    return picture;
}

} // namespace artwork
