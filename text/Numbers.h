#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

namespace lorimet {

// x rounded to n decimals; exact ties go to the even neighbour (RoundTo(1, 0.25) = 0.2).
double RoundTo(int decimals, double x);

// Strict real conversion: leading blanks, an optional sign, digits with an optional decimal separator
// and digits, an optional exponent; nothing else, not even a trailing blank. Overflow fails.
std::optional<double> parseReal(QStringView text, QChar decimalSeparator);

// The instrument reads its numbers with the point, whatever the machine's settings.
inline std::optional<double> parseInstrumentReal(QStringView text) {
    return parseReal(text, u'.');
}
// Every file the program writes and reads back uses the comma.
inline std::optional<double> parseFileReal(QStringView text) {
    return parseReal(text, u',');
}

// A number cut from a line of a file by its positions: blanks may come along on either side ("012,35 " of
// "БПК*=012,35 ", "20,5 " of "t=020,5 °C"), and the conversion accepts them.
std::optional<double> parseFileField(QStringView field);

// Strict 32-bit integer conversion: leading blanks, then decimal digits with an optional sign, or "$"
// followed by hexadecimal digits (the colour lines of the configuration).
std::optional<std::int32_t> parseInteger(QStringView text);

} // namespace lorimet
