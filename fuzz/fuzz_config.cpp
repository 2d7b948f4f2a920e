// The configuration file Vornel_config.ini as the program loads it at start-up, and what the program then
// does with the values: the switches, the start command built from frequency and delay, the port and
// filter dialog writing its lines back, the file saved and loaded again.
//
// Properties checked besides the sanitizers: a file that loads gives values inside the ranges the rest of
// the program relies on; saving it unchanged and loading it again gives the same lines and values; the
// lines the dialog writes always load again, with the dialog's values.
#include "FuzzSupport.h"
#include "fakes/Fakes.h"

#include "config/Configuration.h"
#include "engine/Engine.h"
#include "engine/Texts.h"

#include <QDir>

#include <cmath>

using namespace lorimet;

namespace {

bool sameSettings(const Settings& a, const Settings& b) {
    return a.port == b.port && a.filterA == b.filterA && a.filterCycles == b.filterCycles &&
           a.filterWindow == b.filterWindow && a.interruptFrequency == b.interruptFrequency &&
           a.transportDelay == b.transportDelay && a.colours == b.colours && a.sizes == b.sizes;
}

void checkRanges(const Settings& s) {
    fuzz::check(!s.port.isEmpty(), "empty port");
    fuzz::check(s.filterA >= 0.01 && s.filterA <= 0.91, "filter A outside 0.01..0.91");
    fuzz::check(s.filterCycles >= 1 && s.filterCycles <= 11, "filter B outside 1..11");
    fuzz::check(s.filterWindow >= 1 && s.filterWindow <= 11, "filter C outside 1..11");
    fuzz::check(s.interruptFrequency >= 1 && s.interruptFrequency <= 20, "frequency outside 1..20");
    fuzz::check(s.transportDelay >= 1 && s.transportDelay <= 30, "delay outside 1..30");
    for (int i = 0; i < 3; ++i)
        fuzz::check(s.sizes[static_cast<size_t>(i)] >= 1, "line width below 1");
    fuzz::check(s.sizes[3] >= 8 && s.sizes[3] <= 10, "table font outside 8..10");
    fuzz::check(s.portNumber() >= 0, "negative port number");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = fuzz::freshFolder(QStringLiteral("config"));
    fuzz::writeFile(QDir(folder).filePath(Configuration::kFileName), data, size);

    Configuration config;
    if (config.load(folder) != Configuration::LoadResult::Loaded)
        return 0; // damaged: the program shows its message and ends, the file untouched
    const Settings settings = config.settings();
    checkRanges(settings);
    fuzz::check(config.lines().size() >= Configuration::LineCount, "a loaded file with fewer than 25 lines");
    for (int i = -1; i <= Configuration::LineCount; ++i)
        config.isSwitchOn(i);
    config.splashShown();

    // Unchanged, the file comes back as it was.
    fuzz::check(config.save(folder), "the configuration cannot be saved");
    Configuration reloaded;
    fuzz::check(reloaded.load(folder) == Configuration::LoadResult::Loaded, "a saved file does not load");
    fuzz::check(reloaded.lines() == config.lines(), "lines change on a save and a load");
    fuzz::check(sameSettings(reloaded.settings(), settings), "values change on a save and a load");

    // The program on these values: the start command goes out, the dialog saves its lines.
    testing::ManualClock clock;
    Display display;
    testing::RecordingLink link;
    testing::ScriptedOperator op;
    const QString dataFolder = folder + QStringLiteral("/data");
    QDir().mkpath(dataFolder);
    Engine engine(config, display, op, link, clock, dataFolder);
    engine.startUp();
    engine.PGoClick();
    fuzz::check(link.written.size() == 1 &&
                    link.written[0] ==
                        texts::startCommand(settings.interruptFrequency, settings.transportDelay),
                "the start command is not the one for the values read");
    fuzz::check(link.written[0].size() == 6, "the start command is not six bytes");
    engine.PStopClick();
    engine.savePortAndFilter();
    fuzz::check(config.save(folder), "the configuration cannot be saved");
    Configuration written;
    fuzz::check(written.load(folder) == Configuration::LoadResult::Loaded, "the dialog's lines do not load");
    const Settings& w = written.settings();
    fuzz::check(w.port == settings.port && w.filterCycles == settings.filterCycles &&
                    w.filterWindow == settings.filterWindow &&
                    w.interruptFrequency == settings.interruptFrequency &&
                    w.transportDelay == settings.transportDelay,
                "the dialog's lines give other values");
    fuzz::check(std::abs(w.filterA - settings.filterA) <= 0.005 + 1e-9,
                "filter A moves by more than rounding");
    engine.closeSequence();
    return 0;
}
