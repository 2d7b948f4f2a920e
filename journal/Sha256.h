#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

#include <cstdint>

namespace lorimet::journal {

// SHA-256, on the processor's SHA instructions where it has them, else Qt's. The journal hashes every line
// of every run (a thousand imported protocol files are most of a gigabyte), and Qt's portable code made that
// a fifth of an import; the instructions do it in a tenth of the time. Same digest either way.
class Sha256 {
  public:
    Sha256();
    void addData(QByteArrayView data);
    QByteArray result(); // the 32 bytes; the object is spent afterwards
    QByteArray hexResult() { return result().toHex(); }

    static bool hasShaInstructions();

  private:
    void compress(const unsigned char* blocks, size_t count);

    bool native_;
    QCryptographicHash qt_{QCryptographicHash::Sha256};
    uint32_t state_[8];
    unsigned char buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

} // namespace lorimet::journal
