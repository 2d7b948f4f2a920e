#pragma once

#include <QString>

namespace lorimet {

// The extension of a dialog filter such as "Текстовый файл (*.txt)|*.txt": "txt"; empty when the filter
// names none.
QString filterExtension(const QString& filter);

// The path with ".extension" appended unless its name already ends in it, in any case. The proposed names
// hold dots of their own ("Протокол от 10.12.26 г"), so what follows the last dot is no guide to whether
// the name has its extension.
QString withExtension(const QString& path, const QString& extension);

} // namespace lorimet
