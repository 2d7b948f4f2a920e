#pragma once

// What poppler sees in a report: the words of each page with their boxes, and a page as pixels.
#include "../export/ExportHelpers.h"

#include <QImage>
#include <QRectF>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace lorimet::reporttest {

constexpr double kPointsPerMm = 72 / 25.4;

struct Word {
    QRectF box; // in points from the page's top left corner
    QString text;
};

struct PdfPage {
    QSizeF size; // points
    std::vector<Word> words;
};

inline QString unescaped(QString s) {
    return s.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// pdftotext -bbox: every word of every page with its box.
inline std::vector<PdfPage> pdfWords(const QString& path) {
    const exporttest::ProcessResult r = exporttest::runProcess(
        QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    std::vector<PdfPage> pages;
    if (r.exitCode != 0)
        return pages;
    static const QRegularExpression page(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">(.*)</word>)re"));
    for (const QString& line : QString::fromUtf8(r.out).split(u'\n')) {
        if (const auto m = page.match(line); m.hasMatch()) {
            pages.push_back({QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()), {}});
        } else if (const auto w = word.match(line); w.hasMatch() && !pages.empty()) {
            pages.back().words.push_back({QRectF(QPointF(w.captured(1).toDouble(), w.captured(2).toDouble()),
                                                 QPointF(w.captured(3).toDouble(), w.captured(4).toDouble())),
                                          unescaped(w.captured(5))});
        }
    }
    return pages;
}

// One page drawn by pdftoppm at `dpi`; nullopt when it cannot be.
inline std::optional<QImage> pageImage(const QString& pdf, int page, int dpi) {
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    const exporttest::ProcessResult r = exporttest::runProcess(
        QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                     QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                     QString::number(page), QStringLiteral("-singlefile"), pdf, prefix});
    if (r.exitCode != 0)
        return std::nullopt;
    QImage image(prefix + QStringLiteral(".png"));
    if (image.isNull())
        return std::nullopt;
    return image.convertToFormat(QImage::Format_RGB32);
}

// Pixels in the rectangle (fractions of the page) that pass the test.
template <typename Test> int countPixels(const QImage& image, const QRectF& fraction, Test test) {
    const QRect area(static_cast<int>(fraction.left() * image.width()),
                     static_cast<int>(fraction.top() * image.height()),
                     static_cast<int>(fraction.width() * image.width()),
                     static_cast<int>(fraction.height() * image.height()));
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(QColor(image.pixel(x, y))))
                ++n;
    return n;
}

// The invalid mark's light red: red well above green, green and blue alike (unlike the derivative's orange).
inline bool isMarkRed(const QColor& c) {
    return c.red() - c.green() > 40 && std::abs(c.green() - c.blue()) < 25;
}

// The smoothed signal's blue.
inline bool isCurveBlue(const QColor& c) {
    return c.blue() - c.red() > 60;
}

} // namespace lorimet::reporttest
