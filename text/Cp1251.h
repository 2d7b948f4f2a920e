#pragma once

#include <QByteArray>
#include <QString>

namespace lorimet {

// Every byte that crosses a file or the serial line is Windows-1251. The table is our own so that the
// conversion does not depend on how Qt was built (ICU or not).
QString fromCp1251(const QByteArray& bytes);
QString fromCp1251(const char* data, qsizetype size);

// Characters that Windows-1251 cannot represent become '?': a file must never end up half written
// because one character of a sample description came from elsewhere.
QByteArray toCp1251(const QString& text);

} // namespace lorimet
