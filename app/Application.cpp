#include "app/Application.h"

#include "app/ContactsWindow.h"
#include "app/DemoControls.h"
#include "app/MainWindow.h"
#include "app/OperationDialogs.h"
#include "app/QtOperator.h"
#include "app/SettingsDialogs.h"
#include "app/SplashWindow.h"
#include "engine/Engine.h"
#include "serial/SerialAnalyserLink.h"
#include "sim/DemoLink.h"

#include <QPushButton>
#include <QScreen>

namespace lorimet {

Application::Application(const Options& options, Configuration& config) : options_(options), config_(config) {
    progress(StartupStep::MainWindow);
    progress(StartupStep::MessageWindow); // made by the main window's constructor
    window_ = std::make_unique<MainWindow>(config_);
    operator_ = std::make_unique<QtOperator>(window_.get());
    AnalyserLink* link = nullptr;
    if (options_.demo) {
        demoLink_ = std::make_unique<DemoLink>();
        link = demoLink_.get();
    } else {
        serialLink_ = std::make_unique<SerialAnalyserLink>();
        link = serialLink_.get();
    }
    engine_ = std::make_unique<Engine>(config_, *window_, *operator_, *link, clock_, options_.dataFolder);
    auto deliver = [this](const QByteArray& line) { engine_->lineAvailable(line); };
    if (demoLink_)
        demoLink_->lineReceived = deliver;
    else
        serialLink_->lineReceived = deliver;

    progress(StartupStep::PortDialog);
    portDialog_ = new PortAndFilterDialog(*engine_, window_.get());
    progress(StartupStep::GsoDialog);
    gsoDialog_ = new GsoDialog(*engine_, window_.get());
    progress(StartupStep::SampleDialog);
    sampleDialog_ = new SampleDialog(*engine_, window_.get());
    progress(StartupStep::ContactsWindow);
    new ContactsWindow(window_.get()); // owned by the main window, which finds it when asked for it
    operator_->setDialogs(gsoDialog_, sampleDialog_);
    progress(StartupStep::PlotterDialog);
    plotterDialog_ =
        new PlotterDialog(config_, *window_->plotter(), *window_->temperaturePlotter(), window_.get());
    progress(StartupStep::TableDialog);
    tableDialog_ = new TableDialog(config_, *window_, window_.get());
    window_->portSettingsRequested = [this] { portDialog_->run(); };
    window_->setUpPanelRequested = [this] {
        if (window_->tableShown())
            tableDialog_->openFromSettings();
        else
            plotterDialog_->openFromSettings();
    };
    window_->gsoOkEnabled = [this](bool on) { gsoDialog_->okButton()->setEnabled(on); };
    window_->sampleOkEnabled = [this](bool on) { sampleDialog_->okButton()->setEnabled(on); };
    window_->probeDescriptionsChanged = [this](const QStringList& d) { sampleDialog_->setDescriptions(d); };
    window_->closeRequested = [this] {
        for (QTimer* t : {&timer_, &inverseSignal_, &iconTimer_, &handTimer_})
            t->stop();
        engine_->closeSequence();
    };

    timer_.setInterval(100);
    inverseSignal_.setInterval(500);
    iconTimer_.setInterval(100);
    handTimer_.setInterval(65);
    // A QTimer does not fire again while its own timeout is being handled, even in the nested event loop of a
    // message box that the handler opened: the clock, the watchdog and the mode-word tracking would stand
    // still under the upper-point question or a watchdog's own box. Queued, the handler runs after the
    // timer's event has returned, so the timer keeps firing inside such a box and its tick runs there too.
    // A tick queued before its timer was stopped (the close sequence) is dropped.
    const std::pair<QTimer*, void (Engine::*)()> handlers[] = {
        {&timer_, &Engine::TimerTimer},
        {&inverseSignal_, &Engine::InverseSignalTimer},
        {&iconTimer_, &Engine::IconTimerTimer},
        {&handTimer_, &Engine::HandTimerTimer},
    };
    for (const auto& [timer, handler] : handlers)
        connect(
            timer, &QTimer::timeout, this,
            [this, timer, handler] {
                if (timer->isActive())
                    (engine_.get()->*handler)();
            },
            Qt::QueuedConnection);
}

Application::~Application() = default;

void Application::progress(StartupStep step) const {
    if (options_.progress)
        options_.progress(step);
}

void Application::start() {
    progress(StartupStep::PanelSwitches);
    window_->applyConfiguration();
    // The dialogs show what the charts and the table show now.
    plotterDialog_->setGradient(config_.isSwitchOn(Configuration::GradientLine));
    plotterDialog_->load(config_.settings());
    tableDialog_->load(config_.settings());
    window_->attach(*engine_);
    progress(StartupStep::Folders);
    engine_->startUp();
    for (QTimer* t : {&timer_, &inverseSignal_, &iconTimer_, &handTimer_})
        t->start();
    window_->move(window_->screen()->availableGeometry().center() - window_->rect().center());
    window_->show();
    if (demoLink_) {
        demoControls_ = new DemoControls(*demoLink_, window_.get());
        demoControls_->move(window_->frameGeometry().topRight() + QPoint(8, 0));
        demoControls_->show();
    }
}

} // namespace lorimet
