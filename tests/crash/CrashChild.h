#pragma once

// The program side of the crash tests. The test executable starts itself again with
// "--crash-child MODE ..." and kills that copy at chosen moments; the copy reports on standard output,
// one line a step, what it has done, so the killer knows what must survive.
//
//   day DATA LIFE ANALYSES [close]   the real program (windows, serial port, timers) on the simulated
//                                    analyser: connect, upper point, reference calibration, then ANALYSES
//                                    sample analyses described "Проба LIFE.n"; then idle, or close the
//                                    program with "close"
//   check DATA                       start the program, list its table, close it, answering every box
//   saves DATA FIRST                 save protocol versions FIRST, FIRST+1, ... and a configuration
//                                    alternating between two versions, as fast as the disk allows
//
// Lines written: "ROW <description>" (each table row at start), "UP <day file path>", "CALIBRATED",
// "RUN <description>" (the measured run has begun), "RESULT <description>" (the analysis is complete),
// "IDLE", "CLOSING", "QUESTION <text>" (a question of the exit left unanswered), "BOX <caption | text>"
// (a box answered), "CLOSED", "SAVING", "SAVED <version>", "FAIL <reason>".

#include <QStringList>

namespace lorimet::crash {

constexpr const char* kChildSwitch = "--crash-child";

// Runs the child named by args (the whole command line); returns the process's exit code.
int runChild(int argc, char** argv);

// What a saved protocol of the given version holds: 1 to 3 blocks, each naming the version.
QStringList versionProtocol(int version);
// The version named by a protocol's first description, or -1.
int protocolVersion(const QStringList& descriptions);
// The configuration of the given version: the test's lines with the table panel switched by the parity.
QStringList versionConfiguration(const QStringList& base, int version);

} // namespace lorimet::crash
