#pragma once

#include "app/journal/JournalModel.h"
#include "app/journal/JournalReader.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTabWidget;
class QTextBrowser;

namespace lorimet::journalwindow {

// A record as the window shows it: the record with its lines, the calibration it was measured against,
// the notes made on it and, for a calibration, the analyses measured against it.
struct RecordDetails {
    journal::Record record;
    // The lines where the end points fell, as the engine finds them again over the lines (once known).
    std::optional<int> initialRateLine, finalRateLine;
    std::optional<journal::Record> calibration;
    std::vector<journal::Record> annotations;
    std::vector<journal::Record> analyses;
};

// The results journal for the people who look back: find a record by date, kind, station or a word of
// its description, see its values and its curve, follow it to its calibration, mark it. A window of its
// own beside the main window, never modal: lines and ticks go on meanwhile. Everything it reads comes from
// a reader thread.
class JournalWindow : public QWidget {
  public:
    struct Options {
        QString dataFolder;
        QString url; // --journal; empty: lorimet.ini's
        // Keeps an annotation in this station's chain (the program's recorder); `done` is called on any
        // thread once it is committed, or with the reason it is not.
        std::function<void(journal::Record annotation, std::function<void(bool, QString)> done)> annotate;
    };
    explicit JournalWindow(Options options, QWidget* parent = nullptr);
    ~JournalWindow() override;

    JournalModel& model() { return *model_; }
    const JournalSource& source() const { return source_; }
    // The record shown, once its details have arrived.
    const RecordDetails* shown() const { return shown_ ? &*shown_ : nullptr; }
    // Shows the record `id` (selecting it in the list when it is listed).
    void showRecord(const QString& id);
    // Reads the journal anew with the filters as they stand.
    void refresh();
    // The calibrations the control charts show, oldest first, once they have arrived.
    const std::vector<journal::Record>& chartedCalibrations() const { return charted_; }

  private:
    void buildFilters(QWidget* bar);
    void applyFilter();
    void requestPage(int generation, const journal::ListFilter& filter);
    void currentChanged();
    void showDetails(const RecordDetails& details);
    void drawCurve(const journal::Record& record);
    void linkClicked(const QUrl& link);
    void annotateClicked();
    // Makes the note on `target` a record of this station's chain (options_.annotate).
    void keepAnnotation(const journal::Record& target, const QString& text, bool invalid);
    void annotationStored(const QString& id, bool committed, const QString& error);
    void exportClicked();
    void reportClicked(bool toPdf);
    void reevaluateClicked();
    void markEndPoints(std::optional<int> initial, std::optional<int> final);
    // The records a report or an export is made of: those selected, else the one shown.
    QStringList chosenIds() const;
    void setStations(const std::vector<journal::StationName>& stations);
    void loadCalibrations();
    void drawControlCharts(const std::vector<journal::Record>& calibrations);
    std::vector<journal::Record> selectedRecords() const;

    Options options_;
    JournalSource source_;
    std::unique_ptr<JournalModel> model_;
    std::unique_ptr<JournalReader> reader_;
    std::shared_ptr<std::atomic<int>> latestPage_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> latestRecord_ = std::make_shared<std::atomic<int>>(0);
    std::optional<RecordDetails> shown_;
    std::vector<journal::Record> charted_;
    QString wanted_; // the record asked for, selected once it is listed

    QLabel* sourceLabel_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QComboBox* kind_ = nullptr;
    QComboBox* station_ = nullptr;
    QLineEdit* search_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QTableView* table_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTextBrowser* recordView_ = nullptr;
    QCustomPlot* curve_ = nullptr;
    QCheckBox* rawShown_ = nullptr;
    QComboBox* chartStation_ = nullptr;
    QCustomPlot* rateChart_ = nullptr;
    QCustomPlot* rangeChart_ = nullptr;
    QLabel* calibrationAge_ = nullptr;
    QTextBrowser* findings_ = nullptr;
    QPushButton* annotate_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* pdf_ = nullptr;
    QPushButton* reevaluate_ = nullptr;
};

} // namespace lorimet::journalwindow
