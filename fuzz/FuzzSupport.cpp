#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>
#include <time.h>

namespace lorimet::fuzz {
namespace {

// libFuzzer ends the process with exit(), after Qt has begun to take down its own globals: the application
// object is therefore never destroyed, and the scratch folder is removed without Qt.
QCoreApplication* application = nullptr;
std::string scratch;

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

} // namespace

void initialise(int* argc, char*** argv) {
    // One time zone without daylight saving on every machine: a crash found here reproduces there, and the
    // local-time conversions need not stat /etc/localtime thousands of times per input.
    setenv("TZ", "UTC0", 1);
    tzset();
    application = new QCoreApplication(*argc, *argv);
    std::string pattern = QDir::tempPath().toStdString() + "/lorimet-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail("cannot create the scratch folder", QString::fromStdString(pattern));
    scratch = pattern;
    std::atexit(removeScratch);
}

QString freshFolder(const QString& name) {
    const QString path = QString::fromStdString(scratch) + u'/' + name;
    QDir folder(path);
    if ((folder.exists() && !folder.removeRecursively()) || !QDir().mkpath(path))
        fail("cannot prepare the folder", path);
    return path;
}

void writeFile(const QString& path, const uint8_t* data, size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail("cannot write the input file", path + QStringLiteral(": ") + file.errorString());
    if (size > 0 && file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                        static_cast<qint64>(size))
        fail("cannot write the input file", path + QStringLiteral(": ") + file.errorString());
}

void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz property failed: %s%s%s\n", what, detail.isEmpty() ? "" : ": ",
                 detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

} // namespace lorimet::fuzz
