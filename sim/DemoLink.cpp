#include "sim/DemoLink.h"

namespace lorimet {

DemoLink::DemoLink(quint64 seed) : model_(seed) {
    clock_.start();
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { cycle(); });
    // The instrument measures whether or not anyone listens; the first line comes one period after opening.
}

bool DemoLink::open(const QString&) {
    open_ = true;
    splitter_.clear();
    timer_.start(static_cast<int>(model_.periodMs()));
    return true;
}

void DemoLink::close() {
    open_ = false;
    timer_.stop();
    splitter_.clear();
    waiting_.clear();
}

bool DemoLink::write(const QByteArray& bytes) {
    if (!open_)
        return false;
    model_.receive(bytes, nowMs());
    if (timer_.interval() != model_.periodMs())
        timer_.setInterval(static_cast<int>(model_.periodMs()));
    return true;
}

void DemoLink::cycle() {
    const qint64 now = nowMs();
    if (model_.pendingResend(now))
        deliver(model_.lastLine());
    if (model_.isSilent(now))
        return;
    const QByteArray line = model_.nextLine(now);
    const qsizetype split = model_.splitPoint();
    if (split > 0) {
        deliver(line.left(split));
        deliver(line.mid(split));
    } else {
        deliver(line);
    }
}

void DemoLink::deliver(const QByteArray& bytes) {
    if (!open_)
        return;
    // Lines that arrive while one is being handled (a dialog's nested event loop) wait their turn.
    waiting_.push_back(bytes);
    if (delivering_)
        return;
    delivering_ = true;
    while (open_ && !waiting_.empty()) {
        const QByteArray next = waiting_.front();
        waiting_.pop_front();
        splitter_.feed(next, [this](const QByteArray& line) {
            if (lineReceived)
                lineReceived(line);
        });
    }
    delivering_ = false;
}

} // namespace lorimet
