#pragma once

#include <QList>
#include <QWidget>

class QProgressBar;

namespace lorimet {

// The start-up's steps that move the splash window's bar, in the order they run: the nine windows (the bar
// moves just before each is made), then the panel switches, the port list, the status texts, the run-time
// state, the port settings, the plotter and table appearance and the working folders.
enum class StartupStep : int {
    MainWindow,
    MessageWindow,
    PortDialog,
    GsoDialog,
    SampleDialog,
    PrintDialog,
    ContactsWindow,
    PlotterDialog,
    TableDialog,
    PanelSwitches,
    Ports,
    StatusTexts,
    RuntimeState,
    PortSettings,
    PlotterAppearance,
    TableAppearance,
    Folders,
};
inline constexpr int kStartupSteps = static_cast<int>(StartupStep::Folders) + 1;

// Where the bar stands once the step has begun: 10 per window, 10 more for the switches (the bar is full
// then), and 9 for each later step, which leaves it full.
int loaderValue(StartupStep step);
// The bar's value after each step in turn.
QList<int> loaderValues();

// `Tlogoform`: the borderless start-up window, centred on the desktop: the bar `Loader` (0..100) across its
// top edge above the start-up picture.
class SplashWindow : public QWidget {
  public:
    SplashWindow();

    // Shows the window and paints it at once: the start-up keeps the event loop busy until it is done.
    void showNow();
    // Moves the bar to where the step puts it and repaints it at once. Steps never move it back, so a step
    // that is run elsewhere (and so not reported here) costs only a longer stride.
    void advance(StartupStep step);
    QProgressBar* loader() const { return loader_; }

  private:
    QProgressBar* loader_;
};

} // namespace lorimet
