#include "gui/PropertyArt.h"

#include "sdp/SDPObject.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

constexpr int kIconSize = 32; // drawn on a 16-unit grid, scaled by two
constexpr int kPictureSize = 64; // drawn on a 32-unit grid, scaled by two

const QColor kInk(40, 48, 64);
const QColor kBlue(52, 101, 164);
const QColor kSky(114, 159, 207);
const QColor kYellow(237, 212, 0);
const QColor kOrange(245, 121, 0);
const QColor kGreen(78, 154, 6);
const QColor kRed(204, 0, 0);
const QColor kGrey(186, 189, 182);
const QColor kPaper(250, 250, 245);

QPixmap Draw(int size, qreal grid, const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / grid, size / grid);
    p.setPen(QPen(kInk, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    paint(p);
    return pixmap;
}

void Person(QPainter& p, QPointF head, qreal r, const QColor& fill)
{
    p.setBrush(fill);
    p.drawEllipse(head, r, r);
    QPainterPath body;
    body.moveTo(head.x() - 2.2 * r, head.y() + 4 * r);
    body.quadTo(head.x() - 2.2 * r, head.y() + 1.4 * r, head.x(), head.y() + 1.4 * r);
    body.quadTo(head.x() + 2.2 * r, head.y() + 1.4 * r, head.x() + 2.2 * r, head.y() + 4 * r);
    body.closeSubpath();
    p.drawPath(body);
}

void Cloud(QPainter& p, const QColor& fill)
{
    QPainterPath cloud;
    const auto add = [&cloud](const QRectF& r, bool round) {
        QPainterPath part;
        round ? part.addEllipse(r) : part.addRect(r);
        cloud = cloud.united(part);
    };
    add(QRectF(1, 7, 7, 6.5), true);
    add(QRectF(4, 2.5, 8.5, 8.5), true);
    add(QRectF(9, 6.5, 6, 7), true);
    add(QRectF(4.5, 9, 7.5, 4.5), false);
    p.setBrush(fill);
    p.drawPath(cloud);
}

void PaintIcon(QPainter& p, EPageIcon kind)
{
    switch (kind) {
    case EPageIcon::Info:
        p.setBrush(kBlue);
        p.drawEllipse(QPointF(8, 8), 7, 7);
        p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(8, 4.5));
        p.drawLine(QPointF(8, 7.5), QPointF(8, 12));
        break;
    case EPageIcon::Contact:
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(1, 2, 14, 12), 1.5, 1.5);
        Person(p, QPointF(5.5, 6.5), 1.6, kSky);
        p.drawLine(QPointF(10, 6), QPointF(13, 6));
        p.drawLine(QPointF(10, 9), QPointF(13, 9));
        break;
    case EPageIcon::Schedule:
        p.setBrush(kPaper);
        p.drawEllipse(QPointF(8, 8), 7, 7);
        p.setPen(QPen(kInk, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(8, 3.5));
        p.drawLine(QPointF(8, 8), QPointF(11, 10));
        break;
    case EPageIcon::Key:
        p.setBrush(kYellow);
        p.drawEllipse(QPointF(4.5, 8), 3.5, 3.5);
        p.setBrush(kInk);
        p.drawEllipse(QPointF(3.8, 8), 1, 1);
        p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(15, 8));
        p.drawLine(QPointF(13, 8), QPointF(13, 11));
        p.drawLine(QPointF(11, 8), QPointF(11, 10));
        break;
    case EPageIcon::Audio: {
        p.setBrush(kGrey);
        QPolygonF speaker({{1.5, 6}, {4.5, 6}, {8.5, 2.5}, {8.5, 13.5}, {4.5, 10}, {1.5, 10}});
        p.drawPolygon(speaker);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(7, 5, 5, 6), -60 * 16, 120 * 16);
        p.drawArc(QRectF(6, 2.5, 9, 11), -60 * 16, 120 * 16);
        break;
    }
    case EPageIcon::Video:
        p.setBrush(kSky);
        p.drawRoundedRect(QRectF(1, 4.5, 10, 8), 1.5, 1.5);
        p.drawPolygon(QPolygonF({{11, 8.5}, {15, 5.5}, {15, 11.5}}));
        p.setBrush(kRed);
        p.drawEllipse(QPointF(3.5, 7), 0.9, 0.9);
        break;
    case EPageIcon::Text:
        p.setBrush(kPaper);
        p.drawPolygon(QPolygonF({{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}}));
        for (qreal y : {5.0, 7.5, 10.0, 12.5})
            p.drawLine(QPointF(5, y), QPointF(11, y));
        break;
    case EPageIcon::Whiteboard:
        p.drawLine(QPointF(4, 12), QPointF(2.5, 15.5));
        p.drawLine(QPointF(12, 12), QPointF(13.5, 15.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1, 1.5, 14, 10.5));
        p.setPen(QPen(kRed, 1.2, Qt::SolidLine, Qt::RoundCap));
        p.drawPolyline(QPolygonF({{3, 9}, {5.5, 4.5}, {8, 8}, {10.5, 4}, {13, 7}}));
        break;
    case EPageIcon::Folder:
        p.setBrush(kYellow.darker(110));
        p.drawPolygon(QPolygonF({{1, 3}, {6, 3}, {7.5, 4.5}, {15, 4.5}, {15, 13.5}, {1, 13.5}}));
        p.setBrush(kYellow);
        p.drawPolygon(QPolygonF({{1, 13.5}, {2.5, 6.5}, {15, 6.5}, {15, 13.5}}));
        break;
    case EPageIcon::AdminScope:
        Cloud(p, kSky);
        break;
    case EPageIcon::Media:
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(8, 8), 7, 7);
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({{6, 4.5}, {12, 8}, {6, 11.5}}));
        break;
    }
}

void PaintPicture(QPainter& p, int type)
{
    switch (type) {
    case kTypeTest: // a flask
        p.setBrush(kGreen.lighter(150));
        p.drawPolygon(QPolygonF({{12, 4}, {20, 4}, {20, 12}, {27, 27}, {5, 27}, {12, 12}}));
        p.setBrush(kGreen);
        p.drawPolygon(QPolygonF({{9.5, 18}, {22.5, 18}, {27, 27}, {5, 27}}));
        p.drawLine(QPointF(10, 4), QPointF(22, 4));
        break;
    case kTypeBroadcast: // a mast with waves
        p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 14), QPointF(10, 30));
        p.drawLine(QPointF(16, 14), QPointF(22, 30));
        p.drawLine(QPointF(12.5, 24), QPointF(19.5, 24));
        p.setBrush(kRed);
        p.drawEllipse(QPointF(16, 13), 2, 2);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kBlue, 1.6, Qt::SolidLine, Qt::RoundCap));
        for (qreal r : {4.5, 7.5, 10.5})
            p.drawArc(QRectF(16 - r, 13 - r, 2 * r, 2 * r), 30 * 16, 120 * 16);
        break;
    case kTypeMeeting: // people around a table
        Person(p, QPointF(8, 9), 2.6, kSky);
        Person(p, QPointF(24, 9), 2.6, kOrange);
        Person(p, QPointF(16, 7), 2.6, kGreen);
        p.setBrush(QColor(143, 89, 2));
        p.drawRoundedRect(QRectF(3, 20, 26, 5), 2, 2);
        break;
    case kTypeH332: // a screen showing a speaker, an audience before it
        p.setBrush(kPaper);
        p.drawRect(QRectF(4, 2, 24, 15));
        Person(p, QPointF(16, 6.5), 2.2, kSky);
        Person(p, QPointF(7, 22), 2.0, kGrey);
        Person(p, QPointF(16, 22), 2.0, kGrey);
        Person(p, QPointF(25, 22), 2.0, kGrey);
        break;
    case kTypeModerated: // a speaker at a lectern
        Person(p, QPointF(16, 6), 3, kSky);
        p.setBrush(QColor(143, 89, 2));
        p.drawPolygon(QPolygonF({{8, 16}, {24, 16}, {21, 30}, {11, 30}}));
        p.setPen(QPen(kInk, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(22, 16), QPointF(25, 10));
        p.setBrush(kInk);
        p.drawEllipse(QPointF(25, 9.5), 1.3, 1.3);
        break;
    default: { // the globe
        p.setBrush(kSky);
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 6, 13);
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.drawLine(QPointF(16, 3), QPointF(16, 29));
        p.drawArc(QRectF(5, 2, 22, 9), 200 * 16, 140 * 16);
        p.drawArc(QRectF(5, 21, 22, 9), 20 * 16, 140 * 16);
        break;
    }
    }
}

} // namespace

QIcon PageIcon(EPageIcon kind)
{
    return QIcon(Draw(kIconSize, 16, [kind](QPainter& p) { PaintIcon(p, kind); }));
}

QString PageIconName(EPageIcon kind)
{
    switch (kind) {
    case EPageIcon::Info: return "info";
    case EPageIcon::Contact: return "contact";
    case EPageIcon::Schedule: return "schedule";
    case EPageIcon::Key: return "key";
    case EPageIcon::Audio: return "audio";
    case EPageIcon::Video: return "video";
    case EPageIcon::Text: return "text";
    case EPageIcon::Whiteboard: return "whiteboard";
    case EPageIcon::Folder: return "folder";
    case EPageIcon::AdminScope: return "scope";
    case EPageIcon::Media: return "media";
    }
    return {};
}

QPixmap SessionPicture(int sessionType)
{
    return Draw(kPictureSize, 32, [sessionType](QPainter& p) { PaintPicture(p, sessionType); });
}

QString SessionPictureName(int sessionType)
{
    switch (sessionType) {
    case kTypeTest: return "test";
    case kTypeBroadcast: return "broadcast";
    case kTypeMeeting: return "meeting";
    case kTypeH332: return "H332";
    case kTypeModerated: return "moderated";
    default: return "globe";
    }
}
