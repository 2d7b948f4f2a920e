#pragma once

// Drawing helpers shared by the picture files; not part of the library's interface.

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorimet::pictures {

inline constexpr qreal kPi = std::numbers::pi;

// A scale of 0, negative or absurd would make an empty or a gigantic pixmap; the screens we meet lie in this
// range.
inline qreal usableScale(qreal scale) {
    if (!(scale > 0.0))
        return 1.0;
    return std::clamp(scale, 0.25, 8.0);
}

// A transparent pixmap of logicalSize × scale physical pixels that paints in logical pixels.
template <typename Paint> QPixmap paintPixmap(QSize logicalSize, qreal scale, Paint&& paint) {
    scale = usableScale(scale);
    QPixmap pixmap(std::max(1, int(std::lround(logicalSize.width() * scale))),
                   std::max(1, int(std::lround(logicalSize.height() * scale))));
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    paint(painter);
    painter.end();
    return pixmap;
}

// Sizes are in pixels so that the panel's labels keep their places whatever the screen's font settings.
inline QFont pictureFont(int pixelSize, int weight = QFont::Normal, bool italic = false) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, pixelSize));
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

inline QFont condensedFont(int pixelSize, int weight = QFont::Normal) {
    QFont font = pictureFont(pixelSize, weight);
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Arial Narrow"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"), QStringLiteral("Sans Serif")});
    font.setStretch(QFont::SemiCondensed);
    return font;
}

// The font made smaller until the text fits the width: font metrics differ between systems, boxes do not.
inline QFont fittedFont(QFont font, const QString& text, qreal width) {
    while (font.pixelSize() > 6 && QFontMetricsF(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

// A drop standing on its round bottom, its tip at the top centre of the box.
inline QPainterPath dropPath(const QRectF& box) {
    const qreal r = box.width() / 2.0;
    const qreal cx = box.center().x();
    const qreal cy = box.bottom() - r;
    const qreal tipY = box.top();
    QPainterPath path;
    path.moveTo(cx, tipY);
    path.cubicTo(cx - 0.12 * r, tipY + 0.35 * (cy - tipY), cx - r, cy - 0.55 * r, cx - r, cy);
    path.arcTo(QRectF(cx - r, cy - r, 2 * r, 2 * r), 180.0, 180.0);
    path.cubicTo(cx + r, cy - 0.55 * r, cx + 0.12 * r, tipY + 0.35 * (cy - tipY), cx, tipY);
    path.closeSubpath();
    return path;
}

// A falling curve like the oxygen signal after a sample is injected, through the box from top left.
inline QPainterPath fallingCurvePath(const QRectF& box, qreal upTo = 1.0) {
    QPainterPath path;
    const int segments = 24;
    const int last = std::max(1, int(std::lround(segments * std::clamp(upTo, 0.0, 1.0))));
    for (int i = 0; i <= last; ++i) {
        const qreal t = qreal(i) / segments;
        // flat start, steep fall, levelling off: the shape an operator knows from the chart
        const qreal fall = 1.0 / (1.0 + std::exp(-9.0 * (t - 0.45)));
        const QPointF point(box.left() + t * box.width(), box.top() + fall * box.height());
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    return path;
}

// Relief: a light edge above and left, a dark one below and right, as on a pressed-metal panel.
inline void drawRelief(QPainter& p, const QPainterPath& shape, bool raised, qreal strength = 1.0) {
    const QColor light(255, 255, 255, int(170 * strength));
    const QColor dark(40, 44, 50, int(150 * strength));
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(raised ? dark : light, 1.0));
    p.drawPath(shape.translated(0.6, 0.6));
    p.setPen(QPen(raised ? light : dark, 1.0));
    p.drawPath(shape.translated(-0.6, -0.6));
    p.restore();
}

inline QColor mixed(const QColor& a, const QColor& b, qreal t) {
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(
        float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
        float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

} // namespace lorimet::pictures
