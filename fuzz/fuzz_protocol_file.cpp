// A protocol file (.txt) as the operator opens it: the bytes are a file on disk, read as the program reads
// it, parsed block by block, and opened through the engine's open command (table rows, file curves).
//
// Properties checked besides the sanitizers: the lines survive a write and a second read unchanged; the
// blocks lie in order inside the text with as many values as data lines; damage names a line of the text.
#include "FuzzSupport.h"
#include "fakes/Fakes.h"

#include "engine/Engine.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"

#include <QDir>

using namespace lorimet;

namespace {

class OpeningOperator : public testing::ScriptedOperator {
  public:
    QString file;
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        return file;
    }
};

void checkContent(const QStringList& lines, const ProtocolFileContent& content) {
    const qsizetype count = lines.size();
    qsizetype next = 0;
    for (const ProtocolBlock& block : content.blocks) {
        fuzz::check(block.firstLine >= next && block.firstLine < block.lastLine && block.lastLine < count,
                    "block outside the text or out of order");
        const qsizetype n = block.signals.size();
        // A negative count line announces a block without data lines.
        const bool negative = lines[block.firstLine].trimmed().startsWith(u'-');
        fuzz::check((negative ? n == 0 : n > 0) && block.derivatives.size() == n &&
                        block.elapsedTimes.size() == n,
                    "block values do not match its data lines");
        fuzz::check(block.lastLine - block.firstLine == n + 4, "block is not its count plus five lines");
        fuzz::check(block.endTime.isValid(), "block with an invalid end time");
        next = block.lastLine + 1;
    }
    if (content.damaged)
        fuzz::check(content.damageLine >= next && content.damageLine < count, "damage outside the text");
    else
        fuzz::check(content.damageLine == -1, "a damage line without damage");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = fuzz::freshFolder(QStringLiteral("protocol"));
    const QString path = folder + QStringLiteral("/Протокол от 06.12.26 г.txt");
    fuzz::writeFile(path, data, size);

    const auto lines = readProtocolFile(path);
    fuzz::check(lines.has_value(), "an existing file does not read");
    const ProtocolFileContent content = parseProtocolFile(*lines);
    checkContent(*lines, content);

    const QString copy = folder + QStringLiteral("/copy.txt");
    fuzz::check(writeProtocolFile(copy, *lines), "the lines cannot be written back");
    const auto again = readProtocolFile(copy);
    fuzz::check(again && *again == *lines, "lines change on a write and a second read");

    // The open command, as the program runs it.
    Configuration config;
    config.setLines(Configuration::defaultLines());
    config.parse();
    testing::ManualClock clock;
    Display display;
    testing::RecordingLink link;
    OpeningOperator op;
    op.file = path;
    const QString dataFolder = folder + QStringLiteral("/data");
    QDir().mkpath(dataFolder);
    Engine engine(config, display, op, link, clock, dataFolder);
    engine.startUp();
    engine.OpenClick();
    fuzz::check(engine.acquisition().probeCounter == static_cast<int>(content.blocks.size()),
                "the table rows are not the complete blocks");
    fuzz::check(engine.workflow().fileViewActive, "an opened file is not a file view");
    // A second opening starts by ending the first view.
    engine.OpenClick();
    engine.CleanClick();
    engine.closeSequence();
    return 0;
}
