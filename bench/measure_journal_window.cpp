// measure_journal_window: the journal's window on a large journal (make_journal's), offscreen, as the people
// using it feel it: from opening the window to its first rows painted; from a keystroke in the search field
// to the filtered rows painted; from selecting a long run to its curve drawn.
//
//   measure_journal_window --data-dir DIR [--journal URL] --record ID [--search TEXT] [--repeat N]
//
// DIR holds lorimet.db (make_journal --journal DIR/lorimet.db), or names the station whose lorimet.ini or
// --journal URL points at a server. ID is a run of 3 600 lines (make_journal prints some). TEXT is typed one
// character at a time, each keystroke timed to its rows. Prints the median and the worst of N rounds.
#include "app/CustomPlot.h"
#include "app/journal/JournalWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace lorimet;
using namespace lorimet::journalwindow;

namespace {

// Handles events until `done`, waking for each one (the reader's answers arrive as posted calls).
bool until(const std::function<bool()>& done, int timeoutMs = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct Figures {
    QString what;
    std::vector<double> ms;
};

void print(const Figures& f) {
    std::vector<double> v = f.ms;
    if (v.empty()) {
        std::printf("%-44s  no figures\n", qPrintable(f.what));
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%-44s  median %7.1f ms  worst %7.1f ms  (%zu)\n", qPrintable(f.what), v[v.size() / 2],
                v.back(), v.size());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString dataDir, url, record, search = QStringLiteral("скважина 17");
    int repeat = 7;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        if (name == u"--data-dir")
            dataDir = value;
        else if (name == u"--journal")
            url = value;
        else if (name == u"--record")
            record = value;
        else if (name == u"--search")
            search = value;
        else if (name == u"--repeat")
            repeat = std::max(1, value.toInt());
    }
    if (dataDir.isEmpty() || record.isEmpty()) {
        std::fprintf(stderr, "usage: measure_journal_window --data-dir DIR [--journal URL] --record ID "
                             "[--search TEXT] [--repeat N]\n");
        return 2;
    }

    Figures open{QStringLiteral("open to the first rows painted")};
    Figures keystroke{QStringLiteral("search keystroke to its rows painted")};
    Figures select{QStringLiteral("select a long run to its curve drawn")};
    int rows = 0;
    qsizetype lines = 0;
    for (int round = 0; round < repeat; ++round) {
        QElapsedTimer t;
        t.start();
        JournalWindow::Options o;
        o.dataFolder = dataDir;
        o.url = url;
        JournalWindow window(o);
        window.resize(1280, 800);
        window.show();
        auto* table = window.findChild<QTableView*>(QStringLiteral("JournalTable"));
        if (!until([&] { return window.model().rowCount() > 0; })) {
            std::fprintf(stderr, "no rows: %s\n", qPrintable(window.source().problem));
            return 1;
        }
        table->viewport()->repaint();
        open.ms.push_back(t.nsecsElapsed() / 1e6);

        // Each keystroke of the search text, as typed.
        auto* field = window.findChild<QLineEdit*>(QStringLiteral("JournalSearch"));
        for (qsizetype n = 1; n <= search.size(); ++n) {
            t.restart();
            field->setText(search.left(n));
            if (!until([&] { return !window.model().waiting(); }))
                return 1;
            table->viewport()->repaint();
            keystroke.ms.push_back(t.nsecsElapsed() / 1e6);
        }
        rows = window.model().rowCount();
        field->clear();
        until([&] { return !window.model().waiting(); });

        // The long run, from the moment it is asked for to its curve on the screen.
        auto* curve = window.findChild<QCustomPlot*>(QStringLiteral("JournalCurve"));
        bool drawn = false;
        const auto connection = QObject::connect(curve, &QCustomPlot::afterReplot, [&] { drawn = true; });
        t.restart();
        window.showRecord(record);
        if (!until([&] { return window.shown() && window.shown()->record.text(u"id") == record && drawn; })) {
            std::fprintf(stderr, "record %s not shown\n", qPrintable(record));
            return 1;
        }
        curve->repaint();
        select.ms.push_back(t.nsecsElapsed() / 1e6);
        lines = static_cast<qsizetype>(window.shown()->record.lines.size());
        QObject::disconnect(connection);
        if (round == 0)
            std::printf("%s\n", qPrintable(window.source().description));
    }
    print(open);
    print(keystroke);
    print(select);
    std::printf("search \"%s\": %d rows on the first page; record of %lld lines\n", qPrintable(search), rows,
                static_cast<long long>(lines));
    return 0;
}
