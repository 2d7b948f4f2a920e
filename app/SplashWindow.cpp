#include "app/SplashWindow.h"

#include "app/Pictures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace lorimet {

int loaderValue(StartupStep step) {
    const int index = static_cast<int>(step);
    const int windows = static_cast<int>(StartupStep::PanelSwitches);
    const int value = index <= windows ? 10 * (index + 1) : 10 * (windows + 1) + 9 * (index - windows);
    return std::min(value, 100);
}

QList<int> loaderValues() {
    QList<int> values;
    for (int k = 0; k < kStartupSteps; ++k)
        values.append(loaderValue(static_cast<StartupStep>(k)));
    return values;
}

SplashWindow::SplashWindow() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Tlogoform"));
    setFixedSize(260, 128);
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, QColor(0x12, 0x3a, 0x6b));
    setPalette(ground);

    loader_ = new QProgressBar(this);
    loader_->setObjectName(QStringLiteral("Loader"));
    loader_->setGeometry(0, 0, 260, 10);
    loader_->setRange(0, 100);
    loader_->setValue(0);
    loader_->setTextVisible(false);
    // A plain smooth bar: the style's own frame and rounding leave almost nothing of 10 pixels.
    loader_->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: #0b2748; }"
                                          "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, "
                                          "x2:0, y2:1, stop:0 #9fd4ff, stop:1 #2f86d8); }"));

    // The picture takes the space below the bar; the two spare rows stay in the window's colour.
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image"));
    picture->setGeometry(0, 11, 260, 116);
    picture->setPixmap(splashPicture(devicePixelRatioF()));
}

void SplashWindow::showNow() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    show();
    raise();
    // The window system maps the window on its own time; wait for it briefly, or the first paint is lost.
    QElapsedTimer waited;
    waited.start();
    do
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 500);
    repaint();
}

void SplashWindow::advance(StartupStep step) {
    const int value = loaderValue(step);
    if (value <= loader_->value())
        return;
    loader_->setValue(value);
    if (isVisible())
        loader_->repaint();
}

} // namespace lorimet
