#pragma once

#include "journal/Record.h"

#include <QDateTime>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace lorimet::journal {
class Store;
}

namespace lorimet::recordreport {

// Who made the measurement, as the lab's client reads it at the top of the page: lorimet.ini's
// [lab] name= and address= in the data folder. An empty text is left off the page.
struct Lab {
    QString name;
    QString address; // may hold line ends: one line on the page each
};

// Reads [lab] from the data folder's lorimet.ini; changes nothing there (a missing file gives no lab).
Lab readLab(const QString& dataFolder);

// Everything one page shows. The record is an analysis or a calibration with its lines; the others are
// what the journal knows about it.
struct Input {
    journal::Record record;
    std::optional<journal::Record> calibration; // the calibration whose coefficients an analysis used
    std::vector<journal::Record> annotations;   // those naming the record in `corrects`, oldest first
    Lab lab;
    // Lines of record.lines where the initial and the final rate were taken, marked on the curve; an index
    // outside the lines is not drawn.
    std::optional<int> initialRateLine;
    std::optional<int> finalRateLine;
    QDateTime madeAt; // when the report was made, in its footer; left off when invalid
};

// Whether an annotation marks the record invalid: the page then says so in its heading and across it.
bool isInvalidated(const Input& input);

// The record, its calibration and its annotations from the journal; nullopt with a message in `error` when
// the record is not there or the journal cannot be read. A calibration that is not found leaves the page
// saying it is unknown. The lab and the end points are the caller's.
std::optional<Input> readInput(journal::Store& store, const QString& id, QString& error);

// The records a page can be made of: runs with a result (analyses, calibrations).
bool hasReport(const journal::Record& record);

// The A4 page's content is laid out on 180 x 267 mm (A4 inside margins of 15 mm) and scaled to fit
// `page`, in the painter's coordinates, keeping its proportions. Texts too long for their room are cut
// with "…". The painter's state is left as it was.
void paint(QPainter& painter, const QRectF& page, const Input& input);

// One page per input on the device (a printer or a PDF writer): A4 portrait, margins of 15 mm or the
// device's own where it cannot print so close to the edge. False when the painter could not be begun on
// the device or a page not started (the reason in *reason).
bool print(QPagedPaintDevice& device, const std::vector<Input>& inputs, QString* reason = nullptr);

// The pages as a PDF file, written whole through the program's safe file writing (the old file stays
// when it cannot be), the title in its properties. False, with the reason in the operator's words, when
// there is no page or the file cannot be written.
bool writePdf(const QString& path, const std::vector<Input>& inputs, QString* reason = nullptr);

} // namespace lorimet::recordreport
