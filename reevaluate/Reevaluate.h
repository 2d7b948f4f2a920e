#pragma once

#include "engine/Smoother.h"
#include "journal/Record.h"

#include <QString>

#include <optional>
#include <vector>

namespace lorimet {

// How the re-evaluated run ended.
enum class ReevaluatedEnd {
    Completed,  // its last end point was reached: the results are those the table would show
    Stopped,    // BOD' over 200 mg/l (after dilution) stopped the analysis
    Unfinished, // the recorded lines ran out first
};

// A recorded analysis or calibration evaluated again by the engine from its stored lines.
struct Reevaluation {
    FilterParameters filter{0, 0, 0}; // the settings it was evaluated with
    ReevaluatedEnd end = ReevaluatedEnd::Unfinished;
    // BOD' and BOD as the table would show them (same rounding, after dilution). A stopped analysis has the
    // BOD' the indicator showed; an unfinished one the BOD' of its initial-rate end point when that was
    // reached. Absent where not reached, for a Small analysis's BOD, and when the record holds no
    // calibration coefficients.
    std::optional<double> bodInitial;
    std::optional<double> bodFinal;
    // The coefficients in force after the run: for a calibration, those it yields.
    double rateCoefficient = 0;
    double rangeCoefficient = 0;
    // Per line the engine evaluated (the record's lines from the first up to the run's end): the smoothed
    // signal and the derivative, for a curve beside the recorded one.
    std::vector<double> smoothed;
    std::vector<double> derivative;
    // Indices into the record's lines: where the initial-rate end point was first reached (in a Full run
    // BOD' is taken again on later lines that meet it, with S'max as it then stands) and where the
    // final-rate end point fell. Absent when not reached.
    std::optional<int> initialRateLine;
    std::optional<int> finalRateLine;
    // An imported record keeps only the smoothed signal, which stands for the raw one: evaluating it again
    // smooths it a second time, and the results are not those of the original run.
    bool smoothedTwice = false;
    // The record holds no calibration coefficients (imported records): the results cannot be given.
    bool withoutCoefficients = false;
};

// The filter settings a record was made with; absent when it does not hold them (imported records).
std::optional<FilterParameters> recordedFilter(const journal::Record& record);

// Runs the engine's own line handling over the record's stored lines, as a measured run begun at the first
// of them with the record's analysis kind, dilution, coefficients (a calibration: its certified value) and
// the filter given, in virtual time from started_at so that every line keeps its elapsed time. With the
// record's own filter it gives back the recorded BOD', BOD, smoothed signal and derivative.
// The record (with its lines) is only read. Nothing: a message in `error` (not an analysis or a
// calibration, no lines, a line that does not read, filter settings out of range, values missing).
std::optional<Reevaluation> reevaluate(const journal::Record& record, FilterParameters filter,
                                       QString& error);

// The record evaluated with its own filter: where its end points fell on the recorded curve.
std::optional<Reevaluation> endPoints(const journal::Record& record, QString& error);

} // namespace lorimet
