#pragma once

// What every fuzz target shares: one application object, a scratch folder of its own, files written from
// the fuzzer's bytes, and a check that stops the run with a message when a property fails.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace lorimet::fuzz {

// Creates the QCoreApplication and the scratch folder; called from LLVMFuzzerInitialize.
void initialise(int* argc, char*** argv);

// A folder below the process's own temporary folder (removed at exit), emptied and created anew: each
// input starts from the same state, so a crash found once reproduces from its file alone.
QString freshFolder(const QString& name);

// Writes the bytes to path, replacing the file. Aborts when it cannot: a harness that silently feeds
// nothing would report coverage it does not have.
void writeFile(const QString& path, const uint8_t* data, size_t size);

// A failed property: prints the message and aborts, which libFuzzer reports as a crash.
[[noreturn]] void fail(const char* what, const QString& detail = QString());

inline void check(bool condition, const char* what, const QString& detail = QString()) {
    if (!condition)
        fail(what, detail);
}

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

} // namespace lorimet::fuzz
