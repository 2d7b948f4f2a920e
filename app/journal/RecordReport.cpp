#include "app/journal/RecordReport.h"

#include "journal/Store.h"
#include "reports/ProtocolText.h"
#include "text/NumberFormat.h"
#include "text/SafeFile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSettings>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

namespace lorimet::recordreport {

using journal::Record;
using journal::RecordLine;

namespace {

// The page in units of 0.1 mm: A4 inside margins of 15 mm.
constexpr qreal kWidth = 1800;
constexpr qreal kHeight = 2670;
constexpr qreal kMarginMm = 15;

// Text sizes (the em, in 0.1 mm).
constexpr int kLabSize = 46;
constexpr int kAddressSize = 30;
constexpr int kTitleSize = 50;
constexpr int kTextSize = 32;
constexpr int kSectionSize = 34;
constexpr int kSmallSize = 26;
constexpr int kResultSize = 56;
constexpr int kCodeSize = 23;

constexpr qreal kRowStep = 46;       // a row of the fields table
constexpr qreal kSectionGap = 40;    // between blocks
constexpr qreal kLabelWidth = 560;   // the fields table's labels
constexpr qreal kMinimumChart = 700; // the curve keeps at least 70 mm whatever the notes take
constexpr qreal kLargestChart = 1100;
constexpr int kNoteLines = 3; // a note longer than this many lines is cut

const QColor kInk(0, 0, 0);
const QColor kMuted(90, 90, 90);
const QColor kRule(150, 150, 150);
const QColor kGrid(220, 220, 220);
const QColor kSignalColour(0, 70, 170);
const QColor kDerivativeColour(215, 105, 0);
const QColor kMarkerColour(40, 40, 40);
const QColor kInvalidColour(200, 0, 0);
const QColor kResultBox(243, 243, 243);

QString commaNumber(double value) {
    return journal::canonicalNumber(value).replace(u'.', u',');
}

// The coefficients are kept at full precision; six digits are what a reader can compare.
QString coefficientText(double value) {
    return QString::number(value, 'g', 6).replace(u'.', u',');
}

// A journal time (ISO 8601 with offset) as the lab reads it, in this machine's local time.
QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("—") : text;
}

QString timeText(const QString& iso) {
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) : orDash(iso);
}

QString notesLeftText(qsizetype n) {
    const qsizetype ones = n % 10, tens = n % 100;
    const char* word = ones == 1 && tens != 11                              ? "примечание"
                       : ones >= 2 && ones <= 4 && (tens < 12 || tens > 14) ? "примечания"
                                                                            : "примечаний";
    return QStringLiteral("… и ещё %1 %2 в журнале").arg(n).arg(QString::fromUtf8(word));
}

QString numberOrDash(const Record& r, QStringView field, const QString& unit = {}) {
    const QVariant v = r.value(field);
    return v.isNull() ? QStringLiteral("—") : commaNumber(v.toDouble()) + unit;
}

QString bodText(const QVariant& v) {
    return v.isNull() ? QStringLiteral("—") : resultCellText(v.toDouble()) + QStringLiteral(" мг/л");
}

QString mmss(qint64 seconds) {
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString statusText(const Record& r) {
    const QString status = r.text(u"status");
    const bool calibration = r.text(u"kind") == u"calibration";
    if (status == u"completed")
        return calibration ? QStringLiteral("завершена") : QStringLiteral("завершён");
    if (status == u"stopped")
        return QStringLiteral("остановлен: БПК свыше 200 мг/л");
    if (status == u"abandoned")
        return QStringLiteral("прерван до результата");
    return orDash(status);
}

// Ticks at 1, 2, 2.5 or 5 times a power of ten, about `wanted` of them over the values.
struct Axis {
    double low = 0, high = 1, step = 1;
    int decimals = 0;

    double fraction(double v) const { return (v - low) / (high - low); }
    QString label(double v) const {
        if (std::abs(v) < step * 1e-9)
            v = 0; // no "-0,0"
        return QString::number(v, 'f', decimals).replace(u'.', u',');
    }
};

Axis niceAxis(double low, double high, int wanted) {
    if (!std::isfinite(low) || !std::isfinite(high) || high < low) {
        low = 0;
        high = 1;
    }
    if (high - low < 1e-12) { // a flat curve still gets a scale around its value
        const double pad = std::max(std::abs(low) * 0.01, 0.5);
        low -= pad;
        high += pad;
    }
    const double raw = (high - low) / wanted;
    const int power = static_cast<int>(std::floor(std::log10(raw)));
    const double magnitude = std::pow(10.0, power);
    Axis a;
    a.step = 10 * magnitude;
    int extra = 0;
    for (const double m : {1.0, 2.0, 2.5, 5.0}) {
        if (m * magnitude >= raw * (1 - 1e-9)) {
            a.step = m * magnitude;
            extra = m == 2.5 ? 1 : 0;
            break;
        }
    }
    a.low = std::floor(low / a.step + 1e-9) * a.step;
    a.high = std::ceil(high / a.step - 1e-9) * a.step;
    if (a.high <= a.low)
        a.high = a.low + a.step;
    a.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(a.step) + 1e-9)) + extra);
    return a;
}

// Whole seconds from 0 to the run's end, ticks at a step a reader counts in.
struct TimeAxis {
    qint64 end = 60;
    qint64 step = 10;
};

TimeAxis timeAxis(qint64 lastMs) {
    const qint64 seconds = std::max<qint64>(1, (lastMs + 999) / 1000);
    TimeAxis t;
    for (const qint64 s : {5, 10, 15, 30, 60, 120, 300, 600, 900, 1200, 1800, 3600, 7200}) {
        t.step = s;
        if (seconds / s < 8)
            break;
    }
    t.end = (seconds + t.step - 1) / t.step * t.step;
    return t;
}

class PageWriter {
  public:
    PageWriter(QPainter& painter, const Input& input)
        : p_(painter), in_(input), r_(input.record), base_(painter.font()) {
        base_.setHintingPreference(QFont::PreferNoHinting); // the metrics of the size drawn, at any scale
        base_.setStyleStrategy(QFont::PreferAntialias);
    }

    void draw() {
        p_.setRenderHint(QPainter::Antialiasing);
        p_.setRenderHint(QPainter::TextAntialiasing);
        drawLab();
        drawTitle();
        drawFields();
        drawResults();
        drawCalibrationAndSettings();
        const qreal footerTop = kHeight - footerHeight();
        const qreal chartTop = y_;
        // The notes take what the curve can spare: all of them, or as many as fit and a count of the rest.
        const qreal available = footerTop - kSectionGap - chartTop - kMinimumChart - kSectionGap;
        const NotesLayout notes = layOutNotes(available);
        const qreal chartHeight =
            std::min(kLargestChart, footerTop - kSectionGap - chartTop - kSectionGap - notes.height);
        drawChart(QRectF(0, chartTop, kWidth, chartHeight));
        y_ = chartTop + chartHeight + kSectionGap;
        drawNotes(notes);
        drawFooter(footerTop);
        if (isInvalidated(in_))
            drawInvalidMark();
    }

  private:
    QFont font(int size, bool bold = false) const {
        QFont f = base_;
        f.setPixelSize(size);
        f.setBold(bold);
        return f;
    }
    QFont codeFont(int size) const {
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        f.setHintingPreference(QFont::PreferNoHinting);
        f.setPixelSize(size);
        return f;
    }
    QFontMetricsF metrics() const { return QFontMetricsF(p_.font(), p_.device()); }

    // One line of text with its top at `top`, cut with "…" to `width`; returns the line's height.
    qreal text(qreal x, qreal top, qreal width, const QString& s, Qt::Alignment align = Qt::AlignLeft) {
        const QFontMetricsF fm = metrics();
        const QString shown = fm.elidedText(s, Qt::ElideRight, width);
        qreal left = x;
        if (align & Qt::AlignRight)
            left = x + width - fm.horizontalAdvance(shown);
        else if (align & Qt::AlignHCenter)
            left = x + (width - fm.horizontalAdvance(shown)) / 2;
        p_.drawText(QPointF(left, top + fm.ascent()), shown);
        return fm.height();
    }

    // The text broken into lines of `width`, at most maxLines, the last cut with "…" when more is left.
    QStringList wrapped(const QString& s, qreal width, int maxLines) const {
        QStringList lines;
        const QStringList paragraphs = s.split(u'\n');
        for (qsizetype k = 0; k < paragraphs.size(); ++k) {
            QTextLayout layout(paragraphs[k], p_.font(), p_.device());
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                if (lines.size() == maxLines - 1) {
                    // The rest of the note, this paragraph's and the ones after it, on the last line.
                    QStringList rest{paragraphs[k].mid(line.textStart())};
                    rest += paragraphs.mid(k + 1);
                    const QString tail = rest.join(u' ').simplified();
                    lines << metrics().elidedText(tail, Qt::ElideRight, width);
                    layout.endLayout();
                    return lines;
                }
                lines << paragraphs[k].mid(line.textStart(), line.textLength()).trimmed();
            }
            layout.endLayout();
        }
        return lines;
    }

    void rule(qreal top, qreal width = 4, const QColor& colour = kRule) {
        p_.setPen(QPen(colour, width));
        p_.drawLine(QPointF(0, top), QPointF(kWidth, top));
    }

    void drawLab() {
        QStringList address;
        for (const QString& line : in_.lab.address.split(u'\n'))
            if (!line.trimmed().isEmpty())
                address << line.trimmed();
        const QString name = in_.lab.name.trimmed();
        if (name.isEmpty() && address.isEmpty())
            return;
        p_.setPen(kInk);
        if (!name.isEmpty()) {
            p_.setFont(font(kLabSize, true));
            y_ += text(0, y_, kWidth, name);
        }
        p_.setFont(font(kAddressSize));
        p_.setPen(kMuted);
        for (const QString& line : address.mid(0, 3))
            y_ += text(0, y_, kWidth, line);
        y_ += 15;
        rule(y_, 5, kInk);
        y_ += kSectionGap;
    }

    bool isCalibration() const { return r_.text(u"kind") == u"calibration"; }

    void drawTitle() {
        p_.setPen(kInk);
        p_.setFont(font(kTitleSize, true));
        y_ += text(0, y_, kWidth,
                   isCalibration() ? QStringLiteral("КАЛИБРОВКА ПО РАСТВОРУ ГСО")
                                   : QStringLiteral("ПРОТОКОЛ ИЗМЕРЕНИЯ БПК"),
                   Qt::AlignHCenter);
        if (isInvalidated(in_)) {
            QString why;
            for (const Record& a : in_.annotations)
                if (a.value(u"invalidates").toBool()) {
                    why = a.text(u"note");
                    break;
                }
            p_.setPen(kInvalidColour);
            p_.setFont(font(kSectionSize, true));
            y_ += 8;
            y_ += text(0, y_, kWidth,
                       (isCalibration() ? QStringLiteral("Калибровка признана недействительной")
                                        : QStringLiteral("Результат признан недействительным")) +
                           (why.isEmpty() ? QString() : QStringLiteral(": ") + why),
                       Qt::AlignHCenter);
        }
        y_ += kSectionGap;
    }

    void fieldRow(const QString& label, const QString& value, bool bold = false) {
        p_.setFont(font(kTextSize));
        p_.setPen(kMuted);
        text(0, y_, kLabelWidth - 20, label);
        p_.setFont(font(kTextSize, bold));
        p_.setPen(kInk);
        text(kLabelWidth, y_, kWidth - kLabelWidth, value);
        y_ += kRowStep;
    }

    void drawFields() {
        if (isCalibration()) {
            fieldRow(QStringLiteral("Окончание калибровки"), timeText(r_.text(u"finished_at")), true);
            fieldRow(QStringLiteral("Аттестованное значение ГСО"),
                     numberOrDash(r_, u"certified_value", QStringLiteral(" мг/л")));
            if (!r_.value(u"reference_dilution").isNull())
                fieldRow(QStringLiteral("Разведение ГСО"), numberOrDash(r_, u"reference_dilution"));
        } else {
            fieldRow(QStringLiteral("Описание пробы"), orDash(r_.text(u"description")), true);
            fieldRow(QStringLiteral("Окончание измерения"), timeText(r_.text(u"finished_at")));
            const QString kind = r_.text(u"analysis_kind");
            fieldRow(QStringLiteral("Вид анализа"),
                     kind == u"Small"  ? QStringLiteral("по начальным скоростям")
                     : kind == u"Full" ? QStringLiteral("по конечным скоростям")
                                       : orDash(kind));
            fieldRow(QStringLiteral("Разведение"), numberOrDash(r_, u"dilution"));
        }
        if (r_.text(u"status") != u"completed")
            fieldRow(QStringLiteral("Состояние"), statusText(r_));
        fieldRow(QStringLiteral("Оператор"), orDash(r_.text(u"operator")));
        fieldRow(QStringLiteral("Станция"), orDash(r_.text(u"station_name")));
        y_ += kSectionGap - 10;
    }

    void drawResults() {
        struct Cell {
            QString label, value, caption;
        };
        std::vector<Cell> cells;
        cells.push_back({QStringLiteral("БПК'"), bodText(r_.value(u"bod_initial")),
                         QStringLiteral("по начальной скорости")});
        // A small analysis has no final rate; a calibration's run gives both.
        if (r_.text(u"analysis_kind") != u"Small")
            cells.push_back({QStringLiteral("БПК"), bodText(r_.value(u"bod_final")),
                             QStringLiteral("по конечной скорости")});
        if (!r_.value(u"toxicity").isNull())
            cells.push_back({QStringLiteral("ОПИ"),
                             formatNumber(r_.value(u"toxicity").toDouble(), u"0.0") + QStringLiteral(" %"),
                             QStringLiteral("индекс токсичности")});
        const QVariant t = r_.value(u"mean_temperature");
        cells.push_back(
            {QStringLiteral("Температура"),
             t.isNull() ? QStringLiteral("—") : formatNumber(t.toDouble(), u"0.0") + QStringLiteral(" °C"),
             QStringLiteral("средняя за измерение")});

        const qreal pad = 25;
        const qreal height = pad + 40 + 72 + 34 + pad;
        const QRectF box(0, y_, kWidth, height);
        p_.setPen(QPen(kRule, 3));
        p_.setBrush(kResultBox);
        p_.drawRect(box);
        p_.setBrush(Qt::NoBrush);
        const qreal width = kWidth / static_cast<qreal>(cells.size());
        for (size_t k = 0; k < cells.size(); ++k) {
            const qreal x = width * static_cast<qreal>(k) + pad;
            const qreal w = width - 2 * pad;
            qreal top = y_ + pad;
            p_.setPen(kInk);
            p_.setFont(font(kTextSize, true));
            text(x, top, w, cells[k].label);
            top += 40;
            p_.setFont(font(kResultSize, true));
            text(x, top, w, cells[k].value);
            top += 72;
            p_.setPen(kMuted);
            p_.setFont(font(kSmallSize));
            text(x, top, w, cells[k].caption);
            if (k > 0) {
                p_.setPen(QPen(kRule, 2));
                p_.drawLine(QPointF(width * static_cast<qreal>(k), y_ + pad),
                            QPointF(width * static_cast<qreal>(k), y_ + height - pad));
            }
        }
        y_ += height + kSectionGap;
    }

    struct Row {
        QString label, value;
    };

    // A titled column of label-value rows; returns its height.
    qreal block(qreal x, qreal width, const QString& title, const std::vector<Row>& rows, qreal labelWidth) {
        qreal top = y_;
        p_.setPen(kInk);
        p_.setFont(font(kSectionSize, true));
        top += text(x, top, width, title) + 6;
        p_.setPen(QPen(kRule, 2));
        p_.drawLine(QPointF(x, top), QPointF(x + width, top));
        top += 14;
        for (const Row& row : rows) {
            p_.setFont(font(kTextSize - 2));
            p_.setPen(row.value.isNull() ? kInk : kMuted);
            text(x, top, row.value.isNull() ? width : labelWidth - 15, row.label);
            if (!row.value.isNull()) {
                p_.setPen(kInk);
                text(x + labelWidth, top, width - labelWidth, row.value);
            }
            top += kRowStep - 4;
        }
        return top - y_;
    }

    void drawCalibrationAndSettings() {
        std::vector<Row> calibration;
        QString title = QStringLiteral("Калибровка");
        if (isCalibration()) {
            title = QStringLiteral("Полученные коэффициенты");
            for (const auto& [label, field] : {std::pair{"по начальной скорости", u"rate_coefficient"},
                                               std::pair{"по конечной скорости", u"range_coefficient"}}) {
                const QVariant v = r_.value(field);
                calibration.push_back({QString::fromUtf8(label),
                                       v.isNull() ? QStringLiteral("—") : coefficientText(v.toDouble())});
            }
        } else if (in_.calibration) {
            const Record& c = *in_.calibration;
            calibration.push_back({QStringLiteral("Дата"), timeText(c.text(u"finished_at"))});
            calibration.push_back({QStringLiteral("Значение ГСО"),
                                   numberOrDash(c, u"certified_value", QStringLiteral(" мг/л"))});
            for (const auto& [label, field] : {std::pair{"Коэфф. нач. скорости", u"rate_coefficient"},
                                               std::pair{"Коэфф. кон. скорости", u"range_coefficient"}}) {
                const QVariant v = c.value(field);
                calibration.push_back({QString::fromUtf8(label),
                                       v.isNull() ? QStringLiteral("—") : coefficientText(v.toDouble())});
            }
        } else {
            calibration.push_back({QStringLiteral("нет сведений"), QString()});
        }

        auto number = [this](QStringView field, QStringView pattern, const QString& unit) {
            const QVariant v = r_.value(field);
            return v.isNull() ? QStringLiteral("—") : formatNumber(v.toDouble(), pattern) + unit;
        };
        const std::vector<Row> settings = {
            {QStringLiteral("Сглаживание A"), number(u"filter_a", u"0.00", {})},
            {QStringLiteral("Циклов сглаживания B"), number(u"filter_b", u"0", {})},
            {QStringLiteral("Окно сглаживания C"), number(u"filter_c", u"0", {})},
            {QStringLiteral("Частота прерываний"), number(u"frequency", u"0", QStringLiteral(" Гц"))},
            {QStringLiteral("Транспортное запаздывание"), number(u"delay", u"0", QStringLiteral(" сек."))},
        };
        const qreal gap = 60;
        const qreal column = (kWidth - gap) / 2;
        const qreal left = block(0, column, title, calibration, 400);
        const qreal right = block(column + gap, column, QStringLiteral("Настройки прибора"), settings, 530);
        y_ += std::max(left, right) + kSectionGap - 20;
    }

    struct NotesLayout {
        struct Note {
            QString heading;
            bool invalidates = false;
            QStringList lines;
        };
        std::vector<Note> notes;
        qsizetype left = 0; // the notes that did not fit
        qreal height = 0;
    };

    static constexpr qreal kNoteHeadingStep = 40;
    static constexpr qreal kNoteLineStep = 38;
    static constexpr qreal kNoteGap = 14;
    static constexpr qreal kNotesTitle = 60;

    NotesLayout layOutNotes(qreal room) {
        NotesLayout layout;
        layout.height = kNotesTitle + kNoteLineStep;
        p_.setFont(font(kTextSize - 2));
        for (size_t k = 0; k < in_.annotations.size(); ++k) {
            const Record& a = in_.annotations[k];
            NotesLayout::Note note;
            note.invalidates = a.value(u"invalidates").toBool();
            note.heading =
                timeText(a.text(u"finished_at")) + QStringLiteral("   ") + orDash(a.text(u"operator")) +
                QStringLiteral("   ") +
                (note.invalidates ? QStringLiteral("результат недействителен") : QStringLiteral("замечание"));
            note.lines = wrapped(a.text(u"note"), kWidth - 40, kNoteLines);
            const qreal height =
                kNoteHeadingStep + kNoteLineStep * static_cast<qreal>(note.lines.size()) + kNoteGap;
            const bool last = k + 1 == in_.annotations.size();
            const qreal base = k == 0 ? kNotesTitle : layout.height;
            // Room for this note, and for the line counting the rest unless it is the last.
            if (base + height + (last ? 0 : kNoteLineStep) > room) {
                layout.left = static_cast<qsizetype>(in_.annotations.size() - k);
                layout.height = base + kNoteLineStep;
                return layout;
            }
            layout.notes.push_back(note);
            layout.height = base + height;
        }
        return layout;
    }

    void drawNotes(const NotesLayout& layout) {
        p_.setPen(kInk);
        p_.setFont(font(kSectionSize, true));
        const qreal top = y_;
        y_ += text(0, y_, kWidth, QStringLiteral("Примечания")) + 6;
        p_.setPen(QPen(kRule, 2));
        p_.drawLine(QPointF(0, y_), QPointF(kWidth, y_));
        y_ = top + kNotesTitle;
        if (layout.notes.empty() && layout.left == 0) {
            p_.setPen(kMuted);
            p_.setFont(font(kTextSize - 2));
            text(0, y_, kWidth, QStringLiteral("нет"));
            return;
        }
        for (const auto& note : layout.notes) {
            p_.setPen(note.invalidates ? kInvalidColour : kInk);
            p_.setFont(font(kTextSize - 4, true));
            text(0, y_, kWidth, note.heading);
            y_ += kNoteHeadingStep;
            p_.setPen(kInk);
            p_.setFont(font(kTextSize - 2));
            for (const QString& line : note.lines) {
                text(40, y_, kWidth - 40, line);
                y_ += kNoteLineStep;
            }
            y_ += kNoteGap;
        }
        if (layout.left > 0) {
            p_.setPen(kMuted);
            p_.setFont(font(kTextSize - 2));
            text(0, y_, kWidth, notesLeftText(layout.left));
        }
    }

    static constexpr qreal kFooterLine = 34;
    qreal footerHeight() const { return 20 + 3 * kFooterLine; }

    void drawFooter(qreal top) {
        rule(top, 3);
        qreal y = top + 20;
        p_.setPen(kMuted);
        p_.setFont(font(kSmallSize - 2));
        QString record = QStringLiteral("Запись журнала");
        if (!r_.value(u"seq").isNull())
            record += QStringLiteral(" № ") + r_.value(u"seq").toString();
        if (!r_.text(u"station_name").isEmpty())
            record += QStringLiteral(", станция ") + r_.text(u"station_name");
        if (!r_.text(u"source").isEmpty())
            record += QStringLiteral(", ") + r_.text(u"source");
        if (!r_.text(u"app_version").isEmpty())
            record += QStringLiteral(", lorimet ") + r_.text(u"app_version");
        text(0, y, kWidth * 0.6, record);
        if (in_.madeAt.isValid())
            text(kWidth * 0.6, y, kWidth * 0.4,
                 QStringLiteral("Составлен ") +
                     in_.madeAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")),
                 Qt::AlignRight);
        y += kFooterLine;
        p_.setFont(codeFont(kCodeSize));
        text(0, y, kWidth, QStringLiteral("id   ") + orDash(r_.text(u"id")));
        y += kFooterLine;
        text(0, y, kWidth, QStringLiteral("hash ") + orDash(r_.text(u"hash")));
    }

    void drawChart(const QRectF& area) {
        p_.setPen(kInk);
        p_.setFont(font(kSectionSize, true));
        qreal top = area.top();
        top += text(0, top, kWidth, QStringLiteral("Кривая измерения")) + 6;
        p_.setPen(QPen(kRule, 2));
        p_.drawLine(QPointF(0, top), QPointF(kWidth, top));
        top += 14;

        // The legend's line, then the plot inside room for the tick labels and the axis titles.
        const qreal legendTop = top;
        const QRectF plot(QPointF(area.left() + 160, legendTop + 70),
                          QPointF(area.right() - 160, area.bottom() - 100));
        const std::vector<RecordLine>& lines = r_.lines;
        std::vector<const RecordLine*> finite;
        finite.reserve(lines.size());
        for (const RecordLine& l : lines)
            if (std::isfinite(l.smoothed) && std::isfinite(l.derivative) && l.elapsedMs >= 0)
                finite.push_back(&l);
        drawLegend(legendTop, plot);
        p_.setPen(QPen(kInk, 3));
        p_.setBrush(Qt::NoBrush);
        if (finite.empty()) {
            p_.drawRect(plot);
            p_.setPen(kMuted);
            p_.setFont(font(kTextSize));
            text(plot.left(), plot.center().y() - 20, plot.width(),
                 QStringLiteral("строки измерения в журнале не сохранены"), Qt::AlignHCenter);
            return;
        }
        double sLow = finite.front()->smoothed, sHigh = sLow;
        double dLow = 0, dHigh = 0; // the derivative's scale always shows its zero
        qint64 last = 0;
        for (const RecordLine* l : finite) {
            sLow = std::min(sLow, l->smoothed);
            sHigh = std::max(sHigh, l->smoothed);
            dLow = std::min(dLow, l->derivative);
            dHigh = std::max(dHigh, l->derivative);
            last = std::max(last, l->elapsedMs);
        }
        const Axis left = niceAxis(sLow, sHigh, 6);
        const Axis right = niceAxis(dLow, dHigh, 6);
        const TimeAxis time = timeAxis(last);
        auto xOf = [&](qint64 ms) { return plot.left() + plot.width() * (ms / 1000.0) / time.end; };
        auto yOf = [&](const Axis& a, double v) { return plot.bottom() - plot.height() * a.fraction(v); };

        // Grid and ticks.
        p_.setFont(font(kSmallSize));
        const QFontMetricsF fm = metrics();
        const int leftTicks = static_cast<int>(std::lround((left.high - left.low) / left.step));
        for (int k = 0; k <= leftTicks; ++k) {
            const double v = left.low + k * left.step;
            const qreal y = yOf(left, v);
            p_.setPen(QPen(kGrid, 2));
            if (k > 0 && k < leftTicks)
                p_.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            p_.setPen(kSignalColour);
            text(plot.left() - 150, y - fm.height() / 2, 135, left.label(v), Qt::AlignRight);
        }
        const int rightTicks = static_cast<int>(std::lround((right.high - right.low) / right.step));
        for (int k = 0; k <= rightTicks; ++k) {
            const double v = right.low + k * right.step;
            const qreal y = yOf(right, v);
            p_.setPen(QPen(kDerivativeColour, 3));
            p_.drawLine(QPointF(plot.right(), y), QPointF(plot.right() + 12, y));
            text(plot.right() + 18, y - fm.height() / 2, 140, right.label(v));
        }
        for (qint64 s = 0; s <= time.end; s += time.step) {
            const qreal x = xOf(s * 1000);
            p_.setPen(QPen(kGrid, 2));
            if (s > 0 && s < time.end)
                p_.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            p_.setPen(kInk);
            text(x - 100, plot.bottom() + 24, 200, mmss(s), Qt::AlignHCenter);
        }
        if (right.low < 0 && right.high > 0) { // the derivative's zero
            p_.setPen(QPen(kDerivativeColour.lighter(130), 2, Qt::DashLine));
            p_.drawLine(QPointF(plot.left(), yOf(right, 0)), QPointF(plot.right(), yOf(right, 0)));
        }

        // Axis titles.
        p_.setFont(font(kSmallSize, true));
        p_.setPen(kInk);
        text(plot.left(), plot.bottom() + 62, plot.width(), QStringLiteral("Время, мм:сс"), Qt::AlignHCenter);
        p_.save();
        p_.translate(area.left(), plot.center().y());
        p_.rotate(-90);
        p_.setPen(kSignalColour);
        text(-plot.height() / 2, 0, plot.height(), QStringLiteral("Сигнал (сглаженный), %нас"),
             Qt::AlignHCenter);
        p_.restore();
        p_.save();
        p_.translate(area.right(), plot.center().y());
        p_.rotate(90);
        p_.setPen(kDerivativeColour);
        text(-plot.height() / 2, 0, plot.height(), QStringLiteral("Производная сигнала"), Qt::AlignHCenter);
        p_.restore();

        // The curves, at most a few points per 0.1 mm: the lowest and the highest of each column keep the
        // curve's envelope when the run has more lines than the paper has room for.
        auto curve = [&](auto value, const Axis& axis) {
            QPolygonF points;
            const qreal columns = plot.width();
            const bool thin = static_cast<qreal>(finite.size()) > 2 * columns;
            int column = -1;
            double low = 0, high = 0;
            qreal lowX = 0, highX = 0;
            auto flush = [&] {
                if (column < 0)
                    return;
                const QPointF a(lowX, yOf(axis, low)), b(highX, yOf(axis, high));
                points << (lowX <= highX ? a : b) << (lowX <= highX ? b : a);
            };
            for (const RecordLine* l : finite) {
                const double v = value(*l);
                const qreal x = xOf(l->elapsedMs);
                if (!thin) {
                    points << QPointF(x, yOf(axis, v));
                    continue;
                }
                const int c = static_cast<int>(x - plot.left());
                if (c != column) {
                    flush();
                    column = c;
                    low = high = v;
                    lowX = highX = x;
                } else if (v < low) {
                    low = v;
                    lowX = x;
                } else if (v > high) {
                    high = v;
                    highX = x;
                }
            }
            if (thin)
                flush();
            return points;
        };
        p_.save();
        p_.setClipRect(plot.adjusted(-4, -4, 4, 4));
        p_.setPen(QPen(kDerivativeColour, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p_.drawPolyline(curve([](const RecordLine& l) { return l.derivative; }, right));
        p_.setPen(QPen(kSignalColour, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p_.drawPolyline(curve([](const RecordLine& l) { return l.smoothed; }, left));
        p_.restore();

        // The end points where the rates were taken.
        int row = 0;
        for (const auto& [index, label] : {std::pair{in_.initialRateLine, "начальная скорость"},
                                           std::pair{in_.finalRateLine, "конечная скорость"}}) {
            if (!index || *index < 0 || static_cast<size_t>(*index) >= lines.size())
                continue;
            const RecordLine& l = lines[static_cast<size_t>(*index)];
            if (!std::isfinite(l.smoothed) || l.elapsedMs < 0)
                continue;
            const QPointF at(xOf(l.elapsedMs), yOf(left, l.smoothed));
            p_.setPen(QPen(kMarkerColour, 3, Qt::DashLine));
            p_.drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
            p_.setPen(QPen(kMarkerColour, 4));
            p_.setBrush(Qt::white);
            p_.drawEllipse(at, 14, 14);
            p_.setBrush(Qt::NoBrush);
            p_.setFont(font(kSmallSize));
            const QString name = QString::fromUtf8(label);
            const qreal width = metrics().horizontalAdvance(name) + 4;
            const bool roomRight = at.x() + 12 + width <= plot.right();
            p_.setPen(kMarkerColour);
            text(roomRight ? at.x() + 12 : at.x() - 12 - width, plot.top() + 8 + row * 34, width, name);
            ++row;
        }
        p_.setPen(QPen(kInk, 3));
        p_.drawRect(plot);
    }

    void drawLegend(qreal top, const QRectF& plot) {
        p_.setFont(font(kSmallSize));
        const qreal mid = top + metrics().height() / 2;
        qreal x = plot.left();
        for (const auto& [colour, width, label] :
             {std::tuple{kSignalColour, 6, "сглаженный сигнал (левая шкала)"},
              std::tuple{kDerivativeColour, 4, "производная (правая шкала)"}}) {
            p_.setPen(QPen(colour, width));
            p_.drawLine(QPointF(x, mid), QPointF(x + 80, mid));
            p_.setPen(kInk);
            const QString name = QString::fromUtf8(label);
            const qreal w = metrics().horizontalAdvance(name) + 4;
            text(x + 100, top, w, name);
            x += 100 + w + 60;
        }
    }

    // Across the page, over everything and light enough that what it covers stays legible.
    void drawInvalidMark() {
        const QString mark = QStringLiteral("НЕДЕЙСТВИТЕЛЬНО");
        QFont f = font(100, true);
        const qreal diagonal = std::hypot(kWidth, kHeight);
        const qreal at100 = QFontMetricsF(f, p_.device()).horizontalAdvance(mark);
        f.setPixelSize(std::max(10, static_cast<int>(100 * diagonal * 0.72 / at100)));
        p_.save();
        p_.translate(kWidth / 2, kHeight / 2);
        p_.rotate(-std::atan2(kHeight, kWidth) * 180 / std::numbers::pi);
        p_.setFont(f);
        QColor colour = kInvalidColour;
        colour.setAlpha(70);
        p_.setPen(colour);
        const QFontMetricsF fm = metrics();
        p_.drawText(QPointF(-fm.horizontalAdvance(mark) / 2, (fm.ascent() - fm.descent()) / 2), mark);
        p_.restore();
    }

    QPainter& p_;
    const Input& in_;
    const Record& r_;
    QFont base_;
    qreal y_ = 0;
};

} // namespace

Lab readLab(const QString& dataFolder) {
    const QString path = QDir(dataFolder).filePath(QStringLiteral("lorimet.ini"));
    if (!QFileInfo::exists(path))
        return {};
    const QSettings ini(path, QSettings::IniFormat);
    // An address is full of commas, and QSettings reads a value with unquoted commas as a list.
    auto text = [&ini](const QString& key) {
        const QVariant v = ini.value(key);
        return (v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", "))
                                                     : v.toString())
            .trimmed();
    };
    return {text(QStringLiteral("lab/name")), text(QStringLiteral("lab/address"))};
}

bool isInvalidated(const Input& input) {
    const QString id = input.record.text(u"id");
    return std::any_of(input.annotations.begin(), input.annotations.end(), [&](const Record& a) {
        return a.text(u"corrects") == id && a.value(u"invalidates").toBool();
    });
}

bool hasReport(const Record& record) {
    const QString kind = record.text(u"kind");
    return kind == u"analysis" || kind == u"calibration";
}

std::optional<Input> readInput(journal::Store& store, const QString& id, QString& error) {
    auto record = store.find(id, true, error);
    if (!record) {
        if (error.isEmpty())
            error = QStringLiteral("there is no record ") + id;
        return std::nullopt;
    }
    Input in;
    in.record = std::move(*record);
    const QString calibration = in.record.text(u"calibration_id");
    if (!calibration.isEmpty()) {
        in.calibration = store.find(calibration, false, error);
        if (!error.isEmpty())
            return std::nullopt;
    }
    in.annotations = store.annotationsOf(id, error);
    if (!error.isEmpty())
        return std::nullopt;
    return in;
}

void paint(QPainter& painter, const QRectF& page, const Input& input) {
    painter.save();
    const qreal scale = std::min(page.width() / kWidth, page.height() / kHeight);
    painter.translate(page.center());
    painter.scale(scale, scale);
    painter.translate(-kWidth / 2, -kHeight / 2);
    PageWriter(painter, input).draw();
    painter.restore();
}

bool print(QPagedPaintDevice& device, const std::vector<Input>& inputs, QString* reason) {
    auto fail = [reason](const char* why) {
        if (reason)
            *reason = QString::fromUtf8(why);
        return false;
    };
    if (inputs.empty())
        return fail("нет ни одной записи для протокола");
    // 15 mm from each edge, or what the device needs where it cannot print so close to it.
    const QMarginsF least = device.pageLayout().minimumMargins();
    const QMarginsF margins(std::max(least.left(), kMarginMm), std::max(least.top(), kMarginMm),
                            std::max(least.right(), kMarginMm), std::max(least.bottom(), kMarginMm));
    if (!device.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter)))
        return fail("страница A4 на этом устройстве не задаётся");
    QPainter painter;
    if (!painter.begin(&device))
        return fail("печать не начата");
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QRectF page(QPointF(0, 0), QSizeF(area.size()));
    for (size_t k = 0; k < inputs.size(); ++k) {
        if (k > 0 && !device.newPage()) {
            painter.end();
            return fail("следующая страница не начата");
        }
        paint(painter, page, inputs[k]);
    }
    if (!painter.end())
        return fail("печать не закончена");
    return true;
}

bool writePdf(const QString& path, const std::vector<Input>& inputs, QString* reason) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("lorimet ") + QStringLiteral(LORIMET_JOURNAL_APP_VERSION));
        const QString description = inputs.empty() ? QString() : inputs.front().record.text(u"description");
        writer.setTitle(inputs.size() == 1 && !description.isEmpty()
                            ? QStringLiteral("Протокол измерения БПК: ") + description
                            : QStringLiteral("Протоколы измерения БПК"));
        if (!print(writer, inputs, reason))
            return false;
    }
    // A document that lost its end on the way has no end-of-file marker in its last bytes.
    if (!bytes.startsWith("%PDF-") || !bytes.right(32).contains("%%EOF")) {
        if (reason)
            *reason = QStringLiteral("документ PDF не составлен целиком");
        return false;
    }
    return writeFileAtomically(path, bytes, reason);
}

} // namespace lorimet::recordreport
