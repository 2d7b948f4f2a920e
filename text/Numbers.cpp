#include "text/Numbers.h"

#include <charconv>
#include <cmath>
#include <string>

namespace lorimet {

double RoundTo(int decimals, double x) {
    const double scale = std::pow(10.0, decimals);
    // nearbyint honours the default rounding mode, round-half-to-even.
    return std::nearbyint(x * scale) / scale;
}

std::optional<double> parseReal(QStringView text, QChar decimalSeparator) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    std::string ascii;
    ascii.reserve(static_cast<size_t>(n - i));
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int mantissaDigits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 0x80) {
        ascii.push_back(static_cast<char>(text[i].unicode()));
        ++mantissaDigits;
        ++i;
    }
    if (i < n && text[i] == decimalSeparator) {
        ascii.push_back('.');
        ++i;
        while (i < n && text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
            ascii.push_back(static_cast<char>(text[i].unicode()));
            ++mantissaDigits;
            ++i;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ascii.push_back(static_cast<char>(text[i++].unicode()));
        int exponentDigits = 0;
        while (i < n && text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
            ascii.push_back(static_cast<char>(text[i].unicode()));
            ++exponentDigits;
            ++i;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> parseFileField(QStringView field) {
    while (!field.isEmpty() && field.back() == u' ')
        field.chop(1);
    return parseFileReal(field);
}

std::optional<std::int32_t> parseInteger(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    if (i < n && text[i] == u'$') {
        ++i;
        if (i == n || n - i > 8)
            return std::nullopt;
        std::uint32_t value = 0;
        for (; i < n; ++i) {
            const char16_t c = text[i].unicode();
            int digit;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else
                return std::nullopt;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        return static_cast<std::int32_t>(value);
    }
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace lorimet
