// Icons: the toolbar's line icons, the notification-area frames, the application icon and the Contacts
// window's globe. Icons paint themselves on demand, so every size the style asks for is drawn afresh.

#include "app/Pictures.h"

#include "app/PicturesKit.h"

#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QRadialGradient>

#include <functional>

namespace lorimet {

using namespace pictures;

namespace {

// Colours an icon is drawn with; a disabled icon gets the same drawing in greys.
struct Ink {
    QColor line;
    QColor accent;
    QColor fill;
};

Ink inkFor(QIcon::Mode mode, const QColor& accent) {
    if (mode == QIcon::Disabled)
        return {QColor(0xa2, 0xa6, 0xaa), QColor(0xb8, 0xbc, 0xc0), QColor(0xe4, 0xe6, 0xe8)};
    if (mode == QIcon::Active || mode == QIcon::Selected)
        return {QColor(0x1b, 0x25, 0x30), accent.darker(110), accent.lighter(175)};
    return {QColor(0x2f, 0x3b, 0x48), accent, accent.lighter(170)};
}

using IconPaint = std::function<void(QPainter&, QIcon::Mode)>;

// Paints a drawing designed on a square grid of `grid` units into whatever rectangle Qt asks for.
class PaintedIconEngine final : public QIconEngine {
  public:
    PaintedIconEngine(qreal grid, IconPaint paint) : grid_(grid), paint_(std::move(paint)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal side = std::min(rect.width(), rect.height());
        if (side <= 0)
            return;
        painter->save();
        painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / grid_, side / grid_);
        paint_(*painter, mode);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size.isValid() && !size.isEmpty() ? size : QSize(int(grid_), int(grid_)));
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, pixmap.rect(), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
    }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("lorimet-painted"); }
    QIconEngine* clone() const override { return new PaintedIconEngine(grid_, paint_); }

  private:
    qreal grid_;
    IconPaint paint_;
};

QIcon paintedIcon(qreal grid, IconPaint paint) {
    return QIcon(new PaintedIconEngine(grid, std::move(paint)));
}

// ---- toolbar: 24-unit grid, 1.6-unit lines ----

QPen linePen(const QColor& colour, qreal width = 1.6) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(linePen(colour, 1.8));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    p.drawPolyline(QPolygonF({to - d * 3.2 + n * 3.2, to, to - d * 3.2 - n * 3.2}));
}

void iconOpen(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.line));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF(
        {QPointF(3, 19), QPointF(3, 5), QPointF(9, 5), QPointF(11, 7), QPointF(18, 7), QPointF(18, 10)}));
    p.setBrush(ink.fill);
    p.setPen(linePen(ink.accent));
    p.drawPolygon(QPolygonF({QPointF(3, 19), QPointF(7, 10), QPointF(22, 10), QPointF(18, 19)}));
}

void iconSave(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.line));
    p.setBrush(ink.fill);
    p.drawPolygon(
        QPolygonF({QPointF(4, 4), QPointF(17, 4), QPointF(20, 7), QPointF(20, 20), QPointF(4, 20)}));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.5, 13, 9, 7));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(8, 4, 7, 4.5));
    p.setPen(linePen(ink.accent, 1.4));
    p.drawLine(QPointF(9.5, 16), QPointF(14.5, 16));
}

// A plug with two pins and a socket; `gap` pulls them apart.
void drawPlugPair(QPainter& p, const Ink& ink, qreal gap) {
    const qreal plugRight = 11.0 - gap / 2;
    const qreal socketLeft = 13.0 + gap / 2;
    p.setPen(linePen(ink.line));
    p.drawLine(QPointF(2, 12), QPointF(plugRight - 5, 12));
    p.drawLine(QPointF(socketLeft + 5, 12), QPointF(22, 12));
    p.setBrush(ink.fill);
    p.setPen(linePen(ink.accent));
    p.drawRoundedRect(QRectF(plugRight - 5, 8, 5, 8), 1.2, 1.2);
    p.drawRoundedRect(QRectF(socketLeft, 7, 5, 10), 1.2, 1.2);
    p.setPen(linePen(ink.accent, 1.4));
    p.drawLine(QPointF(plugRight, 10), QPointF(plugRight + 2, 10));
    p.drawLine(QPointF(plugRight, 14), QPointF(plugRight + 2, 14));
}

void iconConnect(QPainter& p, const Ink& ink) {
    drawPlugPair(p, ink, 0);
}

void iconDisconnect(QPainter& p, const Ink& ink) {
    drawPlugPair(p, ink, 5);
    p.setPen(linePen(ink.line, 1.3));
    p.drawLine(QPointF(11, 4), QPointF(12, 6.5));
    p.drawLine(QPointF(14.5, 4), QPointF(13.5, 6.5));
    p.drawLine(QPointF(11, 20), QPointF(12, 17.5));
    p.drawLine(QPointF(14.5, 20), QPointF(13.5, 17.5));
}

void iconUpperPoint(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.accent, 2.0));
    p.drawLine(QPointF(4, 4.5), QPointF(20, 4.5));
    drawArrow(p, QPointF(12, 20), QPointF(12, 8), ink.line);
    p.setPen(linePen(ink.line, 1.2));
    p.drawLine(QPointF(5, 20), QPointF(19, 20));
}

void iconCalibration(QPainter& p, const Ink& ink) {
    // a volumetric flask, the certified solution in it
    QPainterPath flask;
    flask.moveTo(10, 3);
    flask.lineTo(10, 10);
    flask.cubicTo(4, 12, 3, 21, 12, 21);
    flask.cubicTo(21, 21, 20, 12, 14, 10);
    flask.lineTo(14, 3);
    QPainterPath liquid;
    liquid.moveTo(5.2, 15);
    liquid.cubicTo(4.2, 19, 7, 21, 12, 21);
    liquid.cubicTo(17, 21, 19.8, 19, 18.8, 15);
    liquid.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink.fill);
    p.drawPath(liquid);
    p.setBrush(Qt::NoBrush);
    p.setPen(linePen(ink.line));
    p.drawPath(flask);
    p.drawLine(QPointF(9, 3), QPointF(15, 3));
    p.setPen(linePen(ink.accent, 1.4));
    p.drawLine(QPointF(10, 7), QPointF(14, 7));
    p.drawLine(QPointF(5.6, 15), QPointF(18.4, 15));
}

void iconMeasurement(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.line));
    p.drawPolyline(QPolygonF({QPointF(3, 3), QPointF(3, 21), QPointF(21, 21)}));
    p.setPen(linePen(ink.accent, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(fallingCurvePath(QRectF(5, 5, 15, 12)));
    p.setPen(Qt::NoPen);
    p.setBrush(ink.accent);
    p.drawPath(dropPath(QRectF(15.5, 2, 5, 7)));
}

void iconToxicity(QPainter& p, const Ink& ink) {
    QPainterPath triangle;
    triangle.moveTo(12, 3);
    triangle.lineTo(22, 20);
    triangle.lineTo(2, 20);
    triangle.closeSubpath();
    p.setPen(linePen(ink.accent, 1.8));
    p.setBrush(ink.fill);
    p.drawPath(triangle);
    p.setPen(linePen(ink.line, 2.0));
    p.drawLine(QPointF(12, 9), QPointF(12, 14));
    p.drawPoint(QPointF(12, 17.2));
}

void iconClear(QPainter& p, const Ink& ink) {
    p.save();
    p.translate(12, 11);
    p.rotate(-40);
    p.setPen(linePen(ink.line));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(-8, -4, 16, 8), 1.5, 1.5);
    p.setBrush(ink.fill);
    p.setPen(linePen(ink.accent));
    p.drawRoundedRect(QRectF(-8, -4, 7, 8), 1.5, 1.5);
    p.restore();
    p.setPen(linePen(ink.line, 1.3));
    p.drawLine(QPointF(8, 20.5), QPointF(21, 20.5));
}

void iconCopy(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.line));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 3, 11, 14), 1.2, 1.2);
    p.setBrush(ink.fill);
    p.setPen(linePen(ink.accent));
    p.drawRoundedRect(QRectF(9, 7, 11, 14), 1.2, 1.2);
    p.setPen(linePen(ink.accent, 1.2));
    for (const qreal y : {11.0, 14.0, 17.0})
        p.drawLine(QPointF(12, y), QPointF(17, y));
}

void iconSavePanel(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.line));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(2.5, 3, 14, 12), 1.2, 1.2);
    p.setPen(linePen(ink.accent, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(fallingCurvePath(QRectF(4.5, 5.5, 10, 7)));
    drawArrow(p, QPointF(18, 10), QPointF(18, 20), ink.line);
    p.setPen(linePen(ink.line, 1.3));
    p.drawLine(QPointF(8, 21), QPointF(22, 21));
}

void iconPrint(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.line));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 3, 10, 6));
    p.setBrush(ink.fill);
    p.drawRoundedRect(QRectF(3, 9, 18, 8), 1.8, 1.8);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 14, 10, 7));
    p.setPen(linePen(ink.accent, 1.2));
    p.drawLine(QPointF(9, 17), QPointF(15, 17));
    p.drawPoint(QPointF(18.3, 11.7));
}

void iconTable(QPainter& p, const Ink& ink) {
    const QRectF grid(3, 4, 18, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(ink.fill);
    p.drawRect(QRectF(grid.left(), grid.top(), grid.width(), 4.5));
    p.setBrush(Qt::NoBrush);
    p.setPen(linePen(ink.line, 1.4));
    p.drawRect(grid);
    p.drawLine(QPointF(3, 8.5), QPointF(21, 8.5));
    p.setPen(linePen(ink.line, 1.0));
    p.drawLine(QPointF(3, 12.5), QPointF(21, 12.5));
    p.drawLine(QPointF(3, 16.3), QPointF(21, 16.3));
    p.drawLine(QPointF(9, 4), QPointF(9, 20));
    p.drawLine(QPointF(15, 4), QPointF(15, 20));
}

void iconComPort(QPainter& p, const Ink& ink) {
    QPainterPath shell;
    shell.moveTo(2.5, 7);
    shell.lineTo(21.5, 7);
    shell.lineTo(19, 17);
    shell.lineTo(5, 17);
    shell.closeSubpath();
    p.setPen(linePen(ink.line));
    p.setBrush(ink.fill);
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(ink.accent);
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(6.4 + i * 2.8, 10.2), 1.0, 1.0);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(7.8 + i * 2.8, 13.8), 1.0, 1.0);
}

void iconSettings(QPainter& p, const Ink& ink) {
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i - 0.5) * 2 * kPi / (teeth * 4);
        const qreal radius = (i % 4 == 0 || i % 4 == 1) ? 9.3 : 7.0;
        const QPointF point(12 + radius * std::cos(a), 12 + radius * std::sin(a));
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(12, 12), 3.0, 3.0);
    p.setPen(linePen(ink.line, 1.4));
    p.setBrush(ink.fill);
    p.drawPath(gear.subtracted(hole));
    p.setBrush(Qt::NoBrush);
    p.setPen(linePen(ink.accent, 1.4));
    p.drawEllipse(QPointF(12, 12), 3.0, 3.0);
}

void iconHelp(QPainter& p, const Ink& ink) {
    p.setPen(linePen(ink.accent, 1.6));
    p.setBrush(ink.fill);
    p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
    p.setPen(linePen(ink.line, 2.0));
    p.setBrush(Qt::NoBrush);
    QPainterPath mark;
    mark.moveTo(8.8, 9.4);
    mark.cubicTo(8.8, 5.8, 15.4, 5.6, 15.4, 9.4);
    mark.cubicTo(15.4, 11.8, 12, 11.8, 12, 14.4);
    p.drawPath(mark);
    p.drawPoint(QPointF(12, 17.6));
}

struct ToolbarIcon {
    const char* name;
    void (*paint)(QPainter&, const Ink&);
    QColor accent;
};

const QColor kBlue(0x2a, 0x74, 0xc9);
const QColor kGreen(0x2e, 0x9d, 0x48);
const QColor kRed(0xc8, 0x44, 0x3a);
const QColor kAmber(0xd9, 0x8e, 0x12);

const ToolbarIcon kToolbarIcons[] = {
    {"open", iconOpen, kAmber},
    {"save", iconSave, kBlue},
    {"connect", iconConnect, kGreen},
    {"disconnect", iconDisconnect, kRed},
    {"upperpoint", iconUpperPoint, kAmber},
    {"calibration", iconCalibration, kAmber},
    {"measurement", iconMeasurement, kBlue},
    {"toxicity", iconToxicity, kRed},
    {"clear", iconClear, kRed},
    {"copy", iconCopy, kBlue},
    {"savepanel", iconSavePanel, kBlue},
    {"print", iconPrint, kBlue},
    {"table", iconTable, kBlue},
    {"comport", iconComPort, kGreen},
    {"settings", iconSettings, kBlue},
    {"help", iconHelp, kBlue},
};

// ---- notification area: 32-unit grid ----

void trayDrop(QPainter& p, const QColor& colour) {
    const QRectF box(6, 1.5, 20, 29);
    QLinearGradient fill(QPointF(6, 2), QPointF(26, 30));
    fill.setColorAt(0, colour.lighter(150));
    fill.setColorAt(1, colour.darker(115));
    p.setBrush(fill);
    p.setPen(QPen(colour.darker(190), 1.6));
    p.drawPath(dropPath(box));
    p.setPen(QPen(QColor(255, 255, 255, 170), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(9.5, 13, 13, 13), 125 * 16, 50 * 16);
}

void trayTile(QPainter& p, const QColor& colour) {
    QLinearGradient fill(QPointF(0, 1), QPointF(0, 31));
    fill.setColorAt(0, colour.lighter(135));
    fill.setColorAt(1, colour.darker(120));
    p.setBrush(fill);
    p.setPen(QPen(colour.darker(200), 1.4));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
}

// State 2: the falling signal being drawn, as on the chart during a run.
void traySampleRun(QPainter& p, int frame, int frames) {
    trayTile(p, QColor(0x1f, 0x6f, 0xd1));
    const QRectF box(5, 6, 22, 18);
    const qreal upTo = (frame + 1.0) / frames;
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.2));
    p.drawLine(QPointF(5, 27), QPointF(27, 27));
    p.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPainterPath curve = fallingCurvePath(box, upTo);
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xe0, 0x6a));
    p.drawEllipse(curve.currentPosition(), 3.0, 3.0);
}

// State 3: the level climbing to the upper mark.
void trayCalibration(QPainter& p, int frame, int frames) {
    trayTile(p, QColor(0xe0, 0x93, 0x10));
    p.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 6.5), QPointF(26, 6.5));
    const qreal top = 24 - 13.0 * frame / (frames - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawRect(QRectF(6, top, 20, 26 - top));
    p.setPen(QPen(QColor(0x5a, 0x35, 0x00), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(16, 26.5), QPointF(16, top));
    p.drawPolyline(QPolygonF({QPointF(11, top + 5), QPointF(16, top), QPointF(21, top + 5)}));
}

QList<QIcon> buildTrayList(int state) {
    QList<QIcon> frames;
    const auto add = [&frames](std::function<void(QPainter&)> paint) {
        frames.append(paintedIcon(32, [paint](QPainter& p, QIcon::Mode) { paint(p); }));
    };
    switch (state) {
    case 0:
        add([](QPainter& p) { trayDrop(p, QColor(0x8a, 0x90, 0x96)); });
        break;
    case 1:
        add([](QPainter& p) { trayDrop(p, QColor(0x2e, 0xa0, 0x4a)); });
        break;
    case 2:
        for (int i = 0; i < 8; ++i)
            add([i](QPainter& p) { traySampleRun(p, i, 8); });
        break;
    case 3:
        for (int i = 0; i < 6; ++i)
            add([i](QPainter& p) { trayCalibration(p, i, 6); });
        break;
    case 4:
        add([](QPainter& p) { trayDrop(p, QColor(0xd3, 0x2f, 0x2f)); });
        add([](QPainter& p) { trayDrop(p, QColor(0x8a, 0x90, 0x96)); });
        break;
    default:
        break;
    }
    return frames;
}

// ---- the Contacts window's globe ----

// Land where a few waves add up high enough: not a real map, but reads as one at 17 pixels.
bool isLand(qreal lon, qreal lat) {
    const qreal v = std::sin(2 * lon + 0.6) * std::cos(1.6 * lat) + 0.75 * std::sin(3 * lon - 1.1 + 2 * lat) +
                    0.45 * std::cos(5 * lon + 3 * lat + 0.3);
    return v > 0.4;
}

QImage renderGlobe(int index, qreal scale) {
    const int side = std::max(1, int(std::lround(17 * scale)));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const qreal centre = side / 2.0;
    const qreal radius = 7.6 * scale;
    const qreal spin = 2 * kPi * index / kContactsFrames;
    const qreal tilt = 0.35;
    const int samples = 3;
    const QColor sea(0x2f, 0x7f, 0xd6), land(0x3f, 0xaa, 0x4a), ice(0xf2, 0xf6, 0xfa);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            qreal r = 0, g = 0, b = 0, covered = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const qreal u = (x + (sx + 0.5) / samples - centre) / radius;
                    const qreal v = (y + (sy + 0.5) / samples - centre) / radius;
                    const qreal d = u * u + v * v;
                    if (d > 1.0)
                        continue;
                    const qreal w = std::sqrt(1.0 - d);
                    // turn the viewing sphere back by the axis tilt, then read longitude and latitude
                    const qreal gy = -v * std::cos(tilt) + w * std::sin(tilt);
                    const qreal gz = v * std::sin(tilt) + w * std::cos(tilt);
                    const qreal lat = std::asin(std::clamp(gy, -1.0, 1.0));
                    const qreal lon = std::atan2(u, gz) - spin; // west to east, as the Earth turns
                    const QColor& c = std::abs(lat) > 1.2 ? ice : (isLand(lon, lat) ? land : sea);
                    const qreal light = 0.55 + 0.45 * std::max(0.0, -0.45 * u - 0.55 * v + 0.7 * w);
                    r += c.redF() * light;
                    g += c.greenF() * light;
                    b += c.blueF() * light;
                    covered += 1;
                }
            }
            if (covered == 0)
                continue;
            const qreal n = samples * samples;
            const qreal alpha = covered / n;
            image.setPixelColor(
                x, y,
                QColor::fromRgbF(float(r / covered), float(g / covered), float(b / covered), float(alpha))
                    .toRgb());
        }
    }
    return image;
}

} // namespace

QList<QIcon> trayImageList(int state) {
    return buildTrayList(state);
}

QIcon toolbarIcon(const QString& name) {
    for (const ToolbarIcon& icon : kToolbarIcons) {
        if (name == QLatin1String(icon.name)) {
            const auto paint = icon.paint;
            const QColor accent = icon.accent;
            return paintedIcon(
                24, [paint, accent](QPainter& p, QIcon::Mode mode) { paint(p, inkFor(mode, accent)); });
        }
    }
    return {};
}

QStringList toolbarIconNames() {
    QStringList names;
    for (const ToolbarIcon& icon : kToolbarIcons)
        names.append(QLatin1String(icon.name));
    return names;
}

void paintApplicationIcon(QPainter& p) {
    QLinearGradient tile(QPointF(0, 0), QPointF(0, 32));
    tile.setColorAt(0, QColor(0x2d, 0x74, 0xc4));
    tile.setColorAt(1, QColor(0x12, 0x35, 0x66));
    p.setBrush(tile);
    p.setPen(QPen(QColor(0x0b, 0x22, 0x44), 1.0));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6.5, 6.5);
    p.setBrush(QColor(0xee, 0xf6, 0xff));
    p.setPen(Qt::NoPen);
    p.drawPath(dropPath(QRectF(7.5, 3, 17, 26)));
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xb0), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(fallingCurvePath(QRectF(10.5, 14, 11, 9)));
}

QIcon applicationIcon() {
    return paintedIcon(32, [](QPainter& p, QIcon::Mode) { paintApplicationIcon(p); });
}

QPixmap contactsAnimation(int index, qreal scale) {
    index = std::clamp(index, 0, kContactsFrames - 1);
    scale = usableScale(scale);
    QImage image = renderGlobe(index, scale);
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(scale);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x14, 0x3c, 0x6e), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.5, 8.5), 7.6, 7.6);
    p.end();
    return pixmap;
}

} // namespace lorimet
