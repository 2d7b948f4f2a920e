#include "app/PdfOutput.h"

#include "text/SafeFile.h"

namespace lorimet {

PdfOutput::PdfOutput(const QString& target) : target_(target) {}

QString PdfOutput::scratchPath() const {
    return scratch_.isValid() ? scratch_.filePath(QStringLiteral("print.pdf")) : QString();
}

bool PdfOutput::commit() const {
    if (!scratch_.isValid())
        return false;
    const FileRead written = readRegularFile(scratchPath());
    if (!written.bytes)
        return false;
    // A document that lost its end on the way has no end-of-file marker in its last bytes.
    if (!written.bytes->startsWith("%PDF-") || !written.bytes->right(32).contains("%%EOF"))
        return false;
    return writeFileAtomically(target_, *written.bytes);
}

} // namespace lorimet
