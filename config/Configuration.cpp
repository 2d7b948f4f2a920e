#include "config/Configuration.h"

#include "text/Cp1251.h"
#include "text/Numbers.h"
#include "text/SafeFile.h"

#include <QDir>

#include <algorithm>
#include <optional>

namespace lorimet {

const QString Configuration::kFileName = QStringLiteral("Vornel_config.ini");

namespace {

// Labelled values start after the colon at position 29; switch words start at position 29.
constexpr qsizetype kValueStart = 29; // 0-based position 30
constexpr qsizetype kWordStart = 28;  // 0-based position 29

const QString kOn = QStringLiteral("Вкл");
const QString kOff = QStringLiteral("Выкл");

// Line 3's label ends in the Cyrillic С, lines 1 and 2 in the Latin A and B: the file has always been so.
const char16_t* const kDefaultLines[Configuration::LineCount] = {
    u"Последовательный порт       :COM1",
    u"Параметр фильтра           A:0,3",
    u"Параметр фильтра           B:3",
    u"Параметр фильтра           С:5",
    u"Частота прерываний          :2",
    u"Транспортное запаздывание   :2",
    u"Цвет панелей                :",
    u"градиент                    Вкл",
    u"$00C0C0C0",
    u"$00000000",
    u"$00FF0000",
    u"$000000FF",
    u"$00008000",
    u"$00FFFFFF",
    u"$00000000",
    u"Параметры панелей           :",
    u"2",
    u"2",
    u"2",
    u"9",
    u"Экран                       Выкл",
    u"Параметры                   Выкл",
    u"Интрументы                  Выкл",
    u"Протокол                    Выкл",
    u"Заставка                    Выкл",
};

// The label part of a default line: everything before the value or the switch word.
QString labelOf(int index, qsizetype length) {
    return QString::fromUtf16(kDefaultLines[index]).left(length);
}

QString switchLine(int index, bool on) {
    return labelOf(index, kWordStart) + (on ? kOn : kOff);
}

// Lines end in CR LF; a file edited elsewhere may end them in LF or CR alone. A terminator after the last
// line does not start another one.
QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

QString filePath(const QString& folder) {
    return QDir(folder).filePath(Configuration::kFileName);
}

// "COM" followed by a positive decimal number: the number, else nullopt.
std::optional<int> comNumber(const QString& port) {
    if (!port.startsWith(QLatin1String("COM")))
        return std::nullopt;
    const QStringView digits = QStringView(port).mid(3);
    if (digits.isEmpty() || digits.size() > 9)
        return std::nullopt;
    int n = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = n * 10 + (c.unicode() - u'0');
    }
    if (n <= 0)
        return std::nullopt;
    return n;
}

} // namespace

int Settings::portNumber() const {
    return comNumber(port).value_or(0);
}

QStringList Configuration::defaultLines() {
    QStringList lines;
    lines.reserve(LineCount);
    for (const char16_t* line : kDefaultLines)
        lines.append(QString::fromUtf16(line));
    return lines;
}

Configuration::LoadResult Configuration::load(const QString& folder) {
    // A FIFO or a device in its place is not read: it would hold the start-up for ever.
    const FileRead read = readRegularFile(filePath(folder));
    if (!read.bytes) {
        // A first start, or a file we may not read: start from the defaults. If they cannot be written
        // either, the program still runs on them and tries again at the next start.
        m_lines = defaultLines();
        save(folder);
        parse();
        return LoadResult::Defaulted;
    }
    m_lines = splitLines(fromCp1251(*read.bytes));
    return parse() ? LoadResult::Loaded : LoadResult::Damaged;
}

bool Configuration::parse() {
    // Every line up to the last size line must be there; the switch lines after it may be missing.
    if (m_lines.size() < FirstSizeLine + 4)
        return false;
    Settings s = m_settings;

    QString port = m_lines[PortLine].mid(kValueStart);
    while (!port.isEmpty() && port.back() == u' ')
        port.chop(1);
    if (port.isEmpty())
        return false;
    // "COM" takes the digits after it, all of them, and nothing more: "COM1x" is COM1. A number no port has
    // ("COM0") is for the opening of the port to refuse, with its own message.
    if (port.startsWith(QLatin1String("COM"))) {
        qsizetype end = 3;
        while (end < port.size() && port[end] >= u'0' && port[end] <= u'9')
            ++end;
        if (end == 3)
            return false;
        port.truncate(end);
    }
    s.port = port;

    const std::optional<double> a = parseFileReal(QStringView(m_lines[FilterALine]).mid(kValueStart, 4));
    if (!a)
        return false;
    s.filterA = std::clamp(*a, 0.01, 0.91);

    struct Ranged {
        int line;
        int* value;
        int low, high;
    };
    for (const Ranged& r :
         {Ranged{FilterBLine, &s.filterCycles, 1, 11}, Ranged{FilterCLine, &s.filterWindow, 1, 11},
          Ranged{FrequencyLine, &s.interruptFrequency, 1, 20}, Ranged{DelayLine, &s.transportDelay, 1, 30}}) {
        const std::optional<qint32> v = parseInteger(QStringView(m_lines[r.line]).mid(kValueStart, 2));
        if (!v)
            return false;
        *r.value = std::clamp(*v, r.low, r.high);
    }

    for (int i = 0; i < 7; ++i) {
        const std::optional<qint32> v = parseInteger(QStringView(m_lines[FirstColourLine + i]).left(9));
        if (!v)
            return false;
        s.colours[i] = static_cast<quint32>(*v);
    }

    for (int i = 0; i < 4; ++i) {
        const std::optional<qint32> v = parseInteger(QStringView(m_lines[FirstSizeLine + i]).left(2));
        if (!v)
            return false;
        // Line widths below 1 draw nothing; the table's font box offers 8..10 only.
        s.sizes[i] = i < 3 ? std::max(*v, 1) : std::clamp(*v, 8, 10);
    }

    // A file from before the last switch lines existed: those switches are off.
    for (int i = static_cast<int>(m_lines.size()); i < LineCount; ++i)
        m_lines.append(switchLine(i, false));
    m_settings = s;
    return true;
}

bool Configuration::isSwitchOn(int index) const {
    if (index < 0 || index >= m_lines.size())
        return false;
    return QStringView(m_lines[index]).mid(kWordStart, 4) != kOff;
}

bool Configuration::splashShown() const {
    return SplashLine < m_lines.size() && QStringView(m_lines[SplashLine]).mid(kWordStart, 4) == kOn;
}

void Configuration::setLine(int index, const QString& text) {
    // Writers replace lines, never add them; before a successful load there is nothing to replace.
    if (index >= 0 && index < m_lines.size())
        m_lines[index] = text;
}

void Configuration::writePortAndFilterLines(const QString& port, const QString& aLabelText, int b, int c,
                                            int frequency, int delay) {
    const QString values[] = {port,
                              aLabelText,
                              QString::number(b),
                              QString::number(c),
                              QString::number(frequency),
                              QString::number(delay)};
    for (int i = PortLine; i <= DelayLine; ++i)
        setLine(i, labelOf(i, kValueStart) + values[i]);
}

void Configuration::writeSwitch(int index, bool on) {
    if (index == GradientLine || (index >= ScreenLine && index <= SplashLine))
        setLine(index, switchLine(index, on));
}

void Configuration::writePlotterLines(bool gradient, const std::array<quint32, 7>& colours,
                                      const std::array<int, 4>& sizes) {
    writeSwitch(GradientLine, gradient);
    for (int i = 0; i < 5; ++i)
        setLine(FirstColourLine + i, colourText(colours[i]));
    for (int i = 0; i < 3; ++i)
        setLine(FirstSizeLine + i, QString::number(sizes[i]));
}

void Configuration::writeTableLines(quint32 c5, quint32 c6, int s3) {
    setLine(FirstColourLine + 5, colourText(c5));
    setLine(FirstColourLine + 6, colourText(c6));
    setLine(FirstSizeLine + 3, QString::number(s3));
}

bool Configuration::save(const QString& folder) const {
    QByteArray bytes;
    for (const QString& line : m_lines) {
        bytes += toCp1251(line);
        bytes += "\r\n";
    }
    return writeFileAtomically(filePath(folder), bytes);
}

QString colourText(quint32 colour) {
    return QLatin1Char('$') + QString::number(colour, 16).rightJustified(8, u'0').toUpper();
}

} // namespace lorimet
