#include "text/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <string>

namespace lorimet {
namespace {

// Decimal digits of |value| rounded to `decimals` places: integer part and fraction part as text.
void decimalDigits(double value, int decimals, std::string& integerPart, std::string& fraction) {
    char buf[64];
    // 15 significant digits, like the platform's float-to-text conversion, so 12.345 prints as 12,35
    // rather than following the binary value 12.3449999….
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    std::string text(buf, res.ptr);
    const auto ePos = text.find('e');
    const int exponent = std::stoi(text.substr(ePos + 1));
    std::string digits;
    for (size_t k = 0; k < ePos; ++k)
        if (text[k] != '.')
            digits.push_back(text[k]);
    // value = 0.digits × 10^(exponent+1); place the point after `pointPos` digits.
    int pointPos = exponent + 1;
    if (pointPos < 0) {
        digits.insert(0, static_cast<size_t>(-pointPos), '0');
        pointPos = 0;
    }
    if (static_cast<int>(digits.size()) < pointPos + decimals + 1)
        digits.append(static_cast<size_t>(pointPos + decimals + 1 - static_cast<int>(digits.size())), '0');
    const int keep = pointPos + decimals;
    const bool roundUp = digits[static_cast<size_t>(keep)] >= '5';
    digits.resize(static_cast<size_t>(keep));
    if (roundUp) {
        int k = keep - 1;
        while (k >= 0 && digits[static_cast<size_t>(k)] == '9')
            digits[static_cast<size_t>(k--)] = '0';
        if (k >= 0)
            ++digits[static_cast<size_t>(k)];
        else {
            digits.insert(digits.begin(), '1');
            ++pointPos;
        }
    }
    integerPart = digits.substr(0, static_cast<size_t>(pointPos));
    fraction = digits.substr(static_cast<size_t>(pointPos));
    const auto firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? std::string() : integerPart.substr(firstNonZero);
}

} // namespace

QString formatNumber(double value, QStringView pattern) {
    qsizetype first = -1;
    for (qsizetype k = 0; k < pattern.size(); ++k)
        if (pattern[k] == u'0') {
            first = k;
            break;
        }
    if (first < 0)
        return pattern.toString();
    qsizetype last = first;
    int integerZeros = 0;
    int decimals = 0;
    bool afterPoint = false;
    for (qsizetype k = first; k < pattern.size(); ++k) {
        if (pattern[k] == u'0') {
            (afterPoint ? decimals : integerZeros)++;
            last = k;
        } else if (pattern[k] == u'.' && !afterPoint && k + 1 < pattern.size() && pattern[k + 1] == u'0') {
            afterPoint = true;
        } else {
            break;
        }
    }
    if (!std::isfinite(value))
        value = 0;
    std::string integerPart, fraction;
    decimalDigits(value, decimals, integerPart, fraction);
    if (static_cast<int>(integerPart.size()) < integerZeros)
        integerPart.insert(0, static_cast<size_t>(integerZeros - static_cast<int>(integerPart.size())), '0');
    const bool isZero = integerPart.find_first_not_of('0') == std::string::npos &&
                        fraction.find_first_not_of('0') == std::string::npos;
    QString number;
    if (value < 0 && !isZero)
        number += u'-';
    number += QString::fromLatin1(integerPart.data(), static_cast<qsizetype>(integerPart.size()));
    if (decimals > 0) {
        number += u',';
        number += QString::fromLatin1(fraction.data(), static_cast<qsizetype>(fraction.size()));
    }
    return pattern.left(first).toString() + number + pattern.mid(last + 1).toString();
}

} // namespace lorimet
