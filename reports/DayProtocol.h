#pragma once

#include "reports/ReportTable.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace lorimet {

// Reads a Windows-1251 text file into lines: CR, LF or CR LF end a line, a NUL ends the text. A last line
// without an ending counts; a text that ends with a line ending has no empty line after it. nullopt when
// the file cannot be opened or read, is larger than kMaxReadBytes, or is no regular file (a FIFO, a device,
// a folder: never opened for reading). *bytesLeftOut, when given, tells whether the file holds bytes that
// the lines do not: a NUL ended the text early, or a file there could not be read whole.
std::optional<QStringList> readProtocolFile(const QString& path, bool* bytesLeftOut = nullptr);

// Writes the lines, each followed by CR LF, in Windows-1251, atomically (writeFileAtomically): the old file
// stays byte for byte unless the new one was written whole. False when the file cannot be written, with the
// reason in *reason.
bool writeProtocolFile(const QString& path, const QStringList& lines, QString* reason = nullptr);

// "Протокол от 06.12.26 г.tmp": the day file's name inside the Temp folder.
QString dayFileName(const QString& dateText);

struct RebuildResult {
    int probeCounter = 0;     // rows completed
    QStringList descriptions; // one per row begun, in order
    bool complete = true;     // false when a damaged block ended the walk
};

// Rebuilds the report table from a day protocol. Every line that begins with "БПК" is taken for a result
// line and starts row probeCounter + 1: description from the line before, results from the line itself,
// temperature and duration from the line after, end time and date from the one after that. Other lines are
// skipped. A number that does not convert or a line that is missing ends the walk quietly: what was
// written stays, including a row written only in part (the row count already includes it).
RebuildResult rebuildTable(const QStringList& lines, ReportTable& table);

} // namespace lorimet
