#pragma once

#include <QString>
#include <QTemporaryDir>

namespace lorimet {

// A PDF print-out is written by the printer into a scratch folder of the system and reaches its target only
// whole, through the program's one safe write path: a full disk never leaves a cut document, or an empty
// one, in the place of a good file.
class PdfOutput {
  public:
    explicit PdfOutput(const QString& target);

    // The file for QPrinter::setOutputFileName; empty when no scratch folder could be made.
    QString scratchPath() const;
    const QString& target() const { return target_; }
    // After the painter has ended: the document, when it is whole, to the target. False when it is not
    // whole (the printer's own writes are not checked) or cannot be written; the target is then unchanged.
    bool commit() const;

  private:
    QTemporaryDir scratch_;
    QString target_;
};

} // namespace lorimet
