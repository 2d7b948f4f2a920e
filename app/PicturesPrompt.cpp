// The message window's two animations: the syringe the operator fills and empties into the cell, and the
// analyser's mode switch turning between «изм.» and «под.».

#include "app/Pictures.h"

#include "app/PicturesKit.h"

#include <QLinearGradient>
#include <QRadialGradient>

namespace lorimet {

using namespace pictures;

namespace {

const QColor kLiquid(0x2f, 0x78, 0xd2, 210);
const QColor kGlassEdge(0x3c, 0x4a, 0x58);

qreal smoothStep(qreal t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// The syringe in its own frame: barrel centred on the origin, needle towards +y. fill 0 is the plunger
// pushed home, 1 the barrel full.
void drawSyringe(QPainter& p, qreal fill) {
    const qreal stopperBottom = 7.5 - fill * 12.8;
    const qreal stopperTop = stopperBottom - 2.6;
    const qreal thumb = stopperTop - 15;

    p.setPen(QPen(QColor(0x55, 0x5c, 0x64), 0.7));
    p.setBrush(QColor(0xcf, 0xd5, 0xdb));
    p.drawRect(QRectF(-1.2, thumb, 2.4, stopperTop - thumb));
    p.setBrush(QColor(0x9a, 0xa2, 0xab));
    p.drawRoundedRect(QRectF(-5.2, thumb - 1.7, 10.4, 1.7), 0.6, 0.6);

    if (fill > 0.01) {
        p.setPen(Qt::NoPen);
        p.setBrush(kLiquid);
        p.drawRect(QRectF(-4.3, stopperBottom, 8.6, 8 - stopperBottom));
        p.drawPolygon(
            QPolygonF({QPointF(-1.6, 8), QPointF(1.6, 8), QPointF(0.7, 10.4), QPointF(-0.7, 10.4)}));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x26, 0x29, 0x2d));
    p.drawRoundedRect(QRectF(-4.3, stopperTop, 8.6, 2.6), 0.8, 0.8);
    p.setPen(QPen(QColor(0x55, 0x5a, 0x60), 0.5));
    p.drawLine(QPointF(-4.2, stopperTop + 1.3), QPointF(4.2, stopperTop + 1.3));

    // Glass over everything inside it: a faint tint, a highlight, the outline.
    QLinearGradient glass(QPointF(-4.5, 0), QPointF(4.5, 0));
    glass.setColorAt(0, QColor(0xff, 0xff, 0xff, 40));
    glass.setColorAt(0.3, QColor(0xff, 0xff, 0xff, 150));
    glass.setColorAt(1, QColor(0xd6, 0xe6, 0xf2, 60));
    p.setPen(QPen(kGlassEdge, 0.8));
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(-4.5, -8, 9, 16), 1.0, 1.0);
    p.setPen(QPen(kGlassEdge, 0.5));
    for (int i = 0; i < 5; ++i) {
        const qreal y = 6 - i * 3;
        p.drawLine(QPointF(2.0 - (i % 2) * 1.2, y), QPointF(4.5, y));
    }
    p.setPen(QPen(kGlassEdge, 0.8));
    p.setBrush(QColor(0xe6, 0xec, 0xf1));
    p.drawRoundedRect(QRectF(-7.8, -9.7, 15.6, 1.8), 0.7, 0.7);
    p.setBrush(fill > 0.01 ? QColor(0x9d, 0xc3, 0xee) : QColor(0xe6, 0xec, 0xf1));
    p.drawPolygon(QPolygonF({QPointF(-1.8, 8), QPointF(1.8, 8), QPointF(0.9, 10.6), QPointF(-0.9, 10.6)}));
    p.setPen(QPen(QColor(0x7d, 0x86, 0x90), 1.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(0, 10.6), QPointF(0, 17.2));
    p.setPen(QPen(QColor(0x7d, 0x86, 0x90), 0.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 17.2), QPointF(0, 18.0));
}

// An open glass vessel; level is the liquid's height from the bottom.
void drawVessel(QPainter& p, const QRectF& box, qreal level, qreal opacity) {
    if (opacity <= 0.0)
        return;
    p.save();
    p.setOpacity(opacity);
    QPainterPath body;
    body.moveTo(box.topLeft());
    body.lineTo(box.left(), box.bottom() - 2);
    body.quadTo(box.bottomLeft(), QPointF(box.left() + 2, box.bottom()));
    body.lineTo(box.right() - 2, box.bottom());
    body.quadTo(box.bottomRight(), QPointF(box.right(), box.bottom() - 2));
    body.lineTo(box.topRight());
    const QRectF liquid(box.left(), box.bottom() - level, box.width(), level);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x58, 0x9c, 0xe4, 190));
    p.save();
    p.setClipPath(body);
    p.drawRect(liquid);
    p.setBrush(QColor(0xff, 0xff, 0xff, 110));
    p.drawRect(QRectF(liquid.left(), liquid.top(), liquid.width(), 0.8));
    p.restore();
    p.setBrush(QColor(0xff, 0xff, 0xff, 45));
    p.setPen(QPen(kGlassEdge, 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(body);
    p.drawLine(box.topLeft() + QPointF(-1, 0), box.topLeft() + QPointF(0.5, 0));
    p.drawLine(box.topRight() + QPointF(-0.5, 0), box.topRight() + QPointF(1, 0));
    p.restore();
}

void drawDrop(QPainter& p, QPointF tip, qreal size) {
    p.setPen(QPen(QColor(0x1d, 0x55, 0x9c), 0.5));
    p.setBrush(QColor(0x58, 0x9c, 0xe4));
    p.drawPath(dropPath(QRectF(tip.x() - size / 2, tip.y(), size, size * 1.5)));
}

constexpr qreal kSyringeSize = 0.8;         // the syringe's own frame is 42 units long
const QPointF kFillingOrigin(20, 22.1);     // upright, needle in the vial
const QPointF kInjectingOrigin(21.5, 16.5); // level, needle tip over the cell
const QRectF kVial(12.5, 28.5, 15, 10.5);
const QRectF kCell(29.5, 27.5, 9.5, 11.5);

void paintSyringe(QPainter& p, int step) {
    qreal fill = 1.0;
    qreal withdrawn = 0.0; // the vial drops away first, so that the needle is free before it turns
    qreal turn = 0.0;
    if (step <= 10) {
        fill = step / 10.0;
    } else if (step <= 20) {
        const qreal t = (step - 10) / 10.0;
        withdrawn = smoothStep(t / 0.4);
        turn = smoothStep((t - 0.2) / 0.8);
    } else {
        withdrawn = turn = 1.0;
        fill = (30 - step) / 10.0;
    }
    const qreal emptied = step > 20 ? (step - 20) / 10.0 : 0.0;

    const QRectF vial = kVial.translated(0, 11.0 * withdrawn);
    const qreal vialLevel = 7.5 - 2.5 * fill;
    drawVessel(p, vial, vialLevel, 1.0 - withdrawn);
    drawVessel(p, kCell, 2.5 + 5.0 * emptied, turn);

    const QPointF origin = kFillingOrigin + (kInjectingOrigin - kFillingOrigin) * turn;
    p.save();
    p.translate(origin);
    p.rotate(-90.0 * turn);
    p.scale(kSyringeSize, kSyringeSize);
    drawSyringe(p, fill);
    p.restore();

    // While the plunger moves in, drops fall from the needle into the cell.
    if (step > 20 && step < 30) {
        const QPointF tip = origin + QPointF(18.0 * kSyringeSize, 0);
        drawDrop(p, tip + QPointF(0, 2.0 + ((step - 21) % 3) * 3.6), 2.6);
    }
    // While filling, the needle stands in the vial's liquid: redraw the liquid over it, faintly.
    if (withdrawn < 1.0) {
        p.save();
        p.setOpacity(0.35 * (1.0 - withdrawn));
        p.fillRect(QRectF(vial.left() + 0.5, vial.bottom() - vialLevel, vial.width() - 1, vialLevel - 1.5),
                   QColor(0x58, 0x9c, 0xe4));
        p.restore();
    }
}

// The mode switch seen from the front: a ribbed knob with a slot and a white mark at one end of it.
// Step 1 points the mark right, at «изм.»; step 11 points it up, at «под.».
void paintKnob(QPainter& p, int step) {
    const QPointF centre(16, 16);
    const qreal r = 12.2;
    const QColor legend(0x2b, 0x31, 0x38);

    p.setPen(QPen(legend, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(0, -r - 3.4), centre + QPointF(0, -r - 1.3));
    p.drawLine(centre + QPointF(r + 1.3, 0), centre + QPointF(r + 3.4, 0));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(centre + QPointF(0.9, 1.2), r, r);
    QRadialGradient body(centre + QPointF(-3.5, -4), r * 1.5);
    body.setColorAt(0, QColor(0x60, 0x68, 0x71));
    body.setColorAt(1, QColor(0x1c, 0x20, 0x24));
    p.setBrush(body);
    p.setPen(QPen(QColor(0x10, 0x12, 0x15), 0.8));
    p.drawEllipse(centre, r, r);

    const qreal angle = -9.0 * (std::clamp(step, 1, kKnobSteps) - 1);
    p.save();
    p.translate(centre);
    p.rotate(angle);
    // The ribs turn with the knob, which is what makes a symmetric knob visibly turn.
    p.setPen(QPen(QColor(0x0b, 0x0d, 0x0f), 0.8));
    for (int i = 0; i < 24; ++i) {
        const qreal a = i * 2 * kPi / 24 + kPi / 24;
        p.drawLine(QPointF(std::cos(a), std::sin(a)) * (r - 2.0),
                   QPointF(std::cos(a), std::sin(a)) * (r - 0.3));
    }
    const qreal capR = r - 3.2;
    QRadialGradient cap(QPointF(-2.5, -3), capR * 1.7);
    cap.setColorAt(0, QColor(0x9a, 0xa2, 0xaa));
    cap.setColorAt(1, QColor(0x3b, 0x41, 0x48));
    p.restore();
    p.save();
    p.translate(centre);
    p.setBrush(cap);
    p.setPen(QPen(QColor(0x1d, 0x21, 0x25), 0.6));
    p.drawEllipse(QPointF(0, 0), capR, capR);
    p.rotate(angle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0e, 0x10, 0x12));
    p.drawRoundedRect(QRectF(-capR + 1.2, -1.6, 2 * capR - 2.4, 3.2), 1.4, 1.4);
    p.setBrush(QColor(0xff, 0xff, 0xff, 90));
    p.drawRect(QRectF(-capR + 2.0, 1.0, 2 * capR - 4, 0.6));
    p.setBrush(QColor(0xf6, 0xf4, 0xea));
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 0.4));
    p.drawPolygon(QPolygonF({QPointF(r - 0.6, 0), QPointF(r - 3.4, -1.7), QPointF(r - 3.4, 1.7)}));
    p.restore();
}

} // namespace

QPixmap syringePicture(int step, qreal scale) {
    step = std::clamp(step, 1, kSyringeSteps);
    return paintPixmap(QSize(40, 40), scale, [step](QPainter& p) { paintSyringe(p, step); });
}

QPixmap knobPicture(int step, qreal scale) {
    step = std::clamp(step, 1, kKnobSteps);
    return paintPixmap(QSize(32, 32), scale, [step](QPainter& p) { paintKnob(p, step); });
}

} // namespace lorimet
