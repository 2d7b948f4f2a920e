#pragma once

#include "sim/AnalyserModel.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace lorimet {

// One operator command of the simulator, typed on standard input or read from a script:
//   inject BOD | knob изм. | knob под. | fault unit|temperature|garbage|split|zeros|long | silence SECONDS |
//   flood SECONDS | period SECONDS | signal PERCENT | temperature CELSIUS | quit
struct SimCommand {
    enum class Kind { Inject, Knob, Fault, Silence, Flood, Period, Signal, Temperature, Quit };
    Kind kind = Kind::Quit;
    double value = 0; // mg/l, seconds, %нас or °C, as the kind says
    KnobPosition knob = KnobPosition::Preparation;
    LineFault fault = LineFault::WrongUnit;
};

// nullopt with the reason in *error for anything else. Numbers take the point or the comma.
std::optional<SimCommand> parseSimCommand(QStringView text, QString* error);

// A script line: "T COMMAND", T in seconds from the start of the simulation.
struct ScriptEntry {
    qint64 atMs = 0;
    SimCommand command;
};

// Blank lines and lines starting with "#" are skipped. On the first bad line: nullopt, its 1-based number
// and the reason. The entries come back in time order; equal times keep the order of the file.
std::optional<QList<ScriptEntry>> parseSimScript(const QString& text, int* badLine, QString* error);

} // namespace lorimet
