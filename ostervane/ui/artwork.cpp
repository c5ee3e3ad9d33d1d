// The banner: a handheld passing its ROM to a chip card on a deep teal band, with the program's
// name.  The icon: the same handheld over the chip, on a rounded teal square.
#include "ostervane/ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ostervane::ui {

namespace {

const QColor kDeepTeal(16, 78, 92);
const QColor kNight(14, 32, 58);
const QColor kAmber(244, 178, 62);
const QColor kScreen(170, 214, 160);
const QColor kShell(226, 232, 236);

// A handheld in `box`: rounded shell, green screen with lines, four buttons and a stylus slot.
void DrawHandheld(QPainter &p, const QRectF &box) {
    qreal w = box.width(), h = box.height();
    p.setPen(QPen(QColor(60, 70, 80), qMax(1.0, w / 30)));
    p.setBrush(kShell);
    p.drawRoundedRect(box, w * 0.14, w * 0.14);
    QRectF screen(box.x() + w * 0.14, box.y() + h * 0.1, w * 0.72, h * 0.56);
    p.setPen(QPen(QColor(50, 80, 50), qMax(1.0, w / 40)));
    p.setBrush(kScreen);
    p.drawRect(screen);
    p.setPen(QPen(QColor(60, 100, 60), qMax(1.0, h / 60)));
    for (int i = 1; i <= 3; ++i) {
        qreal y = screen.y() + screen.height() * i / 4.5;
        p.drawLine(QPointF(screen.x() + w * 0.08, y), QPointF(screen.right() - w * 0.12 * i, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 104, 118));
    qreal r = w * 0.07;
    for (int i = 0; i < 4; ++i) {
        qreal cx = box.x() + w * (0.2 + 0.2 * i);
        p.drawEllipse(QPointF(cx, box.y() + h * 0.82), r, r);
    }
}

// A flash chip in `box`: dark body with amber pins on both long sides.
void DrawChip(QPainter &p, const QRectF &box) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    int pins = 5;
    qreal pinW = box.width() * 0.1, pinH = box.height() / (pins * 2);
    for (int i = 0; i < pins; ++i) {
        qreal y = box.y() + box.height() * (0.5 + 2 * i) / (pins * 2);
        p.drawRect(QRectF(box.x() - pinW, y, pinW * 2, pinH));
        p.drawRect(QRectF(box.right() - pinW, y, pinW * 2, pinH));
    }
    p.setBrush(QColor(32, 36, 44));
    p.drawRoundedRect(box.adjusted(pinW * 0.5, 0, -pinW * 0.5, 0), 2, 2);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(box.x() + box.width() * 0.3, box.y() + box.height() * 0.14),
                  box.width() * 0.06, box.width() * 0.06);
}

// A double arrow between two points: the ROM goes both ways.
void DrawExchange(QPainter &p, QPointF from, QPointF to, qreal size) {
    p.setPen(QPen(kAmber, size / 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    QPainterPath head;
    head.moveTo(to + QPointF(size * 0.6, 0));
    head.lineTo(to + QPointF(-size * 0.4, -size * 0.6));
    head.lineTo(to + QPointF(-size * 0.4, size * 0.6));
    head.closeSubpath();
    p.drawPath(head);
    QPainterPath tail;
    tail.moveTo(from + QPointF(-size * 0.6, 0));
    tail.lineTo(from + QPointF(size * 0.4, -size * 0.6));
    tail.lineTo(from + QPointF(size * 0.4, size * 0.6));
    tail.closeSubpath();
    p.drawPath(tail);
}

} // namespace

QPixmap BannerPixmap() {
    QPixmap banner(kBannerWidth, kBannerHeight);
    QPainter p(&banner);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, kBannerWidth, kBannerHeight);
    band.setColorAt(0, kDeepTeal);
    band.setColorAt(1, kNight);
    p.fillRect(banner.rect(), band);
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    for (int x = -kBannerHeight; x < kBannerWidth; x += 12) {
        p.drawLine(x, kBannerHeight, x + kBannerHeight, 0);
    }
    DrawHandheld(p, QRectF(14, 10, 40, 66));
    DrawExchange(p, QPointF(64, 43), QPointF(92, 43), 8);
    DrawChip(p, QRectF(104, 26, 26, 34));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(26);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(142, 14, 174, 36), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Ostervane"));
    QFont line = title;
    line.setPixelSize(11);
    line.setBold(false);
    p.setFont(line);
    p.setPen(kAmber);
    p.drawText(QRectF(144, 50, 172, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("ROM backup and restore"));
    return banner;
}

QPixmap IconPixmap(int size) {
    QPixmap icon(size, size);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    qreal s = size;
    QLinearGradient face(0, 0, s, s);
    face.setColorAt(0, kDeepTeal);
    face.setColorAt(1, kNight);
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), s * 0.2, s * 0.2);
    DrawChip(p, QRectF(s * 0.58, s * 0.5, s * 0.24, s * 0.32));
    DrawHandheld(p, QRectF(s * 0.16, s * 0.12, s * 0.36, s * 0.62));
    DrawExchange(p, QPointF(s * 0.58, s * 0.3), QPointF(s * 0.78, s * 0.3), s * 0.09);
    return icon;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(IconPixmap(size));
    }
    return icon;
}

} // namespace ostervane::ui
