#pragma once

#include <QString>

namespace lorimet {

// The lines of a protocol block. Every reader of protocol files takes its fields by fixed character
// positions, so these texts must keep their widths exactly (see the position notes below).

// One smoothed sample of a run: "S=+087,250 dS=+000,014 T=012,3". Signal at 3-10, derivative at 15-22,
// elapsed time at 26-30 (1-based). Values that are not positive are written as 0. The elapsed time is in
// units of 1e-5 day with one decimal, cut (never rounded) to 1e-6 day.
QString dataLine(double signal, double derivative, double elapsedDays);

// "БПК*=012,35 " alone, or followed by "БПК=007,50 " (full analysis), or by "ОТ=045,7 %" (toxicity; it wins
// over the full form). Rate at 6-11, range at 17-22, toxicity index from 16.
QString resultLine(double rateResult, bool full, double rangeResult, bool toxicityTest,
                   double toxicityResult);

// "t=020,5 °C T=12:34": temperature at 3-7, duration at 14-18.
QString temperatureLine(double meanTemperature, const QString& durationText);

// "Время: 14:05:09 Дата: 06.12.26 г": time at 8-15, date at 23-32.
QString timeDateLine(const QString& timeText, const QString& dateText);

// A BOD value in the report table: one decimal from 1 upwards, two below.
QString resultCellText(double value);

} // namespace lorimet
