// lorimet-icon OUTDIR SIZE...: the program's icon as the desktop wants it, drawn by the program's own
// drawing: OUTDIR/hicolor/NxN/apps/lorimet.png for each SIZE N, and OUTDIR/hicolor/scalable/apps/lorimet.svg.
// Run at build time (tools/icon/CMakeLists.txt names the sizes); not installed.
#include "app/Pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

constexpr int kGrid = 32; // the drawing's own grid

bool writePng(const QDir& root, int size) {
    const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
    if (!root.mkpath(folder))
        return false;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(qreal(size) / kGrid, qreal(size) / kGrid);
    lorimet::paintApplicationIcon(painter);
    painter.end();
    return image.save(root.filePath(folder + QStringLiteral("/lorimet.png")), "PNG");
}

bool writeSvg(const QDir& root) {
    const QString folder = QStringLiteral("hicolor/scalable/apps");
    if (!root.mkpath(folder))
        return false;
    QSvgGenerator svg;
    svg.setFileName(root.filePath(folder + QStringLiteral("/lorimet.svg")));
    svg.setSize(QSize(kGrid, kGrid));
    svg.setViewBox(QRect(0, 0, kGrid, kGrid));
    // one unit a pixel: 32 × 32 at 96 dpi, as the icon theme's scalable icons are drawn
    svg.setResolution(96);
    svg.setTitle(QStringLiteral("lorimet"));
    svg.setDescription(QStringLiteral("The icon of lorimet, the BOD analyser's front end"));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    lorimet::paintApplicationIcon(painter);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QList<int> sizes;
    for (qsizetype i = 2; i < args.size(); ++i) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "lorimet-icon: not a size: %s\n", qPrintable(args[i]));
            return 1;
        }
        sizes.append(size);
    }
    if (args.size() < 2) {
        std::fputs("usage: lorimet-icon OUTDIR SIZE...\n", stderr);
        return 1;
    }
    const QDir root(args[1]);
    for (const int size : sizes) {
        if (!writePng(root, size)) {
            std::fprintf(stderr, "lorimet-icon: cannot write the %d-pixel icon in %s\n", size,
                         qPrintable(root.absolutePath()));
            return 1;
        }
    }
    if (!writeSvg(root)) {
        std::fprintf(stderr, "lorimet-icon: cannot write the scalable icon in %s\n",
                     qPrintable(root.absolutePath()));
        return 1;
    }
    return 0;
}
