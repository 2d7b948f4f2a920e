// The day file in Temp, as the program finds it at start-up: today's file restored into the day protocol
// and the report table rebuilt from it, then the connection (which saves and restores it), the
// disconnection, and the close sequence with an earlier day's file of the same bytes in the folder (its
// recovery question answered Yes, the content saved under a chosen name).
//
// Properties checked besides the sanitizers: the engine's day protocol is the file's lines, before and
// after the save and restore of a connection; the table rebuilt by the engine is the one rebuilt from the
// lines directly; a description stands for each row begun; the recovered file holds the same lines.
#include "FuzzSupport.h"
#include "fakes/Fakes.h"

#include "engine/Engine.h"
#include "reports/DayProtocol.h"
#include "text/TimeText.h"

#include <QDir>

using namespace lorimet;

namespace {

class RecoveringOperator : public testing::ScriptedOperator {
  public:
    QString target;
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        return target;
    }
};

void checkRestored(const Engine& engine, const QStringList& lines, const char* when) {
    fuzz::check(engine.dayProtocol() == lines, when, QStringLiteral("day protocol differs from the file"));
    ReportTable table;
    const RebuildResult direct = rebuildTable(lines, table);
    fuzz::check(engine.acquisition().probeCounter == direct.probeCounter, when,
                QStringLiteral("row count differs from a rebuild of the lines"));
    fuzz::check(direct.descriptions.size() == direct.probeCounter ||
                    (!direct.complete && direct.descriptions.size() == direct.probeCounter + 1),
                when, QStringLiteral("descriptions do not match the rows begun"));
    for (int row = 1; row <= direct.probeCounter; ++row)
        for (int column = 0; column < ReportTable::kColumns; ++column)
            fuzz::check(engine.table().cell(row, column) == table.cell(row, column), when,
                        QStringLiteral("table cell %1,%2 differs").arg(row).arg(column));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = fuzz::freshFolder(QStringLiteral("day"));
    const QString dataFolder = folder + QStringLiteral("/data");
    const QString temp = dataFolder + QStringLiteral("/Temp/");
    QDir().mkpath(temp);
    const QDate today(2026, 12, 6);
    const QString todayFile = temp + dayFileName(dateText(today));
    const QString earlierFile = temp + dayFileName(dateText(today.addDays(-1)));
    fuzz::writeFile(todayFile, data, size);
    fuzz::writeFile(earlierFile, data, size);
    const auto lines = readProtocolFile(todayFile);
    fuzz::check(lines.has_value(), "an existing file does not read");

    Configuration config;
    config.setLines(Configuration::defaultLines());
    config.parse();
    testing::ManualClock clock;
    Display display;
    testing::RecordingLink link;
    RecoveringOperator op;
    op.target = folder + QStringLiteral("/recovered.txt");
    op.answers.push_back(Answer::Yes);
    Engine engine(config, display, op, link, clock, dataFolder);

    engine.startUp();
    checkRestored(engine, *lines, "start-up");
    engine.PGoClick();
    checkRestored(engine, *lines, "connection");
    clock.ms += 500;
    engine.TimerTimer();
    engine.PStopClick();
    checkRestored(engine, *lines, "disconnection");
    engine.closeSequence();

    const auto recovered = readProtocolFile(op.target);
    fuzz::check(recovered && *recovered == *lines, "the recovered day file differs from the earlier one");
    return 0;
}
