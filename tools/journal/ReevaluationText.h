#pragma once

#include "journal/Record.h"
#include "reevaluate/Reevaluate.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace lorimet::journal {

// "A,B,C" as the settings dialog sets them: A the slider's position 1..91 (A = what the dialog makes of it),
// B the cycles 1..11, C the window 1..11. Nothing, with a message, for any other text.
std::optional<FilterParameters> parseFilterPositions(const QString& text, QString& error);

// What a reader must know to weigh a re-evaluation (imported lines, no coefficients, lines that ran out).
QStringList reevaluationNotes(const Reevaluation& again);

// One JSON object (no line end): the record's recorded values beside the re-evaluated ones, numbers with the
// point, null where absent; end points as 1-based line numbers. `recorded` is the record evaluated with its
// own filter (where its end points fell), absent when it has none.
QString reevaluationJson(const Record& record, const Reevaluation& again,
                         const std::optional<Reevaluation>& recorded);

// The same for people: Russian headings, decimal comma, BOD as the report table shows it.
QString reevaluationTable(const Record& record, const Reevaluation& again,
                          const std::optional<Reevaluation>& recorded);

} // namespace lorimet::journal
