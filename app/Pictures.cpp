#include "app/Pictures.h"

#include "app/PicturesKit.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QRadialGradient>

#include <functional>

namespace lorimet {

using namespace pictures;

namespace {

// The instrument's vertical axis: the display and the keys the window lays over the panel are centred on it.
constexpr qreal kAxis = 117.5;

const QColor kInk(0x00, 0x00, 0x80);     // the display's navy, as its live labels
const QColor kLegend(0x2b, 0x31, 0x38);  // printed legends on the face
const QColor kMedGray(0xa4, 0xa0, 0xa0); // the display glass when the backlight is off

void drawText(QPainter& p, const QRectF& box, const QString& text, const QFont& font, const QColor& colour,
              int flags = Qt::AlignCenter) {
    p.save();
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, flags, text);
    p.restore();
}

// Legends are printed slightly embossed: a faint light copy below the dark one.
void drawLegend(QPainter& p, const QRectF& box, const QString& text, int pixelSize = 9,
                int flags = Qt::AlignCenter) {
    const QFont font = condensedFont(pixelSize, QFont::DemiBold);
    drawText(p, box.translated(0, 0.7), text, font, QColor(255, 255, 255, 150), flags);
    drawText(p, box, text, font, kLegend, flags);
}

void drawScrew(QPainter& p, QPointF centre) {
    QRadialGradient head(centre + QPointF(-0.8, -0.8), 3.2);
    head.setColorAt(0, QColor(0xf2, 0xf3, 0xf4));
    head.setColorAt(1, QColor(0x8d, 0x93, 0x99));
    p.setPen(QPen(QColor(0x5b, 0x61, 0x67), 0.6));
    p.setBrush(head);
    p.drawEllipse(centre, 2.8, 2.8);
    p.setPen(QPen(QColor(0x4a, 0x4f, 0x55), 0.8));
    p.drawLine(centre + QPointF(-1.7, -1.7), centre + QPointF(1.7, 1.7));
    p.drawLine(centre + QPointF(-1.7, 1.7), centre + QPointF(1.7, -1.7));
}

// A push key exactly over a clickable spot, with a small symbol on its cap.
void drawKey(QPainter& p, const QRect& spot, const QColor& cap,
             const std::function<void(QPainter&)>& symbol) {
    const QRectF key = QRectF(spot).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath well;
    well.addRoundedRect(key.adjusted(-2, -2, 2, 2), 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4d, 0x53, 0x5a));
    p.drawPath(well);
    drawRelief(p, well, false);

    QPainterPath body;
    body.addRoundedRect(key, 2.5, 2.5);
    QLinearGradient face(key.topLeft(), key.bottomLeft());
    face.setColorAt(0, cap.lighter(135));
    face.setColorAt(0.55, cap);
    face.setColorAt(1, cap.darker(135));
    p.setBrush(face);
    p.setPen(QPen(cap.darker(220), 0.8));
    p.drawPath(body);
    p.setPen(QPen(QColor(255, 255, 255, 140), 0.8));
    p.drawLine(key.topLeft() + QPointF(2.5, 1.2), key.topRight() + QPointF(-2.5, 1.2));
    p.save();
    p.translate(key.center());
    symbol(p);
    p.restore();
}

void drawBrandPlate(QPainter& p) {
    const QRectF plate(kAxis - 63, 19, 126, 23);
    QPainterPath shape;
    shape.addRoundedRect(plate, 4, 4);
    QLinearGradient metal(plate.topLeft(), plate.bottomLeft());
    metal.setColorAt(0, QColor(0x46, 0x55, 0x66));
    metal.setColorAt(1, QColor(0x1e, 0x27, 0x31));
    p.setPen(QPen(QColor(0x15, 0x1a, 0x20), 0.8));
    p.setBrush(metal);
    p.drawPath(shape);
    drawRelief(p, shape, true, 0.8);
    QFont font = pictureFont(14, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    font = fittedFont(font, QStringLiteral("ЛОРИМЕТ"), plate.width() - 26);
    drawText(p, plate.translated(0.5, 1.5), QStringLiteral("ЛОРИМЕТ"), font, QColor(0, 0, 0, 150));
    drawText(p, plate.translated(0.5, 0.5), QStringLiteral("ЛОРИМЕТ"), font, QColor(0xe4, 0xe9, 0xee));
    drawScrew(p, plate.topLeft() + QPointF(7, 11.5));
    drawScrew(p, plate.topRight() + QPointF(-7, 11.5));
}

void drawDisplayBezel(QPainter& p) {
    const QRectF indicator(kIndicatorRect);
    const QRectF frame = indicator.adjusted(-9, -9, 9, 11);
    QPainterPath outer;
    outer.addRoundedRect(frame, 6, 6);
    QLinearGradient dark(frame.topLeft(), frame.bottomLeft());
    dark.setColorAt(0, QColor(0x4a, 0x51, 0x59));
    dark.setColorAt(1, QColor(0x23, 0x28, 0x2e));
    p.setPen(QPen(QColor(0x18, 0x1b, 0x1f), 0.8));
    p.setBrush(dark);
    p.drawPath(outer);
    drawRelief(p, outer, true);

    QPainterPath recess;
    recess.addRoundedRect(indicator.adjusted(-2.5, -2.5, 2.5, 2.5), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x12, 0x15, 0x18));
    p.drawPath(recess);
    drawRelief(p, recess, false, 0.6);
    // The window covers this with the live display; the glass colour keeps any seam invisible.
    p.setBrush(kMedGray);
    p.drawRect(indicator);
    p.setPen(QPen(QColor(0xb8, 0xbd, 0xc2), 1));
    const QFont small = condensedFont(7, QFont::DemiBold);
    drawText(p, QRectF(frame.left(), indicator.bottom() + 2.5, frame.width(), 8),
             QStringLiteral("O₂ · %нас · t °C"), small, QColor(0xb8, 0xbe, 0xc4));
}

// The mode switch as the knob pictures show it: slot vertical at «под.», horizontal at «изм.».
void drawSwitch(QPainter& p, QPointF centre) {
    const qreal r = 15;
    p.setPen(QPen(kLegend, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(0, -r - 4.5), centre + QPointF(0, -r - 1.5));
    p.drawLine(centre + QPointF(r + 1.5, 0), centre + QPointF(r + 4.5, 0));
    drawLegend(p, QRectF(centre.x() - 20, centre.y() - r - 16, 40, 10), QStringLiteral("под."));
    drawLegend(p, QRectF(centre.x() + r + 7, centre.y() - 5, 30, 10), QStringLiteral("изм."), 9,
               Qt::AlignLeft | Qt::AlignVCenter);

    QPainterPath skirt;
    skirt.addEllipse(centre, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawPath(skirt.translated(1.2, 1.6));
    QRadialGradient body(centre + QPointF(-4, -5), r * 1.5);
    body.setColorAt(0, QColor(0x5d, 0x65, 0x6e));
    body.setColorAt(1, QColor(0x1f, 0x23, 0x28));
    p.setBrush(body);
    p.setPen(QPen(QColor(0x12, 0x14, 0x17), 0.8));
    p.drawPath(skirt);
    p.setPen(QPen(QColor(0x0e, 0x10, 0x12), 0.7));
    for (int i = 0; i < 30; ++i) {
        const qreal a = i * 2 * kPi / 30;
        p.drawLine(centre + QPointF(std::cos(a), std::sin(a)) * (r - 2.2),
                   centre + QPointF(std::cos(a), std::sin(a)) * (r - 0.4));
    }
    const qreal capR = r - 4;
    QRadialGradient cap(centre + QPointF(-3, -4), capR * 1.6);
    cap.setColorAt(0, QColor(0x8e, 0x96, 0x9e));
    cap.setColorAt(1, QColor(0x3a, 0x40, 0x47));
    p.setBrush(cap);
    p.setPen(QPen(QColor(0x20, 0x24, 0x28), 0.6));
    p.drawEllipse(centre, capR, capR);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x12, 0x14));
    p.drawRoundedRect(QRectF(centre.x() - 1.6, centre.y() - capR + 1.5, 3.2, 2 * capR - 3), 1.4, 1.4);
    p.setBrush(QColor(0xf4, 0xf4, 0xf0));
    p.drawEllipse(centre + QPointF(0, -r + 2.3), 1.3, 1.3);
}

void drawElectrodeSocket(QPainter& p, QPointF centre) {
    drawLegend(p, QRectF(centre.x() - 26, centre.y() - 31, 52, 10), QStringLiteral("Датчик O₂"));
    const qreal r = 13;
    QPainterPath nut;
    for (int i = 0; i < 6; ++i) {
        const qreal a = kPi / 6 + i * kPi / 3;
        const QPointF corner = centre + QPointF(std::cos(a), std::sin(a)) * (r + 2);
        if (i == 0)
            nut.moveTo(corner);
        else
            nut.lineTo(corner);
    }
    nut.closeSubpath();
    QLinearGradient steel(centre - QPointF(r, r), centre + QPointF(r, r));
    steel.setColorAt(0, QColor(0xf0, 0xf2, 0xf4));
    steel.setColorAt(0.5, QColor(0xa9, 0xb0, 0xb7));
    steel.setColorAt(1, QColor(0x6d, 0x74, 0x7b));
    p.setPen(QPen(QColor(0x4f, 0x55, 0x5b), 0.8));
    p.setBrush(steel);
    p.drawPath(nut);
    p.setBrush(QColor(0x2a, 0x2e, 0x33));
    p.drawEllipse(centre, r - 4, r - 4);
    p.setPen(Qt::NoPen);
    QRadialGradient insulator(centre, r - 5.5);
    insulator.setColorAt(0, QColor(0x5a, 0x60, 0x66));
    insulator.setColorAt(1, QColor(0x34, 0x39, 0x3e));
    p.setBrush(insulator);
    p.drawEllipse(centre, r - 5.5, r - 5.5);
    p.setBrush(QColor(0xd9, 0xb3, 0x4a));
    for (int i = 0; i < 4; ++i) {
        const qreal a = kPi / 4 + i * kPi / 2;
        p.drawEllipse(centre + QPointF(std::cos(a), std::sin(a)) * 3.6, 1.1, 1.1);
    }
    p.setBrush(QColor(0x1a, 0x1d, 0x20));
    p.drawRect(QRectF(centre.x() - 0.8, centre.y() - r + 3.2, 1.6, 2.4)); // the key groove
}

void drawVents(QPainter& p, qreal left, qreal top) {
    for (int i = 0; i < 7; ++i) {
        QPainterPath slot;
        slot.addRoundedRect(QRectF(left, top + i * 11, 28, 4), 2, 2);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x3f, 0x45));
        p.drawPath(slot);
        drawRelief(p, slot, false, 0.8);
    }
}

void drawGroupFrame(QPainter& p, const QRectF& frame, const QString& title) {
    const QFont font = condensedFont(8, QFont::DemiBold);
    const qreal titleWidth = QFontMetricsF(font).horizontalAdvance(title) + 8;
    QPainterPath line;
    const qreal r = 5;
    line.moveTo(frame.center().x() - titleWidth / 2, frame.top());
    line.lineTo(frame.left() + r, frame.top());
    line.arcTo(QRectF(frame.left(), frame.top(), 2 * r, 2 * r), 90, 90);
    line.lineTo(frame.left(), frame.bottom() - r);
    line.arcTo(QRectF(frame.left(), frame.bottom() - 2 * r, 2 * r, 2 * r), 180, 90);
    line.lineTo(frame.right() - r, frame.bottom());
    line.arcTo(QRectF(frame.right() - 2 * r, frame.bottom() - 2 * r, 2 * r, 2 * r), 270, 90);
    line.lineTo(frame.right(), frame.top() + r);
    line.arcTo(QRectF(frame.right() - 2 * r, frame.top(), 2 * r, 2 * r), 0, 90);
    line.lineTo(frame.center().x() + titleWidth / 2, frame.top());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 190), 1));
    p.drawPath(line.translated(0.7, 0.7));
    p.setPen(QPen(QColor(0x6a, 0x71, 0x78), 1));
    p.drawPath(line);
    drawText(p, QRectF(frame.center().x() - titleWidth / 2, frame.top() - 5, titleWidth, 10), title, font,
             kLegend);
}

void paintFrontPanel(QPainter& p) {
    // Case and feet.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x26, 0x2a, 0x2f));
    p.drawRoundedRect(QRectF(24, 384, 40, 10), 3, 3);
    p.drawRoundedRect(QRectF(kAxis * 2 - 64, 384, 40, 10), 3, 3);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(QRectF(8, 10, 225, 380), 12, 12);

    const QRectF caseRect(5.5, 5.5, 224, 382);
    QPainterPath caseShape;
    caseShape.addRoundedRect(caseRect, 12, 12);
    QLinearGradient shell(caseRect.topLeft(), caseRect.topRight());
    shell.setColorAt(0, QColor(0xc4, 0xc8, 0xcc));
    shell.setColorAt(0.5, QColor(0xd6, 0xd9, 0xdc));
    shell.setColorAt(1, QColor(0xae, 0xb3, 0xb8));
    p.setPen(QPen(QColor(0x5f, 0x66, 0x6d), 1));
    p.setBrush(shell);
    p.drawPath(caseShape);

    const QRectF faceRect(13.5, 12.5, 208, 366);
    QPainterPath face;
    face.addRoundedRect(faceRect, 8, 8);
    QLinearGradient faceFill(faceRect.topLeft(), faceRect.bottomLeft());
    faceFill.setColorAt(0, QColor(0xe8, 0xea, 0xec));
    faceFill.setColorAt(1, QColor(0xcc, 0xd0, 0xd4));
    p.setPen(Qt::NoPen);
    p.setBrush(faceFill);
    p.drawPath(face);
    drawRelief(p, face, true);

    for (const QPointF screw : {QPointF(22, 21), QPointF(213, 21), QPointF(22, 370), QPointF(213, 370)})
        drawScrew(p, screw);

    drawBrandPlate(p);
    drawDisplayBezel(p);

    // Mode switch on the left, the sensor socket on the right.
    drawSwitch(p, QPointF(kAxis - 60, 182));
    drawElectrodeSocket(p, QPointF(kAxis + 56, 184));

    // Backlight and mains keys with their legends, and the mains lamp.
    drawLegend(p, QRectF(kLumineSpot.center().x() - 30, kLumineSpot.top() - 15, 61, 10),
               QStringLiteral("Подсветка"));
    drawKey(p, kLumineSpot, QColor(0xd0, 0xd4, 0xd8), [](QPainter& k) {
        k.setPen(QPen(QColor(0x6b, 0x5a, 0x10), 0.9, Qt::SolidLine, Qt::RoundCap));
        k.setBrush(QColor(0xf2, 0xc9, 0x3a));
        k.drawEllipse(QPointF(0, 0), 2.0, 2.0);
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * kPi / 4;
            k.drawLine(QPointF(std::cos(a), std::sin(a)) * 3.2, QPointF(std::cos(a), std::sin(a)) * 4.6);
        }
    });
    drawLegend(p, QRectF(kPowerSpot.center().x() - 20, kPowerSpot.top() - 15, 41, 10),
               QStringLiteral("Сеть"));
    drawKey(p, kPowerSpot, QColor(0xb9, 0x3a, 0x32), [](QPainter& k) {
        k.setPen(QPen(QColor(0xfb, 0xf1, 0xee), 1.1, Qt::SolidLine, Qt::RoundCap));
        k.setBrush(Qt::NoBrush);
        k.drawArc(QRectF(-3.6, -3.3, 7.2, 7.2), 60 * 16, -300 * 16);
        k.drawLine(QPointF(0, -4.4), QPointF(0, -0.6));
    });
    const QPointF lamp(kPowerSpot.right() + 12, kPowerSpot.center().y() + 0.5);
    QRadialGradient glow(lamp + QPointF(-0.7, -0.7), 3.2);
    glow.setColorAt(0, QColor(0xc8, 0xff, 0xb4));
    glow.setColorAt(1, QColor(0x2c, 0x9e, 0x2a));
    p.setPen(QPen(QColor(0x30, 0x36, 0x3b), 0.8));
    p.setBrush(glow);
    p.drawEllipse(lamp, 2.8, 2.8);

    // The factory-settings keys in their group.
    drawGroupFrame(p, QRectF(kAxis - 50, 262, 100, 112), QStringLiteral("Установки"));
    drawLegend(p, QRectF(kAxis - 40, kReloadSpot.top() - 15, 80, 10), QStringLiteral("Завод. уст."));
    const auto arrowSymbol = [](bool down) {
        return [down](QPainter& k) {
            k.setPen(QPen(QColor(0x2d, 0x33, 0x39), 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            k.setBrush(Qt::NoBrush);
            if (down) {
                k.drawLine(QPointF(0, -3.8), QPointF(0, 2.0));
                k.drawPolyline(QPolygonF({QPointF(-2.4, -0.2), QPointF(0, 2.2), QPointF(2.4, -0.2)}));
                k.drawLine(QPointF(-3.5, 3.9), QPointF(3.5, 3.9));
            } else {
                k.drawArc(QRectF(-3.4, -3.4, 6.8, 6.8), 90 * 16, 270 * 16);
                k.drawPolyline(QPolygonF({QPointF(-1.4, -5.2), QPointF(0.4, -3.4), QPointF(-1.4, -1.6)}));
            }
        };
    };
    drawKey(p, kReloadSpot, QColor(0xd0, 0xd4, 0xd8), arrowSymbol(false));
    drawLegend(p, QRectF(kAxis - 40, kSaveSpot.top() - 15, 80, 10), QStringLiteral("Сохр. уст."));
    drawKey(p, kSaveSpot, QColor(0xd0, 0xd4, 0xd8), arrowSymbol(true));

    drawVents(p, 24, 282);
    drawVents(p, kAxis * 2 - 52, 282);
}

void paintOxy(QPainter& p) {
    const QFont letter = pictureFont(13, QFont::Bold);
    const QFont index = pictureFont(8, QFont::Bold);
    p.setPen(kInk);
    p.setFont(letter);
    p.drawText(QPointF(1, 12), QStringLiteral("O"));
    const qreal after = 1 + QFontMetricsF(letter).horizontalAdvance(QStringLiteral("O"));
    p.setFont(index);
    p.drawText(QPointF(after, 14.5), QStringLiteral("2"));
}

void paintBpk(QPainter& p) {
    drawText(p, QRectF(0, 0, 35, 12), QStringLiteral("БПК"), pictureFont(11, QFont::Bold), kInk);
}

// The emblem of the program: a drop with the falling signal inside it.
void drawEmblem(QPainter& p, const QRectF& box, const QColor& drop, const QColor& outline,
                const QColor& curve) {
    const QPainterPath shape = dropPath(box);
    QLinearGradient fill(box.topLeft(), box.bottomRight());
    fill.setColorAt(0, drop.lighter(140));
    fill.setColorAt(1, drop);
    p.setBrush(fill);
    p.setPen(QPen(outline, std::max(0.8, box.width() / 28)));
    p.drawPath(shape);
    const qreal w = box.width();
    const QRectF curveBox(box.left() + 0.2 * w, box.bottom() - 0.78 * w, 0.6 * w, 0.42 * w);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(curve, std::max(1.0, w / 14), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(fallingCurvePath(curveBox));
    p.setPen(QPen(QColor(255, 255, 255, 150), std::max(0.8, w / 20), Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(box.left() + 0.16 * w, box.bottom() - 0.86 * w, 0.68 * w, 0.68 * w), 120 * 16, 45 * 16);
}

void paintDisplayLogo(QPainter& p) {
    drawEmblem(p, QRectF(5, 7, 28, 42), QColor(0x6f, 0x86, 0xb8, 120), kInk, kInk);
    QFont title = fittedFont(pictureFont(16, QFont::Black), QStringLiteral("ЛОРИМЕТ"), 86);
    drawText(p, QRectF(36, 8, 88, 22), QStringLiteral("ЛОРИМЕТ"), title, kInk,
             Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(37, 31.5), QPointF(121, 31.5));
    drawText(p, QRectF(36, 33, 88, 12), QStringLiteral("анализатор БПК"),
             fittedFont(condensedFont(10, QFont::DemiBold), QStringLiteral("анализатор БПК"), 86), kInk,
             Qt::AlignLeft | Qt::AlignVCenter);
    drawText(p, QRectF(36, 45, 88, 10), QStringLiteral("O₂ · t °C · БПК'"), condensedFont(8), kInk,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void drawWaves(QPainter& p, const QRectF& area, const QColor& colour, int count) {
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < count; ++i) {
        QPainterPath wave;
        const qreal y = area.top() + i * area.height() / count;
        wave.moveTo(area.left(), y);
        for (qreal x = area.left(); x <= area.right() + 1; x += 2)
            wave.lineTo(x, y + 2.2 * std::sin((x + 23 * i) / 11.0));
        QColor c = colour;
        c.setAlphaF(colour.alphaF() * (1.0 - 0.25 * i));
        p.setPen(QPen(c, 1.2));
        p.drawPath(wave);
    }
}

// One line of text in a box; the font shrinks when the system's font would run past the box.
void drawTextLine(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
                  const QColor& colour, int flags = Qt::AlignLeft | Qt::AlignVCenter) {
    drawText(p, box, text, fittedFont(font, text, box.width()), colour, flags);
}

void paintSplash(QPainter& p) {
    const QRectF all(0, 0, 260, 116);
    QLinearGradient sky(all.topLeft(), all.bottomLeft());
    sky.setColorAt(0, QColor(0x10, 0x2b, 0x55));
    sky.setColorAt(1, QColor(0x2a, 0x69, 0xad));
    p.fillRect(all, sky);
    drawWaves(p, QRectF(0, 92, 260, 24), QColor(255, 255, 255, 90), 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawPath(dropPath(QRectF(22, 16, 46, 72)).translated(2, 3));
    drawEmblem(p, QRectF(20, 14, 46, 72), QColor(0x6c, 0xb4, 0xf0), QColor(0xe8, 0xf4, 0xff),
               QColor(0x0d, 0x2a, 0x57));

    QFont title = pictureFont(29, QFont::Black);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    const QRectF titleBox(80, 15, 172, 36);
    drawTextLine(p, titleBox.translated(1.5, 2), QStringLiteral("ЛОРИМЕТ"), title, QColor(0, 0, 0, 90));
    drawTextLine(p, titleBox, QStringLiteral("ЛОРИМЕТ"), title, Qt::white);
    p.setPen(QPen(QColor(0x8f, 0xc8, 0xff), 1.5));
    p.drawLine(QPointF(82, 54), QPointF(246, 54));
    drawTextLine(p, QRectF(81, 58, 168, 16), QStringLiteral("экспресс-анализатор БПК"),
                 pictureFont(12, QFont::DemiBold), QColor(0xdd, 0xee, 0xff));
    drawTextLine(p, QRectF(81, 74, 168, 14), QStringLiteral("биохимическое потребление кислорода"),
                 condensedFont(9), QColor(0xb5, 0xd3, 0xf2));
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        drawTextLine(p, QRectF(150, 98, 104, 14), QStringLiteral("версия ") + version, condensedFont(9),
                     QColor(0xdd, 0xee, 0xff), Qt::AlignRight | Qt::AlignVCenter);
}

void paintContacts(QPainter& p) {
    const QRectF all(0, 0, 260, 116);
    QLinearGradient paper(all.topLeft(), all.bottomRight());
    paper.setColorAt(0, QColor(0xff, 0xff, 0xff));
    paper.setColorAt(1, QColor(0xd8, 0xe7, 0xf5));
    p.fillRect(all, paper);
    drawWaves(p, QRectF(0, 96, 260, 20), QColor(0x2a, 0x69, 0xad, 80), 3);

    // The instrument itself, small, at the left, its display lit and showing the logo.
    p.save();
    p.translate(10, 5);
    const qreal shrink = 106.0 / kFrontPanelSize.height();
    p.scale(shrink, shrink);
    paintFrontPanel(p);
    p.fillRect(kIndicatorRect, QColor(0xc0, 0xdc, 0xc0));
    p.translate(kIndicatorRect.left() + 4.5, kIndicatorRect.top() + 7);
    paintDisplayLogo(p);
    p.restore();

    const QColor navy(0x10, 0x2b, 0x55);
    QFont title = pictureFont(24, QFont::Black);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    drawTextLine(p, QRectF(84, 12, 168, 30), QStringLiteral("ЛОРИМЕТ"), title, navy);
    p.setPen(QPen(QColor(0x2a, 0x69, 0xad), 1.5));
    p.drawLine(QPointF(86, 45), QPointF(248, 45));
    drawTextLine(p, QRectF(85, 49, 165, 15), QStringLiteral("экспресс-анализатор БПК"),
                 pictureFont(11, QFont::DemiBold), QColor(0x1d, 0x4a, 0x80));
    drawEmblem(p, QRectF(224, 64, 20, 30), QColor(0x3f, 0x8f, 0xdc), navy, Qt::white);
    const QColor grey(0x3a, 0x4a, 0x5c);
    drawTextLine(p, QRectF(85, 66, 134, 13), QStringLiteral("лабораторный прибор"), condensedFont(9), grey);
    drawTextLine(p, QRectF(85, 79, 134, 13), QStringLiteral("для анализа воды"), condensedFont(9), grey);
}

} // namespace

QPixmap frontPanelPicture(qreal scale) {
    return paintPixmap(kFrontPanelSize, scale, paintFrontPanel);
}

QPixmap oxyPicture(qreal scale) {
    return paintPixmap(QSize(18, 15), scale, paintOxy);
}

QPixmap bpkPicture(qreal scale) {
    return paintPixmap(QSize(35, 12), scale, paintBpk);
}

QPixmap displayLogo(qreal scale) {
    return paintPixmap(QSize(124, 58), scale, paintDisplayLogo);
}

QPixmap splashPicture(qreal scale) {
    return paintPixmap(QSize(260, 116), scale, paintSplash);
}

QPixmap contactsPicture(qreal scale) {
    return paintPixmap(QSize(260, 116), scale, paintContacts);
}

QPixmap promptPicture(QChar letter, int step, qreal scale) {
    switch (letter.toUpper().unicode()) {
    case u'F':
        return syringePicture(step, scale);
    case u'H':
        return knobPicture(step, scale);
    default:
        return {};
    }
}

} // namespace lorimet
