#include "sim/SimDriver.h"

#include <QSerialPort>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace lorimet {

namespace {

// Lines nobody reads pile up in the pseudo-terminal; a real serial line would simply lose them, and the
// program should not get minutes of stale lines in one burst when it opens the port at last.
constexpr int kMaxUnreadBytes = 512;
// What may wait for the pseudo-terminal to take it before we decide that nobody reads at all.
constexpr qsizetype kMaxQueuedBytes = 1024 * 1024;
// A flood is written in pieces of this size, and at most kFloodBurst bytes before the event loop runs again,
// so that commands and the flood's end are still noticed.
constexpr qsizetype kFloodChunk = 16 * 1024;
constexpr qsizetype kFloodBurst = 256 * 1024;
constexpr qint64 kSplitGapMs = 100;

QString hexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

SimDriver::SimDriver(AnalyserModel& model, QObject* parent) : QObject(parent), model_(model) {
    lineTimer_.setTimerType(Qt::PreciseTimer);
    connect(&lineTimer_, &QTimer::timeout, this, &SimDriver::sendLine);
    resendTimer_.setSingleShot(true);
    resendTimer_.setTimerType(Qt::PreciseTimer);
    connect(&resendTimer_, &QTimer::timeout, this, &SimDriver::sendOwedResends);
}

SimDriver::~SimDriver() {
    ptyNotifier_.reset();
    ptyWriteNotifier_.reset();
    if (ptySlave_ >= 0)
        ::close(ptySlave_);
    if (ptyMaster_ >= 0)
        ::close(ptyMaster_);
}

bool SimDriver::openPty(QString* error) {
    auto fail = [&](const char* step) {
        *error =
            QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    ptyMaster_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (ptyMaster_ < 0)
        return fail("posix_openpt");
    if (::grantpt(ptyMaster_) != 0 || ::unlockpt(ptyMaster_) != 0)
        return fail("grantpt/unlockpt");
    const char* name = ::ptsname(ptyMaster_);
    if (!name)
        return fail("ptsname");
    devicePath_ = QString::fromLocal8Bit(name);
    ptySlave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (ptySlave_ < 0)
        return fail("open slave");
    // Raw: no echo of our lines back to us as "commands", no translation of CR LF, all 8 bits.
    termios settings{};
    if (::tcgetattr(ptySlave_, &settings) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(ptySlave_, TCSANOW, &settings) != 0)
        return fail("tcsetattr");
    ::fcntl(ptyMaster_, F_SETFL, ::fcntl(ptyMaster_, F_GETFL) | O_NONBLOCK);
    ptyNotifier_ = std::make_unique<QSocketNotifier>(ptyMaster_, QSocketNotifier::Read);
    connect(ptyNotifier_.get(), &QSocketNotifier::activated, this, &SimDriver::readPty);
    ptyWriteNotifier_ = std::make_unique<QSocketNotifier>(ptyMaster_, QSocketNotifier::Write);
    ptyWriteNotifier_->setEnabled(false);
    connect(ptyWriteNotifier_.get(), &QSocketNotifier::activated, this, &SimDriver::drainPty);
    return true;
}

bool SimDriver::openPort(const QString& path, QString* error) {
    port_ = new QSerialPort(this);
    port_->setPortName(path);
    if (!port_->open(QIODevice::ReadWrite)) {
        *error = port_->errorString();
        return false;
    }
    port_->setBaudRate(QSerialPort::Baud9600);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    devicePath_ = path;
    connect(port_, &QSerialPort::readyRead, this, &SimDriver::readPort);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError code) {
        if (code == QSerialPort::NoError || code == QSerialPort::TimeoutError)
            return;
        log(QStringLiteral("port error: %1").arg(port_->errorString()));
        // A vanished device keeps reporting the same error until the port is closed.
        if (code == QSerialPort::ReadError || code == QSerialPort::WriteError ||
            code == QSerialPort::ResourceError) {
            port_->close();
            lineTimer_.stop();
            if (onFailure)
                onFailure(QStringLiteral("the serial port failed: %1").arg(port_->errorString()));
        }
    });
    return true;
}

void SimDriver::start() {
    clock_.start();
    lineTimer_.start(static_cast<int>(model_.periodMs()));
}

void SimDriver::execute(const SimCommand& command) {
    const qint64 now = nowMs();
    switch (command.kind) {
    case SimCommand::Kind::Inject:
        model_.inject(command.value, now);
        break;
    case SimCommand::Kind::Knob:
        model_.turnKnob(command.knob, now);
        break;
    case SimCommand::Kind::Fault:
        model_.requestFault(command.fault);
        break;
    case SimCommand::Kind::Silence:
        model_.silence(now, std::llround(command.value * 1000.0));
        break;
    case SimCommand::Kind::Flood:
        startFlood(std::llround(command.value * 1000.0));
        break;
    case SimCommand::Kind::Period:
        model_.setPeriodMs(std::llround(command.value * 1000.0));
        // A new period counts from now, not from the last line.
        lineTimer_.start(static_cast<int>(model_.periodMs()));
        break;
    case SimCommand::Kind::Signal:
        model_.setIdleSignal(command.value);
        log(QStringLiteral("idle signal %1 %нас").arg(command.value));
        break;
    case SimCommand::Kind::Temperature:
        model_.setTemperature(command.value);
        log(QStringLiteral("temperature %1 °C").arg(command.value));
        break;
    case SimCommand::Kind::Quit:
        break;
    }
    flushModelLog();
}

void SimDriver::sendLine() {
    sendOwedResends();
    const qint64 now = nowMs();
    if (model_.isSilent(now) || flooding()) {
        flushModelLog();
        return;
    }
    const QByteArray line = model_.nextLine(now);
    const qsizetype split = model_.splitPoint();
    if (split > 0) {
        writeBytes(line.left(split));
        const QByteArray rest = line.mid(split);
        const qint64 gap = std::max<qint64>(1, std::min(kSplitGapMs, model_.periodMs() / 2));
        QTimer::singleShot(static_cast<int>(gap), this, [this, rest] { writeBytes(rest); });
    } else {
        writeBytes(line);
    }
    flushModelLog();
}

void SimDriver::writeBytes(const QByteArray& bytes) {
    if (ptyMaster_ >= 0)
        writeToPty(bytes);
    else if (port_ && port_->isOpen())
        port_->write(bytes);
}

void SimDriver::writeToPty(const QByteArray& bytes) {
    // Stale lines are dropped only when nobody has read anything since our last write: a reader that is
    // merely behind (the rest of a long line) keeps every byte.
    int unread = 0;
    const bool stalled = ::ioctl(ptySlave_, FIONREAD, &unread) == 0 && unread >= unreadAfterWrite_;
    if (ptyQueue_.isEmpty() && stalled && unread > kMaxUnreadBytes) {
        ::tcflush(ptySlave_, TCIFLUSH);
        if (!droppingUnread_)
            log(QStringLiteral("nobody reads the line: unread lines dropped"));
        droppingUnread_ = true;
    } else if (unread == 0) {
        droppingUnread_ = false;
    }
    if (ptyQueue_.size() > kMaxQueuedBytes) {
        log(QStringLiteral("nobody reads the line: %1 queued bytes dropped").arg(ptyQueue_.size()));
        ptyQueue_.clear();
        ::tcflush(ptySlave_, TCIFLUSH);
    }
    ptyQueue_.append(bytes);
    drainPty();
}

void SimDriver::drainPty() {
    drainPtyQueue();
    int unread = 0;
    if (::ioctl(ptySlave_, FIONREAD, &unread) == 0)
        unreadAfterWrite_ = unread;
}

void SimDriver::drainPtyQueue() {
    qsizetype written = 0;
    while (written < kFloodBurst) {
        if (ptyQueue_.isEmpty())
            refillFlood();
        if (ptyQueue_.isEmpty()) {
            ptyWriteNotifier_->setEnabled(false);
            return;
        }
        const ssize_t n = ::write(ptyMaster_, ptyQueue_.constData(), static_cast<size_t>(ptyQueue_.size()));
        if (n > 0) {
            ptyQueue_.remove(0, n);
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            log(QStringLiteral("write failed, %1 bytes lost: %2")
                    .arg(ptyQueue_.size())
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
            ptyQueue_.clear();
            floodUntilMs_ = -1;
            ptyWriteNotifier_->setEnabled(false);
            return;
        }
        break; // full: go on when the other end has read
    }
    ptyWriteNotifier_->setEnabled(true);
}

void SimDriver::startFlood(qint64 durationMs) {
    if (ptyMaster_ < 0) {
        log(QStringLiteral("a flood needs a pseudo-terminal: ignored"));
        return;
    }
    log(QStringLiteral("flood of noise for %1 ms").arg(durationMs));
    floodUntilMs_ = nowMs() + durationMs;
    floodedBytes_ = 0;
    // Ends the flood on time even if the other end has stopped reading.
    QTimer::singleShot(static_cast<int>(durationMs) + 1, this, [this] { drainPty(); });
    drainPty();
}

void SimDriver::refillFlood() {
    if (!flooding())
        return;
    if (nowMs() >= floodUntilMs_) {
        floodUntilMs_ = -1;
        ptyQueue_.append("\r\n");
        log(QStringLiteral("flood over: %1 bytes of noise").arg(floodedBytes_));
        return;
    }
    ptyQueue_.append(model_.noise(kFloodChunk));
    floodedBytes_ += kFloodChunk;
}

void SimDriver::readPty() {
    QByteArray received;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(ptyMaster_, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Should not happen while we hold the slave end; stop listening rather than spin.
            log(QStringLiteral("read failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            ptyNotifier_->setEnabled(false);
        }
        break;
    }
    if (!received.isEmpty())
        handleReceived(received);
}

void SimDriver::readPort() {
    handleReceived(port_->readAll());
}

void SimDriver::handleReceived(const QByteArray& bytes) {
    const qint64 now = nowMs();
    log(QStringLiteral("received %1").arg(hexBytes(bytes)));
    model_.receive(bytes, now);
    sendOwedResends();
    followPeriod();
    flushModelLog();
}

void SimDriver::sendOwedResends() {
    const qint64 now = nowMs();
    while (model_.pendingResend(now))
        if (!model_.isSilent(now) && !flooding())
            writeBytes(model_.lastLine());
    // A lone 0xA1 still undecided: look again when its wait is over (a timer may fire a little early).
    if (const std::optional<qint64> due = model_.resendDecisionDue())
        resendTimer_.start(static_cast<int>(std::max<qint64>(1, *due - now)));
    flushModelLog();
}

void SimDriver::followPeriod() {
    if (lineTimer_.interval() != model_.periodMs())
        lineTimer_.start(static_cast<int>(model_.periodMs()));
}

void SimDriver::flushModelLog() {
    for (const QString& text : model_.takeLog())
        log(text);
}

void SimDriver::log(const QString& text) const {
    const qint64 ms = clock_.isValid() ? clock_.elapsed() : 0;
    const QString stamped =
        QStringLiteral("[%1.%2] %3\n").arg(ms / 1000, 6).arg(ms % 1000, 3, 10, QLatin1Char('0')).arg(text);
    std::fputs(stamped.toUtf8().constData(), stderr);
}

} // namespace lorimet
