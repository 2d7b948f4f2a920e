#pragma once

#include <QString>
#include <QStringView>

namespace lorimet {

// One implementation of the program's number patterns ("0.0", "0.00 мг/л.", "S=+000.000 ", "t=000.0 °C "…).
// The run of '0' placeholders around the first '.' is the number: as many integer digits as it has '0's
// before the '.' (more when needed), exactly as many decimals as it has after it, rounded half away from
// zero on the value's 15-digit decimal form. Everything else is copied as it stands. The decimal separator
// is always the comma; a minus sign goes right before the digits.
QString formatNumber(double value, QStringView pattern);

} // namespace lorimet
