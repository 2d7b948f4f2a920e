// make_protocols: protocol files for measuring lorimet-journal import, written by the program's own writer
// (the block lines of ProtocolText.h, the Windows-1251 file of writeProtocolFile), as the engine writes a
// day's protocol: per block the count line, the data lines, the description, the result, temperature and
// time lines.
//
//   make_protocols DIR [--files N] [--blocks N] [--lines N]
//
// The files are named as the program names protocol files of a day, one day after another from
// 01.01.24 ("Протокол от 01.01.24 г.txt"); their blocks are all different, so each is imported.
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QTime>

#include <cmath>
#include <cstdio>

using namespace lorimet;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int files = 1000, blocks = 10, lines = 600;
    QString dir;
    for (qsizetype i = 0; i < args.size(); ++i) {
        int* into = args[i] == u"--files"    ? &files
                    : args[i] == u"--blocks" ? &blocks
                    : args[i] == u"--lines"  ? &lines
                                             : nullptr;
        if (!into) {
            dir = args[i];
            continue;
        }
        bool ok = i + 1 < args.size();
        if (ok)
            *into = args[++i].toInt(&ok);
        if (!ok || *into < 1) {
            std::fprintf(stderr, "make_protocols: %s needs a positive number\n", qPrintable(args[i]));
            return 2;
        }
    }
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: make_protocols DIR [--files N] [--blocks N] [--lines N]\n");
        return 2;
    }
    QDir().mkpath(dir);
    const QDate first(2024, 1, 1);
    for (int f = 0; f < files; ++f) {
        const QDate day = first.addDays(f);
        const QString dateText = day.toString(QStringLiteral("dd.MM.yy")) + QStringLiteral(" г");
        QStringList text;
        text.reserve(blocks * (lines + 5));
        for (int b = 0; b < blocks; ++b) {
            text << QString::number(lines);
            // Two lines a second; the signal falls as the sample breathes, differently in every block.
            for (int i = 0; i < lines; ++i) {
                const double signal = 95 - 6.0 * (1.0 - std::exp(-i / 900.0)) - 0.001 * ((f * 7 + b) % 97);
                text << dataLine(signal, 0.001 * (i % 50), i * 0.5 / 86400.0);
            }
            const int seconds = lines / 2;
            text << QStringLiteral("Проба %1, сток цеха №%2").arg(b + 1).arg(1 + f % 9)
                 << resultLine(3.0 + 0.37 * b + 0.01 * (f % 100), b % 2 == 1, 3.5 + 0.4 * b, false, 0)
                 << temperatureLine(20.3 + 0.1 * (b % 5), QStringLiteral("%1:%2")
                                                              .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                                                              .arg(seconds % 60, 2, 10, QLatin1Char('0')))
                 << timeDateLine(QTime(8, 0).addSecs(b * 1800 + seconds).toString(QStringLiteral("hh:mm:ss")),
                                 dateText);
        }
        const QString path =
            QDir(dir).filePath(QStringLiteral("Протокол от ") + dateText + QStringLiteral(".txt"));
        QString reason;
        if (!writeProtocolFile(path, text, &reason)) {
            std::fprintf(stderr, "make_protocols: cannot write %s: %s\n", qPrintable(path),
                         qPrintable(reason));
            return 1;
        }
    }
    std::printf("%d files of %d blocks of %d lines in %s\n", files, blocks, lines, qPrintable(dir));
    return 0;
}
