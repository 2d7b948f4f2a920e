#pragma once

// Recording fakes of the engine's four interfaces, for tests that drive the engine directly.
#include "engine/Engine.h"
#include "text/Cp1251.h"

#include <QDateTime>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace lorimet::testing {

class ManualClock : public Clock {
  public:
    qint64 ms = 0;
    QDateTime origin{QDate(2026, 12, 6), QTime(12, 0)};
    qint64 monotonicMs() const override { return ms; }
    QDateTime now() const override { return origin.addMSecs(ms); }
};

class RecordingLink : public AnalyserLink {
  public:
    bool opens = true;
    bool openNow = false;
    QList<QByteArray> written;
    QStringList log; // "open", "close", "tx XX"
    bool open(const QString&) override {
        openNow = opens;
        log << (opens ? QStringLiteral("open") : QStringLiteral("open failed"));
        return opens;
    }
    void close() override {
        openNow = false;
        log << QStringLiteral("close");
    }
    bool isOpen() const override { return openNow; }
    bool write(const QByteArray& bytes) override {
        if (!openNow)
            return false;
        written << bytes;
        log << QStringLiteral("tx ") + QString::fromLatin1(bytes.toHex(' ').toUpper());
        return true;
    }
};

class RecordingDisplay : public Display {
  public:
    QStringList log;
    QString signalLabel;
    QStringList dropped;
    void showStatusText(int index, const QString&) override { log << QStringLiteral("status %1").arg(index); }
    void showMessageWindow(const MessageWindowLayout& l) override {
        log << QStringLiteral("window ") + l.caption;
    }
    void closeMessageWindow(const QString& caption) override {
        log << QStringLiteral("window-close ") + caption;
    }
    void setLabelText(Label label, const QString& text) override {
        if (label == Label::Signal)
            signalLabel = text;
    }
    void lineDropped(const QString& reason) override { dropped << reason; }
};

class ScriptedOperator : public Operator {
  public:
    QStringList boxes; // "caption | text"
    std::deque<Answer> answers;
    std::function<bool(Engine&)> gso = [](Engine&) { return false; };
    std::function<bool(Engine&)> sample = [](Engine&) { return false; };
    Answer messageBox(BeepKind, const QString& caption, const QString& text, Buttons buttons) override {
        boxes << caption + QStringLiteral(" | ") + text;
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        if (!answers.empty()) {
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
    }
    bool runGsoDialog(Engine& e) override { return gso(e); }
    bool runSampleDialog(Engine& e, const QString&) override { return sample(e); }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        return std::nullopt;
    }
};

// Keeps every finished run the engine reports, in order.
class RecordingRunSink : public RunSink {
  public:
    std::vector<FinishedRun> runs;
    void runFinished(FinishedRun run) override { runs.push_back(std::move(run)); }
};

// An analyser line: the signal, "%нас", the temperature and the mode word 32 characters after the "%".
inline QByteArray analyserLine(double signal, const char* mode = "под.", double temperature = 20.3) {
    QString head = QString::asprintf("%6.2f ", signal) + QStringLiteral("%нас ") +
                   QString::asprintf("%4.1f", temperature);
    const qsizetype p = head.indexOf(u'%');
    head = head.leftJustified(p + 32, u' ') + QString::fromUtf8(mode);
    return toCp1251(head) + QByteArray("\r\n");
}

} // namespace lorimet::testing
