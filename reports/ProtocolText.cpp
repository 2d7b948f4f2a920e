#include "reports/ProtocolText.h"

#include "text/NumberFormat.h"

#include <cmath>

namespace lorimet {

QString dataLine(double signal, double derivative, double elapsedDays) {
    // Cut to 1e-6 day first: a reader that needs the original time subtracts half a unit again.
    const double elapsedUnits = std::floor(elapsedDays * 1000000.0) / 10.0;
    return formatNumber(signal > 0 ? signal : 0.0, u"S=+000.000 ") +
           formatNumber(derivative > 0 ? derivative : 0.0, u"dS=+000.000 ") + QStringLiteral("T=") +
           formatNumber(elapsedUnits, u"000.0");
}

QString resultLine(double rateResult, bool full, double rangeResult, bool toxicityTest,
                   double toxicityResult) {
    QString line = formatNumber(rateResult, u"БПК*=000.00 ");
    if (toxicityTest)
        line += formatNumber(toxicityResult, u"ОТ=000.0 %");
    else if (full)
        line += formatNumber(rangeResult, u"БПК=000.00 ");
    return line;
}

QString temperatureLine(double meanTemperature, const QString& durationText) {
    return formatNumber(meanTemperature, u"t=000.0 °C ") + QStringLiteral("T=") + durationText;
}

QString timeDateLine(const QString& timeText, const QString& dateText) {
    return QStringLiteral("Время: ") + timeText + QStringLiteral(" Дата: ") + dateText;
}

QString resultCellText(double value) {
    return formatNumber(value, value >= 1 ? u"0.0" : u"0.00");
}

} // namespace lorimet
