#pragma once

#include "engine/Interfaces.h"
#include "sim/AnalyserModel.h"
#include "text/LineSplitter.h"

#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <functional>

namespace lorimet {

// The built-in analyser: the simulated instrument run in-process on the program's timer, with no serial
// device at all. It behaves like a port: bytes while closed are lost, lines arrive one at a time.
class DemoLink : public AnalyserLink {
  public:
    explicit DemoLink(quint64 seed = 1251);
    bool open(const QString& port) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override;

    AnalyserModel& model() { return model_; }
    qint64 nowMs() const { return clock_.elapsed(); }
    std::function<void(const QByteArray& line)> lineReceived;
    // The operator's hands on the simulated instrument.
    void inject(double bod) { model_.inject(bod, nowMs()); }
    void turnKnob(KnobPosition position) { model_.turnKnob(position, nowMs()); }

  private:
    void cycle();
    void deliver(const QByteArray& bytes);

    AnalyserModel model_;
    QElapsedTimer clock_;
    QTimer timer_;
    LineSplitter splitter_;
    std::deque<QByteArray> waiting_;
    bool open_ = false;
    bool delivering_ = false;
};

} // namespace lorimet
