#include "app/journal/JournalWindow.h"

#include "app/CustomPlot.h"
#include "app/SaveFileDialog.h"
#include "app/journal/ControlChart.h"
#include "app/journal/RecordReport.h"
#include "journal/Annotation.h"
#include "journal/RecordExport.h"
#include "journal/RecordText.h"
#include "journal/Station.h"
#include "reevaluate/Reevaluate.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <set>

namespace lorimet::journalwindow {
namespace {

const QDate kAnyDate(2000, 1, 1); // the date fields' "any": their lowest date, shown as «любая»

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

// The rows of a page: the records, what their annotations say, the date of the calibration each used.
std::vector<JournalRow> rowsOf(journal::Store& store, std::vector<journal::Record> records, QString& error) {
    QStringList ids;
    std::set<QString> calibrations;
    for (const journal::Record& r : records) {
        ids << r.text(u"id");
        if (!r.value(u"calibration_id").isNull())
            calibrations.insert(r.text(u"calibration_id"));
    }
    const auto marks = store.marksOf(ids, error);
    std::map<QString, QString> calibrationText;
    for (const QString& id : calibrations) {
        const auto c = store.find(id, false, error);
        calibrationText[id] = c ? timeText(c->text(u"finished_at")).left(10) : QStringLiteral("?");
    }
    std::vector<JournalRow> rows;
    rows.reserve(records.size());
    for (journal::Record& r : records) {
        JournalRow row;
        const auto m = marks.find(r.text(u"id"));
        if (m != marks.end())
            row.marks = m->second;
        if (!r.value(u"calibration_id").isNull())
            row.calibrationText = calibrationText[r.text(u"calibration_id")];
        row.record = std::move(r);
        rows.push_back(std::move(row));
    }
    return rows;
}

// The fields of a record for people, in the order a technician reads them.
struct FieldLine {
    const char* label;
    const char* field;
    const char* unit;
};
const FieldLine kFieldLines[] = {
    {"Описание", "description", ""},
    {"Начало", "started_at", ""},
    {"Окончание", "finished_at", ""},
    {"Состояние", "status", ""},
    {"Метод", "analysis_kind", ""},
    {"Разведение", "dilution", ""},
    {"БПК'", "bod_initial", " мг/л"},
    {"БПК", "bod_final", " мг/л"},
    {"Токсичность", "toxicity", ""},
    {"ГСО (с учётом разведения)", "certified_value", " мг/л"},
    {"Разведение ГСО", "reference_dilution", ""},
    {"Средняя температура", "mean_temperature", " °C"},
    {"dS", "signal_range", ""},
    {"S'max", "max_derivative", ""},
    {"Коэффициент по скорости", "rate_coefficient", ""},
    {"Коэффициент по диапазону", "range_coefficient", ""},
    {"Фильтр A, B, C", "", ""},
    {"Частота, задержка", "", ""},
    {"Строк в прогоне", "line_count", ""},
    {"Оператор", "operator", ""},
    {"Станция", "station_name", ""},
    {"Источник", "source", ""},
    {"Версия программы", "app_version", ""},
};

QString fieldText(const journal::Record& r, const char* field) {
    const QString name = QLatin1StringView(field).toString();
    if (name == u"started_at" || name == u"finished_at")
        return timeText(r.text(name));
    if (name == u"status")
        return statusText(r.text(name));
    if (name == u"analysis_kind")
        return analysisKindText(r.text(name));
    const int i = journal::fieldIndex(name);
    if (i < 0)
        return {};
    // Six figures are what a person compares; the exports and the hash keep every digit.
    if (journal::kFields[static_cast<size_t>(i)].type == journal::FieldType::Number &&
        !r.value(name).isNull())
        return QString::number(r.value(name).toDouble(), 'g', 6).replace(u'.', u',');
    return journal::displayValue(r, static_cast<size_t>(i));
}

QString ageText(qint64 hours) {
    if (hours < 1)
        return QStringLiteral("менее часа");
    if (hours < 48)
        return QStringLiteral("%1 ч").arg(hours);
    return QStringLiteral("%1 сут %2 ч").arg(hours / 24).arg(hours % 24);
}

QString recordLink(const journal::Record& r) {
    QString text = kindText(r.text(u"kind")) + QStringLiteral(" от ") + timeText(r.text(u"finished_at"));
    if (!r.text(u"description").isEmpty())
        text += QStringLiteral(": ") + r.text(u"description");
    return QStringLiteral("<a href=\"record:%1\">%2</a>").arg(r.text(u"id"), escaped(text));
}

// The note a technician writes on a record, and whether it marks the record invalid.
class AnnotationDialog : public QDialog {
  public:
    explicit AnnotationDialog(const journal::Record& target, QWidget* parent) : QDialog(parent) {
        setObjectName(QStringLiteral("AnnotationDialog"));
        setWindowTitle(QStringLiteral("Отметка к записи журнала"));
        auto* layout = new QVBoxLayout(this);
        auto* what = new QLabel(QStringLiteral("%1 от %2 %3")
                                    .arg(kindText(target.text(u"kind")),
                                         timeText(target.text(u"finished_at")), target.text(u"description")),
                                this);
        what->setWordWrap(true);
        layout->addWidget(what);
        layout->addWidget(new QLabel(QStringLiteral("Примечание (причина):"), this));
        note_ = new QPlainTextEdit(this);
        note_->setObjectName(QStringLiteral("AnnotationNote"));
        note_->setTabChangesFocus(true);
        layout->addWidget(note_);
        invalid_ = new QCheckBox(QStringLiteral("Результат недействителен"), this);
        invalid_->setObjectName(QStringLiteral("AnnotationInvalid"));
        layout->addWidget(invalid_);
        auto* hint = new QLabel(QStringLiteral("Запись не изменяется: отметка хранится в журнале как новая "
                                               "запись."),
                                this);
        hint->setWordWrap(true);
        layout->addWidget(hint);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->setObjectName(QStringLiteral("AnnotationButtons"));
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
        connect(buttons, &QDialogButtonBox::accepted, this, [this] {
            if (note().isEmpty()) {
                QMessageBox::warning(this, QStringLiteral("Внимание"),
                                     QStringLiteral("Напишите примечание: отметка без причины ничего не "
                                                    "объясняет."));
                note_->setFocus();
                return;
            }
            accept();
        });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
        resize(420, 260);
    }
    QString note() const { return note_->toPlainText().trimmed(); }
    bool invalid() const { return invalid_->isChecked(); }

  private:
    QPlainTextEdit* note_ = nullptr;
    QCheckBox* invalid_ = nullptr;
};

} // namespace

JournalWindow::JournalWindow(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window), options_(std::move(options)) {
    setObjectName(QStringLiteral("JournalWindow"));
    setWindowTitle(QStringLiteral("Журнал результатов"));
    auto* layout = new QVBoxLayout(this);

    sourceLabel_ = new QLabel(QStringLiteral("Журнал открывается…"), this);
    sourceLabel_->setObjectName(QStringLiteral("JournalSource"));
    sourceLabel_->setWordWrap(true);
    QFont bold = sourceLabel_->font();
    bold.setBold(true);
    sourceLabel_->setFont(bold);
    layout->addWidget(sourceLabel_);

    auto* bar = new QWidget(this);
    buildFilters(bar);
    layout->addWidget(bar);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("JournalSplitter"));
    model_ = std::make_unique<JournalModel>(
        [this](int generation, const journal::ListFilter& filter) { requestPage(generation, filter); });
    table_ = new QTableView(splitter);
    table_->setObjectName(QStringLiteral("JournalTable"));
    table_->setModel(model_.get());
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Each column as wide as a typical entry, in the font in use.
    const char* const samples[JournalModel::ColumnCount] = {"06.12.2026 09:05:58",
                                                            "Калибровка ГСО",
                                                            "Проба 12 (р. Исеть, створ 2)",
                                                            "по конечным",
                                                            "Разв.",
                                                            "БПК', мг/л",
                                                            "БПК, мг/л",
                                                            "t, °C",
                                                            "06.12.2026",
                                                            "оператор",
                                                            "станция",
                                                            "выполнен, есть отметка"};
    const QFontMetrics metrics = table_->fontMetrics();
    for (int c = 0; c < JournalModel::ColumnCount; ++c)
        table_->setColumnWidth(c, metrics.horizontalAdvance(QString::fromUtf8(samples[c])) + 16);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { currentChanged(); });

    tabs_ = new QTabWidget(splitter);
    tabs_->setObjectName(QStringLiteral("JournalTabs"));
    recordView_ = new QTextBrowser(tabs_);
    recordView_->setObjectName(QStringLiteral("JournalRecordView"));
    recordView_->setOpenLinks(false);
    connect(recordView_, &QTextBrowser::anchorClicked, this, &JournalWindow::linkClicked);
    tabs_->addTab(recordView_, QStringLiteral("Запись"));

    auto* curvePage = new QWidget(tabs_);
    auto* curveLayout = new QVBoxLayout(curvePage);
    curve_ = new QCustomPlot(curvePage);
    curve_->setObjectName(QStringLiteral("JournalCurve"));
    curve_->setMinimumSize(300, 220);
    curve_->setLocale(QLocale(QLocale::Russian)); // the decimal comma, as everywhere in the program
    curveLayout->addWidget(curve_, 1);
    rawShown_ = new QCheckBox(QStringLiteral("Показать исходный сигнал"), curvePage);
    rawShown_->setObjectName(QStringLiteral("JournalRawShown"));
    connect(rawShown_, &QCheckBox::toggled, this, [this](bool shown) {
        if (curve_->graphCount() > 2) {
            curve_->graph(2)->setVisible(shown);
            curve_->replot();
        }
    });
    curveLayout->addWidget(rawShown_);
    tabs_->addTab(curvePage, QStringLiteral("Кривая"));

    auto* chartPage = new QWidget(tabs_);
    chartPage->setObjectName(QStringLiteral("JournalCalibrations"));
    auto* chartLayout = new QVBoxLayout(chartPage);
    auto* chartBar = new QHBoxLayout;
    chartBar->addWidget(new QLabel(QStringLiteral("Калибровки ГСО станции"), chartPage));
    chartStation_ = new QComboBox(chartPage);
    chartStation_->setObjectName(QStringLiteral("JournalChartStation"));
    chartBar->addWidget(chartStation_, 1);
    chartLayout->addLayout(chartBar);
    calibrationAge_ = new QLabel(chartPage);
    calibrationAge_->setObjectName(QStringLiteral("JournalCalibrationAge"));
    calibrationAge_->setWordWrap(true);
    chartLayout->addWidget(calibrationAge_);
    for (QCustomPlot** chart : {&rateChart_, &rangeChart_}) {
        *chart = new QCustomPlot(chartPage);
        (*chart)->setObjectName(chart == &rateChart_ ? QStringLiteral("JournalControlRate")
                                                     : QStringLiteral("JournalControlRange"));
        (*chart)->setLocale(QLocale(QLocale::Russian));
        (*chart)->setMinimumHeight(150);
        chartLayout->addWidget(*chart, 1);
    }
    findings_ = new QTextBrowser(chartPage);
    findings_->setObjectName(QStringLiteral("JournalControlFindings"));
    findings_->setOpenLinks(false);
    findings_->setMaximumHeight(90);
    connect(findings_, &QTextBrowser::anchorClicked, this, &JournalWindow::linkClicked);
    chartLayout->addWidget(findings_);
    connect(chartStation_, &QComboBox::currentIndexChanged, this, [this] { loadCalibrations(); });
    tabs_->addTab(chartPage, QStringLiteral("Калибровки"));
    splitter->addWidget(table_);
    splitter->addWidget(tabs_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({760, 480});
    layout->addWidget(splitter, 1);

    auto* buttons = new QHBoxLayout;
    countLabel_ = new QLabel(this);
    countLabel_->setObjectName(QStringLiteral("JournalCount"));
    buttons->addWidget(countLabel_, 1);
    annotate_ = new QPushButton(QStringLiteral("Отметка..."), this);
    annotate_->setObjectName(QStringLiteral("JournalAnnotate"));
    annotate_->setToolTip(QStringLiteral("Примечание к записи, например отметка о недействительном "
                                         "результате с причиной"));
    connect(annotate_, &QPushButton::clicked, this, &JournalWindow::annotateClicked);
    buttons->addWidget(annotate_);
    export_ = new QPushButton(QStringLiteral("Экспорт..."), this);
    export_->setObjectName(QStringLiteral("JournalExport"));
    export_->setToolTip(QStringLiteral("Выделенные записи в книгу Excel или в CSV"));
    connect(export_, &QPushButton::clicked, this, &JournalWindow::exportClicked);
    buttons->addWidget(export_);
    reevaluate_ = new QPushButton(QStringLiteral("Пересчитать..."), this);
    reevaluate_->setObjectName(QStringLiteral("JournalReevaluate"));
    reevaluate_->setToolTip(QStringLiteral("Анализ, пересчитанный программой по записанным строкам с другими "
                                           "параметрами фильтра; запись не изменяется"));
    connect(reevaluate_, &QPushButton::clicked, this, &JournalWindow::reevaluateClicked);
    buttons->addWidget(reevaluate_);
    pdf_ = new QPushButton(QStringLiteral("В PDF..."), this);
    pdf_->setObjectName(QStringLiteral("JournalPdf"));
    pdf_->setToolTip(QStringLiteral("Отчёт по выделенным анализам для заказчика, страница на анализ"));
    connect(pdf_, &QPushButton::clicked, this, [this] { reportClicked(true); });
    buttons->addWidget(pdf_);
    print_ = new QPushButton(QStringLiteral("Печать..."), this);
    print_->setObjectName(QStringLiteral("JournalPrint"));
    print_->setToolTip(pdf_->toolTip());
    connect(print_, &QPushButton::clicked, this, [this] { reportClicked(false); });
    buttons->addWidget(print_);
    layout->addLayout(buttons);
    annotate_->setEnabled(false);
    reevaluate_->setEnabled(false);
    resize(1260, 700);

    reader_ = std::make_unique<JournalReader>(options_.dataFolder, options_.url, this,
                                              [this](const JournalSource& source) {
                                                  source_ = source;
                                                  QString text = source.description;
                                                  if (!source.problem.isEmpty())
                                                      text += QStringLiteral(" (") + source.problem + u')';
                                                  sourceLabel_->setText(text);
                                                  refresh();
                                              });
}

JournalWindow::~JournalWindow() {
    // No job runs on once the window starts to go. Not reset(): that empties reader_ before the jobs still
    // queued have run, and they hand their answers back through it.
    reader_->stop();
}

void JournalWindow::buildFilters(QWidget* bar) {
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    auto dateEdit = [bar](const char* name) {
        auto* edit = new QDateEdit(bar);
        edit->setObjectName(QLatin1StringView(name));
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        edit->setMinimumDate(kAnyDate);
        edit->setSpecialValueText(QStringLiteral("любая"));
        edit->setDate(kAnyDate);
        return edit;
    };
    layout->addWidget(new QLabel(QStringLiteral("с"), bar));
    from_ = dateEdit("JournalFrom");
    layout->addWidget(from_);
    layout->addWidget(new QLabel(QStringLiteral("по"), bar));
    to_ = dateEdit("JournalTo");
    layout->addWidget(to_);
    kind_ = new QComboBox(bar);
    kind_->setObjectName(QStringLiteral("JournalKind"));
    kind_->addItem(QStringLiteral("Все записи"), QString());
    kind_->addItem(QStringLiteral("Анализы проб"), QStringLiteral("analysis"));
    kind_->addItem(QStringLiteral("Калибровки ГСО"), QStringLiteral("calibration"));
    kind_->addItem(QStringLiteral("Верхние точки"), QStringLiteral("upper-point"));
    kind_->addItem(QStringLiteral("Отметки"), QStringLiteral("annotation"));
    layout->addWidget(kind_);
    station_ = new QComboBox(bar);
    station_->setObjectName(QStringLiteral("JournalStation"));
    station_->addItem(QStringLiteral("Все станции"), QString());
    station_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    layout->addWidget(station_);
    search_ = new QLineEdit(bar);
    search_->setObjectName(QStringLiteral("JournalSearch"));
    search_->setPlaceholderText(QStringLiteral("Поиск по описанию пробы и отметкам"));
    search_->setClearButtonEnabled(true);
    layout->addWidget(search_, 1);
    for (QDateEdit* d : {from_, to_})
        connect(d, &QDateEdit::dateChanged, this, [this] { applyFilter(); });
    for (QComboBox* c : {kind_, station_})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(search_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
}

void JournalWindow::refresh() {
    applyFilter(); // the rows first: they are what the window is opened for
    reader_->run([this](journal::Store* store) {
        if (!store)
            return;
        QString error;
        auto stations = store->stations(error);
        reader_->post([this, stations = std::move(stations)] { setStations(stations); });
    });
}

void JournalWindow::setStations(const std::vector<journal::StationName>& stations) {
    const QString chosen = station_->currentData().toString();
    const QSignalBlocker quiet(station_);
    station_->clear();
    station_->addItem(QStringLiteral("Все станции"), QString());
    for (const journal::StationName& s : stations)
        station_->addItem(s.name.isEmpty() ? s.id : s.name, s.id);
    station_->setCurrentIndex(std::max(0, station_->findData(chosen)));

    // The control charts are of one station's analyser: this station's unless it has none yet.
    QString charted = chartStation_->currentData().toString();
    if (charted.isEmpty())
        charted = journal::loadStation(options_.dataFolder).id;
    {
        const QSignalBlocker quietChart(chartStation_);
        chartStation_->clear();
        for (const journal::StationName& s : stations)
            chartStation_->addItem(s.name.isEmpty() ? s.id : s.name, s.id);
        chartStation_->setCurrentIndex(std::max(0, chartStation_->findData(charted)));
    }
    loadCalibrations();
}

void JournalWindow::loadCalibrations() {
    const QString station = chartStation_->currentData().toString();
    if (station.isEmpty())
        return;
    reader_->run([this, station](journal::Store* store) {
        if (!store)
            return;
        journal::ListFilter f;
        f.kind = QStringLiteral("calibration");
        f.station = station;
        QString error;
        auto calibrations = store->list(f, error);
        reader_->post([this, station, calibrations = std::move(calibrations)] {
            if (chartStation_->currentData().toString() == station)
                drawControlCharts(calibrations);
        });
    });
}

void JournalWindow::drawControlCharts(const std::vector<journal::Record>& calibrations) {
    charted_ = calibrations;
    QString findings;
    auto draw = [&](QCustomPlot* chart, const char* field, const QString& title) {
        chart->clearGraphs();
        chart->clearItems();
        chart->plotLayout()->clear();
        chart->plotLayout()->addElement(0, 0, new QCPTextElement(chart, title));
        chart->plotLayout()->addElement(1, 0, new QCPAxisRect(chart));
        chart->xAxis = static_cast<QCPAxisRect*>(chart->plotLayout()->element(1, 0))->axis(QCPAxis::atBottom);
        chart->yAxis = static_cast<QCPAxisRect*>(chart->plotLayout()->element(1, 0))->axis(QCPAxis::atLeft);
        std::vector<double> values;
        QVector<double> x, y, flaggedX, flaggedY;
        // By their order, as a control chart is read: calibrations are made when the work needs them, not at
        // even times.
        for (const journal::Record& c : calibrations) {
            values.push_back(c.value(QString::fromLatin1(field)).toDouble());
            x << static_cast<double>(x.size() + 1);
        }
        const ControlChart cc = controlChart(values);
        for (size_t i = 0; i < cc.points.size(); ++i) {
            y << cc.points[i].value;
            if (!cc.points[i].rules.isEmpty()) {
                flaggedX << x[static_cast<qsizetype>(i)];
                flaggedY << cc.points[i].value;
                findings += QStringLiteral("<li>%1: %2 = %3 — %4</li>")
                                .arg(recordLink(calibrations[i]), title, numberText(cc.points[i].value),
                                     cc.points[i].rules.join(QStringLiteral("; ")));
            }
        }
        QCPGraph* points = chart->addGraph();
        points->setData(x, y, true);
        points->setPen(QPen(QColor(0x00, 0x40, 0xC0), 1));
        points->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 5));
        QCPGraph* flagged = chart->addGraph();
        flagged->setName(QStringLiteral("flagged"));
        flagged->setData(flaggedX, flaggedY, true);
        flagged->setLineStyle(QCPGraph::lsNone);
        flagged->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(0xD0, 0x00, 0x00), 9));
        chart->xAxis->setLabel(QStringLiteral("калибровки по порядку, последняя справа"));
        points->rescaleAxes();
        if (cc.centre) {
            const struct {
                double k;
                QColor colour;
                Qt::PenStyle style;
            } lines[] = {{0, QColor(0x00, 0x80, 0x00), Qt::SolidLine},
                         {2, QColor(0xE0, 0x90, 0x00), Qt::DashLine},
                         {-2, QColor(0xE0, 0x90, 0x00), Qt::DashLine},
                         {3, QColor(0xD0, 0x00, 0x00), Qt::DashLine},
                         {-3, QColor(0xD0, 0x00, 0x00), Qt::DashLine}};
            for (const auto& l : lines) {
                auto* line = new QCPItemStraightLine(chart);
                const double level = *cc.centre + l.k * cc.sigma;
                line->point1->setCoords(0, level);
                line->point2->setCoords(1, level);
                line->setPen(QPen(l.colour, 1, l.style));
            }
            const double reach = std::max(3.5 * cc.sigma, 1e-9);
            QCPRange range = chart->yAxis->range();
            range.expand(*cc.centre - reach);
            range.expand(*cc.centre + reach);
            chart->yAxis->setRange(range);
        }
        chart->xAxis->scaleRange(1.05);
        chart->replot();
    };
    draw(rateChart_, "rate_coefficient", QStringLiteral("Коэффициент по скорости"));
    draw(rangeChart_, "range_coefficient", QStringLiteral("Коэффициент по диапазону"));
    findings_->setHtml(findings.isEmpty() ? QStringLiteral("Нарушений правил нет.")
                                          : QStringLiteral("<ul>") + findings + QStringLiteral("</ul>"));

    if (calibrations.empty()) {
        calibrationAge_->setText(QStringLiteral("Калибровок ГСО этой станции в журнале нет."));
        calibrationAge_->setStyleSheet(QString());
        return;
    }
    const journal::Record& last = calibrations.back();
    const QDateTime at = QDateTime::fromString(last.text(u"finished_at"), Qt::ISODateWithMs);
    const qint64 hours = at.secsTo(QDateTime::currentDateTime()) / 3600;
    const int limit = journal::calibrationAgeLimitHours(options_.dataFolder);
    calibrationAge_->setText(
        QStringLiteral("Действующая калибровка — последняя этой станции: %1, %2 назад%3")
            .arg(timeText(last.text(u"finished_at")), ageText(hours),
                 hours >= limit ? QStringLiteral(" (старше %1 ч)").arg(limit) : QString()));
    calibrationAge_->setStyleSheet(hours >= limit ? QStringLiteral("color: #7A4A00; background: #FFF4D6")
                                                  : QString());
}

void JournalWindow::applyFilter() {
    journal::ListFilter f;
    if (from_->date() != kAnyDate)
        f.from = from_->date().toString(Qt::ISODate);
    if (to_->date() != kAnyDate)
        f.to = to_->date().toString(Qt::ISODate);
    f.kind = kind_->currentData().toString();
    f.station = station_->currentData().toString();
    f.search = search_->text().trimmed();
    model_->setFilter(f);
}

void JournalWindow::requestPage(int generation, const journal::ListFilter& filter) {
    latestPage_->store(generation);
    countLabel_->setText(QStringLiteral("Записи читаются…"));
    reader_->run([this, generation, filter, latest = latestPage_](journal::Store* store) {
        if (latest->load() != generation)
            return; // the filter changed again before this page was begun: it would only be dropped
        if (!store) {
            reader_->post([this, generation] {
                model_->addPage(generation, {}, true);
                countLabel_->setText(QStringLiteral("Записей нет"));
            });
            return;
        }
        QString error;
        std::vector<journal::Record> records = store->list(filter, error);
        const bool atEnd = static_cast<int>(records.size()) < filter.limit;
        std::vector<JournalRow> rows = rowsOf(*store, std::move(records), error);
        reader_->post([this, generation, rows = std::move(rows), atEnd, error]() mutable {
            model_->addPage(generation, std::move(rows), atEnd);
            if (!error.isEmpty())
                countLabel_->setText(QStringLiteral("Журнал не прочитан: ") + error);
            else
                countLabel_->setText(model_->atEnd()
                                         ? QStringLiteral("Записей: %1").arg(model_->rowCount())
                                         : QStringLiteral("Записей: %1 и более").arg(model_->rowCount()));
            if (!wanted_.isEmpty()) {
                const int r = model_->rowOf(wanted_);
                if (r >= 0) {
                    wanted_.clear();
                    table_->selectRow(r);
                }
            }
        });
    });
}

void JournalWindow::currentChanged() {
    const JournalRow* row = model_->row(table_->currentIndex().row());
    if (row)
        showRecord(row->record.text(u"id"));
}

void JournalWindow::showRecord(const QString& id) {
    const int listed = model_->rowOf(id);
    if (listed >= 0 && table_->currentIndex().row() != listed) {
        table_->selectRow(listed); // comes back here through currentChanged
        return;
    }
    const int ask = latestRecord_->fetch_add(1) + 1;
    reader_->run([this, id, ask, latest = latestRecord_](journal::Store* store) {
        if (!store || latest->load() != ask)
            return;
        QString error;
        auto found = store->find(id, true, error);
        if (!found) {
            reader_->post([this, id, error] {
                recordView_->setHtml(QStringLiteral("<p>Запись %1 не найдена в этом журнале. %2</p>")
                                         .arg(escaped(id), escaped(error)));
            });
            return;
        }
        RecordDetails d;
        d.record = std::move(*found);
        if (!d.record.value(u"calibration_id").isNull())
            d.calibration = store->find(d.record.text(u"calibration_id"), false, error);
        d.annotations = store->annotationsOf(id, error);
        if (d.record.text(u"kind") == u"calibration")
            d.analyses = store->measuredAgainst(id, error);
        reader_->post([this, ask, latest, d = std::move(d)] {
            if (latest->load() == ask)
                showDetails(d);
        });
    });
}

void JournalWindow::showDetails(const RecordDetails& d) {
    shown_ = d;
    const journal::Record& r = d.record;
    bool invalid = false;
    for (const journal::Record& a : d.annotations)
        invalid = invalid || a.value(u"invalidates").toBool();
    QString html = QStringLiteral("<h3>%1</h3>")
                       .arg(escaped(kindText(r.text(u"kind")) + QStringLiteral(" от ") +
                                    timeText(r.text(u"finished_at"))));
    if (invalid)
        html +=
            QStringLiteral("<p style=\"color:#B00000\"><b>Результат отмечен как недействительный.</b></p>");
    if (r.text(u"kind") == u"annotation") {
        html += QStringLiteral("<p>%1 к записи <a href=\"record:%2\">%2</a>:</p><p><i>%3</i></p>")
                    .arg(r.value(u"invalidates").toBool() ? QStringLiteral("Отметка о недействительности")
                                                          : QStringLiteral("Примечание"),
                         escaped(r.text(u"corrects")), escaped(r.text(u"note")));
    }
    html += QStringLiteral("<table cellspacing=\"2\">");
    for (const FieldLine& line : kFieldLines) {
        QString value;
        const QLatin1StringView label(line.label);
        if (label == "Фильтр A, B, C") {
            if (!r.value(u"filter_a").isNull())
                value = QStringLiteral("%1; %2; %3")
                            .arg(numberText(r.value(u"filter_a")), numberText(r.value(u"filter_b")),
                                 numberText(r.value(u"filter_c")));
        } else if (label == "Частота, задержка") {
            if (!r.value(u"frequency").isNull())
                value =
                    numberText(r.value(u"frequency")) + QStringLiteral("; ") + numberText(r.value(u"delay"));
        } else {
            value = fieldText(r, line.field);
            if (!value.isEmpty())
                value += QString::fromUtf8(line.unit);
        }
        if (!value.isEmpty())
            html += QStringLiteral("<tr><td>%1:</td><td><b>%2</b></td></tr>")
                        .arg(escaped(QString::fromUtf8(line.label)), escaped(value));
    }
    html += QStringLiteral("</table>");
    if (r.text(u"kind") == u"analysis") {
        if (d.calibration)
            html += QStringLiteral("<p>Калибровка: %1 (ГСО %2 мг/л, коэффициенты %3 и %4)</p>")
                        .arg(recordLink(*d.calibration), fieldText(*d.calibration, "certified_value"),
                             fieldText(*d.calibration, "rate_coefficient"),
                             fieldText(*d.calibration, "range_coefficient"));
        else
            html += QStringLiteral("<p>Калибровка: нет сведений</p>");
    }
    if (!d.annotations.empty()) {
        html += QStringLiteral("<p><b>Отметки</b></p><ul>");
        for (const journal::Record& a : d.annotations)
            html += QStringLiteral("<li>%1, %2%3: %4</li>")
                        .arg(timeText(a.text(u"finished_at")), escaped(a.text(u"operator")),
                             a.value(u"invalidates").toBool() ? QStringLiteral(", <b>недействителен</b>")
                                                              : QString(),
                             escaped(a.text(u"note")));
        html += QStringLiteral("</ul>");
    }
    if (r.text(u"kind") == u"calibration") {
        html += QStringLiteral("<p><b>Анализы по этой калибровке: %1</b></p><ul>").arg(d.analyses.size());
        for (const journal::Record& a : d.analyses)
            html += QStringLiteral("<li>%1, БПК' %2</li>")
                        .arg(recordLink(a), numberText(a.value(u"bod_initial")));
        html += QStringLiteral("</ul>");
    }
    html += QStringLiteral("<p style=\"color:#606060; font-size:small\"><tt>id %1<br>hash %2</tt></p>")
                .arg(escaped(r.text(u"id")), escaped(r.text(u"hash")));
    recordView_->setHtml(html);
    annotate_->setEnabled(true);
    reevaluate_->setEnabled(r.text(u"kind") == u"analysis" || r.text(u"kind") == u"calibration");
    drawCurve(r);

    // The curve is drawn at once; where its end points fell comes after, from the engine run over its lines.
    if (!recordedFilter(r) || r.lines.empty())
        return;
    const int ask = latestRecord_->load();
    reader_->run([this, record = r, ask, latest = latestRecord_](journal::Store*) {
        if (latest->load() != ask)
            return;
        QString error;
        const auto ends = endPoints(record, error);
        if (!ends)
            return;
        reader_->post([this, ask, latest, i = ends->initialRateLine, f = ends->finalRateLine] {
            if (latest->load() == ask && shown_) {
                shown_->initialRateLine = i;
                shown_->finalRateLine = f;
                markEndPoints(i, f);
            }
        });
    });
}

void JournalWindow::markEndPoints(std::optional<int> initial, std::optional<int> final) {
    if (!shown_ || curve_->graphCount() < 2)
        return;
    QCPGraph* signal = curve_->graph(0);
    const struct {
        std::optional<int> line;
        const char* text;
    } ends[] = {{initial, "БПК'"}, {final, "БПК"}};
    for (const auto& e : ends) {
        if (!e.line || *e.line < 0 || *e.line >= signal->dataCount())
            continue;
        auto* tracer = new QCPItemTracer(curve_);
        tracer->setObjectName(QStringLiteral("JournalEndPoint"));
        tracer->setGraph(signal);
        tracer->setGraphKey(signal->data()->at(*e.line)->key);
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setSize(9);
        tracer->setPen(QPen(QColor(0x00, 0x80, 0x00), 2));
        auto* label = new QCPItemText(curve_);
        label->position->setParentAnchor(tracer->position);
        label->position->setCoords(0, -14);
        label->setText(QString::fromUtf8(e.text));
        label->setColor(QColor(0x00, 0x80, 0x00));
    }
    curve_->replot();
}

void JournalWindow::drawCurve(const journal::Record& r) {
    curve_->clearGraphs();
    curve_->clearItems();
    if (r.lines.empty()) {
        curve_->replot();
        return;
    }
    const auto n = static_cast<qsizetype>(r.lines.size());
    QVector<double> x(n), smoothed(n), derivative(n), raw(n);
    for (qsizetype i = 0; i < n; ++i) {
        const journal::RecordLine& l = r.lines[static_cast<size_t>(i)];
        x[i] = l.elapsedMs / 1000.0;
        smoothed[i] = l.smoothed;
        derivative[i] = l.derivative;
        raw[i] = l.signal;
    }
    curve_->yAxis2->setVisible(true);
    curve_->yAxis->setLabel(QStringLiteral("Сигнал, %нас"));
    curve_->yAxis2->setLabel(QStringLiteral("Производная"));
    curve_->xAxis->setLabel(QStringLiteral("Время, мм:сс"));
    auto ticker = QSharedPointer<QCPAxisTickerTime>::create();
    ticker->setTimeFormat(QStringLiteral("%m:%s"));
    curve_->xAxis->setTicker(ticker);
    QCPGraph* s = curve_->addGraph(curve_->xAxis, curve_->yAxis);
    s->setName(QStringLiteral("Сигнал"));
    s->setPen(QPen(QColor(0x00, 0x40, 0xC0), 2));
    s->setData(x, smoothed, true);
    QCPGraph* d = curve_->addGraph(curve_->xAxis, curve_->yAxis2);
    d->setName(QStringLiteral("Производная"));
    d->setPen(QPen(QColor(0xC0, 0x20, 0x20), 1.5));
    d->setData(x, derivative, true);
    QCPGraph* rawGraph = curve_->addGraph(curve_->xAxis, curve_->yAxis);
    rawGraph->setName(QStringLiteral("Исходный сигнал"));
    rawGraph->setPen(QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine));
    rawGraph->setData(x, raw, true);
    rawGraph->setVisible(rawShown_->isChecked());
    s->rescaleAxes();
    rawGraph->rescaleAxes(true);
    d->rescaleAxes();
    curve_->replot();
}

void JournalWindow::linkClicked(const QUrl& link) {
    if (link.scheme() == u"record")
        showRecord(link.path());
}

std::vector<journal::Record> JournalWindow::selectedRecords() const {
    std::vector<journal::Record> out;
    std::set<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows())
        rows.insert(i.row());
    for (int r : rows)
        if (const JournalRow* row = model_->row(r))
            out.push_back(row->record);
    return out;
}

void JournalWindow::annotateClicked() {
    if (!shown_)
        return;
    const journal::Record target = shown_->record;
    AnnotationDialog dialog(target, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!options_.annotate) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"),
                             QStringLiteral("Отметку некуда записать: журнал этой станции не открыт."));
        return;
    }
    keepAnnotation(target, dialog.note(), dialog.invalid());
}

void JournalWindow::keepAnnotation(const journal::Record& target, const QString& text, bool invalid) {
    journal::Record note = journal::makeAnnotation(journal::loadStation(options_.dataFolder), target, text,
                                                   invalid, QStringLiteral(LORIMET_JOURNAL_APP_VERSION));
    const QString id = target.text(u"id");
    // Told on the writer's thread, perhaps after this window is gone: the news goes to the application's
    // thread, which looks whether the window is still there.
    options_.annotate(std::move(note),
                      [window = QPointer<JournalWindow>(this), id](bool committed, QString error) {
                          QMetaObject::invokeMethod(
                              qApp,
                              [window, id, committed, error] {
                                  if (window)
                                      window->annotationStored(id, committed, error);
                              },
                              Qt::QueuedConnection);
                      });
}

void JournalWindow::annotationStored(const QString& id, bool committed, const QString& error) {
    {
        reader_->run([this, id, committed, error](journal::Store* store) {
            QString readError;
            const auto marks =
                store ? store->marksOf({id}, readError) : std::map<QString, journal::AnnotationMarks>{};
            const journal::AnnotationMarks m = marks.count(id) ? marks.at(id) : journal::AnnotationMarks{};
            reader_->post([this, id, committed, error, m] {
                if (!committed) {
                    QMessageBox::warning(this, QStringLiteral("Ошибка"),
                                         QStringLiteral("Отметка не записана в журнал: ") + error);
                    return;
                }
                model_->setMarks(id, m);
                if (shown_ && shown_->record.text(u"id") == id)
                    showRecord(id);
            });
        });
    }
}

void JournalWindow::exportClicked() {
    std::vector<journal::Record> records = selectedRecords();
    if (records.empty()) {
        QMessageBox::information(this, QStringLiteral("Информация"),
                                 QStringLiteral("Выделите в списке записи для экспорта."));
        return;
    }
    QMenu menu(this);
    QAction* xlsx = menu.addAction(QStringLiteral("Книга Excel (.xlsx)..."));
    menu.addAction(QStringLiteral("Текст CSV (.csv)..."));
    QAction* chosen = menu.exec(export_->mapToGlobal(QPoint(0, export_->height())));
    if (!chosen)
        return;
    const bool asXlsx = chosen == xlsx;
    FileRequest request;
    request.objectName = QStringLiteral("JournalExportDialog");
    request.title = QStringLiteral("Экспорт записей журнала");
    request.folder = options_.dataFolder;
    request.proposedName =
        QStringLiteral("Журнал ") + QDate::currentDate().toString(QStringLiteral("dd.MM.yy"));
    request.filter =
        asXlsx ? QStringLiteral("Файл Excel (*.xlsx)|*.xlsx") : QStringLiteral("Файл CSV (*.csv)|*.csv");
    request.suffix = asXlsx ? QStringLiteral("xlsx") : QStringLiteral("csv");
    const std::optional<QString> path = chooseSaveFile(this, request);
    if (!path)
        return;
    QString reason;
    const bool written = asXlsx ? journal::writeRecordsXlsx(*path, records, &reason)
                                : journal::writeRecordsCsv(*path, records, &reason);
    if (!written)
        QMessageBox::critical(this, QStringLiteral("Ошибка"),
                              QStringLiteral("Файл %1 не записан: %2").arg(*path, reason));
    else
        countLabel_->setText(QStringLiteral("Записей выгружено: %1 в %2").arg(records.size()).arg(*path));
}

QStringList JournalWindow::chosenIds() const {
    QStringList ids;
    for (const journal::Record& r : selectedRecords())
        ids << r.text(u"id");
    if (ids.isEmpty() && shown_)
        ids << shown_->record.text(u"id");
    return ids;
}

void JournalWindow::reportClicked(bool toPdf) {
    const QStringList ids = chosenIds();
    if (ids.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Информация"),
                                 QStringLiteral("Выделите в списке анализы для отчёта."));
        return;
    }
    std::optional<QString> path;
    if (toPdf) {
        FileRequest request;
        request.objectName = QStringLiteral("JournalPdfDialog");
        request.title = QStringLiteral("Отчёт по записям журнала в PDF");
        request.folder = options_.dataFolder;
        request.proposedName =
            QStringLiteral("Отчёт ") + QDate::currentDate().toString(QStringLiteral("dd.MM.yy"));
        request.filter = QStringLiteral("Документ PDF (*.pdf)|*.pdf");
        request.suffix = QStringLiteral("pdf");
        path = chooseSaveFile(this, request);
        if (!path)
            return;
    }
    const recordreport::Lab lab = recordreport::readLab(options_.dataFolder);
    countLabel_->setText(QStringLiteral("Отчёт готовится…"));
    reader_->run([this, ids, lab, path](journal::Store* store) {
        std::vector<recordreport::Input> pages;
        QString error;
        int skipped = 0;
        for (const QString& id : ids) {
            auto page = store ? recordreport::readInput(*store, id, error) : std::nullopt;
            if (!page || !recordreport::hasReport(page->record)) {
                ++skipped; // upper points and notes have no client's report
                continue;
            }
            page->lab = lab;
            page->madeAt = QDateTime::currentDateTime();
            QString unused;
            if (const auto ends =
                    recordedFilter(page->record) ? endPoints(page->record, unused) : std::nullopt) {
                page->initialRateLine = ends->initialRateLine;
                page->finalRateLine = ends->finalRateLine;
            }
            pages.push_back(std::move(*page));
        }
        reader_->post([this, pages = std::move(pages), skipped, path] {
            if (pages.empty()) {
                countLabel_->clear();
                QMessageBox::information(
                    this, QStringLiteral("Информация"),
                    QStringLiteral("Отчёт составляется по анализам и калибровкам ГСО; среди "
                                   "выделенных записей их нет."));
                return;
            }
            QString reason;
            bool done = false;
            if (path) {
                done = recordreport::writePdf(*path, pages, &reason);
            } else {
                QPrinter printer(QPrinter::HighResolution);
                printer.setPageSize(QPageSize(QPageSize::A4));
                QPrintDialog dialog(&printer, this);
                dialog.setObjectName(QStringLiteral("JournalPrintDialog"));
                if (dialog.exec() != QDialog::Accepted) {
                    countLabel_->clear();
                    return;
                }
                done = recordreport::print(printer, pages, &reason);
            }
            if (!done) {
                QMessageBox::critical(this, QStringLiteral("Ошибка"),
                                      QStringLiteral("Отчёт не получен: ") + reason);
                countLabel_->clear();
                return;
            }
            countLabel_->setText(
                QStringLiteral("Отчёт: страниц %1%2%3")
                    .arg(pages.size())
                    .arg(path ? QStringLiteral(" в ") + *path : QString())
                    .arg(skipped > 0 ? QStringLiteral(" (без отчёта: %1)").arg(skipped) : QString()));
        });
    });
}

void JournalWindow::reevaluateClicked() {
    if (!shown_)
        return;
    const journal::Record record = shown_->record;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ReevaluateDialog"));
    dialog.setWindowTitle(QStringLiteral("Пересчёт с другими параметрами фильтра"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* what = new QLabel(QStringLiteral("%1 от %2 %3\nЗапись журнала не изменяется.")
                                .arg(kindText(record.text(u"kind")), timeText(record.text(u"finished_at")),
                                     record.text(u"description")),
                            &dialog);
    layout->addWidget(what);
    auto* settings = new QHBoxLayout;
    auto spin = [&](const char* name, const QString& label, int low, int high, int value) {
        settings->addWidget(new QLabel(label, &dialog));
        auto* box = new QSpinBox(&dialog);
        box->setObjectName(QLatin1StringView(name));
        box->setRange(low, high);
        box->setValue(value);
        settings->addWidget(box);
        return box;
    };
    const std::optional<FilterParameters> own = recordedFilter(record);
    auto* a = spin("ReevaluateA", QStringLiteral("A (1..91)"), 1, 91, own ? qRound(own->a * 100) : 30);
    auto* b = spin("ReevaluateB", QStringLiteral("B"), 1, 11, own ? own->cycles : 3);
    auto* c = spin("ReevaluateC", QStringLiteral("C"), 1, 11, own ? own->window : 5);
    auto* run = new QPushButton(QStringLiteral("Пересчитать"), &dialog);
    run->setObjectName(QStringLiteral("ReevaluateRun"));
    settings->addWidget(run);
    layout->addLayout(settings);
    auto* result = new QLabel(&dialog);
    result->setObjectName(QStringLiteral("ReevaluateResult"));
    result->setWordWrap(true);
    layout->addWidget(result);
    auto* chart = new QCustomPlot(&dialog);
    chart->setObjectName(QStringLiteral("ReevaluateCurve"));
    chart->setLocale(QLocale(QLocale::Russian));
    chart->setMinimumSize(520, 260);
    layout->addWidget(chart, 1);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* keep =
        buttons->addButton(QStringLiteral("Сохранить как отметку"), QDialogButtonBox::AcceptRole);
    keep->setObjectName(QStringLiteral("ReevaluateKeep"));
    keep->setEnabled(false);
    buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    QString comparison;
    auto shown = [](const std::optional<double>& v) {
        return v ? QString::number(*v, 'g', 6).replace(u'.', u',') : QStringLiteral("—");
    };
    auto present = [&](const FilterParameters& filter, const std::optional<Reevaluation>& again,
                       const QString& error) {
        run->setEnabled(true);
        if (!again) {
            result->setText(QStringLiteral("Пересчёт невозможен: ") + error);
            return;
        }
        // The values themselves, unrounded, beside the text that rounds them.
        result->setProperty("bodInitial", again->bodInitial ? QVariant(*again->bodInitial) : QVariant());
        result->setProperty("bodFinal", again->bodFinal ? QVariant(*again->bodFinal) : QVariant());
        QString end;
        if (again->end == ReevaluatedEnd::Unfinished)
            end = QStringLiteral(" Записанные строки кончились раньше, чем достигнута конечная точка.");
        else if (again->end == ReevaluatedEnd::Stopped)
            end = QStringLiteral(" Анализ был бы остановлен: БПК' больше 200 мг/л.");
        if (again->smoothedTwice)
            end += QStringLiteral(" Запись импортирована: сигнал сглажен повторно.");
        comparison =
            QStringLiteral("Пересчёт с фильтром A=%1, B=%2, C=%3: БПК' %4, БПК %5 (записано: БПК' %6, "
                           "БПК %7).")
                .arg(qRound(filter.a * 100))
                .arg(filter.cycles)
                .arg(filter.window)
                .arg(shown(again->bodInitial), shown(again->bodFinal),
                     shown(record.value(u"bod_initial").isNull()
                               ? std::nullopt
                               : std::optional<double>(record.value(u"bod_initial").toDouble())),
                     shown(record.value(u"bod_final").isNull()
                               ? std::nullopt
                               : std::optional<double>(record.value(u"bod_final").toDouble())));
        result->setText(comparison + end);
        keep->setEnabled(true);
        chart->clearGraphs();
        QVector<double> x, recorded, smoothed;
        for (size_t i = 0; i < record.lines.size(); ++i) {
            x << record.lines[i].elapsedMs / 1000.0;
            recorded << record.lines[i].smoothed;
        }
        for (double v : again->smoothed)
            smoothed << v;
        auto ticker = QSharedPointer<QCPAxisTickerTime>::create();
        ticker->setTimeFormat(QStringLiteral("%m:%s"));
        chart->xAxis->setTicker(ticker);
        QCPGraph* was = chart->addGraph();
        was->setName(QStringLiteral("записано"));
        was->setPen(QPen(QColor(0x00, 0x40, 0xC0), 2));
        was->setData(x, recorded, true);
        QCPGraph* now = chart->addGraph();
        now->setName(QStringLiteral("пересчитано"));
        now->setPen(QPen(QColor(0x00, 0x90, 0x30), 2, Qt::DashLine));
        now->setData(x.mid(0, smoothed.size()), smoothed, true);
        chart->legend->setVisible(true);
        was->rescaleAxes();
        now->rescaleAxes(true);
        chart->replot();
    };
    // The engine's run over a long record takes a while: it runs on the reader's thread, and only the
    // latest request's answer is shown, and only while the dialog is open.
    auto lines = std::make_shared<const journal::Record>(record);
    auto latest = std::make_shared<int>(0);
    QPointer<QDialog> open(&dialog);
    auto evaluate = [&, lines, latest, open] {
        const FilterParameters filter{filterAOfPosition(a->value()), b->value(), c->value()};
        const int ask = ++*latest;
        comparison.clear();
        keep->setEnabled(false);
        run->setEnabled(false);
        result->setProperty("bodInitial", QVariant());
        result->setProperty("bodFinal", QVariant());
        result->setText(QStringLiteral("Пересчёт..."));
        reader_->run([this, lines, filter, ask, latest, open, &present](journal::Store*) {
            QString error;
            auto again = reevaluate(*lines, filter, error);
            reader_->post([ask, latest, open, &present, filter, again = std::move(again), error] {
                if (open && *latest == ask)
                    present(filter, again, error);
            });
        });
    };
    connect(run, &QPushButton::clicked, &dialog, evaluate);
    evaluate();
    if (dialog.exec() != QDialog::Accepted || comparison.isEmpty() || !options_.annotate)
        return;
    keepAnnotation(record, comparison, false);
}

} // namespace lorimet::journalwindow
