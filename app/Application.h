#pragma once

#include "config/Configuration.h"
#include "engine/Interfaces.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace lorimet {

class DemoControls;
class DemoLink;
class Engine;
class GsoDialog;
class MainWindow;
class PlotterDialog;
class PortAndFilterDialog;
class QtOperator;
class SampleDialog;
class SerialAnalyserLink;
class TableDialog;
enum class StartupStep : int;

class SystemClock : public Clock {
  public:
    SystemClock() { timer_.start(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }

  private:
    QElapsedTimer timer_;
};

// The running program: configuration, windows, link, engine and timers, put together in start-up order.
class Application : public QObject {
  public:
    struct Options {
        QString dataFolder;
        bool demo = false;
        // Told as each start-up step begins (the splash window's bar follows it); may be empty.
        std::function<void(StartupStep)> progress;
    };
    Application(const Options& options, Configuration& config);
    ~Application() override;

    void start();
    MainWindow& window() { return *window_; }
    Engine& engine() { return *engine_; }
    DemoLink* demoLink() const { return demoLink_.get(); }

  private:
    void progress(StartupStep step) const;

    Options options_;
    Configuration& config_;
    SystemClock clock_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QtOperator> operator_;
    std::unique_ptr<SerialAnalyserLink> serialLink_;
    std::unique_ptr<DemoLink> demoLink_;
    std::unique_ptr<Engine> engine_;
    DemoControls* demoControls_ = nullptr;
    GsoDialog* gsoDialog_ = nullptr;
    SampleDialog* sampleDialog_ = nullptr;
    PortAndFilterDialog* portDialog_ = nullptr;
    PlotterDialog* plotterDialog_ = nullptr;
    TableDialog* tableDialog_ = nullptr;
    QTimer timer_, inverseSignal_, iconTimer_, handTimer_;
};

} // namespace lorimet
