#include "app/TrayIcon.h"

#include "app/Pictures.h"

namespace lorimet {

TrayIcon::TrayIcon(QObject* parent) : QSystemTrayIcon(parent) {
    setObjectName(QStringLiteral("TrayIcon"));
    setToolTip(QStringLiteral("ЛОРИМЕТ"));
    timer_.setInterval(450);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (images_.isEmpty())
            return;
        frame_ = (frame_ + 1) % images_.size();
        setIcon(images_[frame_]);
    });
    setImageList(0);
    timer_.start();
}

void TrayIcon::setImageList(int index) {
    if (index == list_ || index < 0 || index >= kTrayStates)
        return;
    list_ = index;
    images_ = trayImageList(index);
    frame_ = 0;
    if (!images_.isEmpty())
        setIcon(images_.first());
}

} // namespace lorimet
