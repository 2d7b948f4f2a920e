#include "serial/CiaComPort.h"

#include "text/LineSplitter.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace lorimet {

namespace {

// How often the CTS and DSR lines are looked at when asked to watch them; QSerialPort has no change signal.
constexpr int kModemPollMs = 50;

QSerialPort::DataBits dataBits(int bits) {
    switch (bits) {
    case 5:
        return QSerialPort::Data5;
    case 6:
        return QSerialPort::Data6;
    case 7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

QSerialPort::Parity qtParity(Parity parity) {
    switch (parity) {
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    case Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(StopBits stopBits) {
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    case StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

} // namespace

CiaComPort::CiaComPort(QObject* parent) : QObject(parent), portName_(deviceNameForNumber(0)) {
    timeoutTimer_.setSingleShot(true);
    connect(&timeoutTimer_, &QTimer::timeout, this, [this] { timeoutExpired(); });
    modemTimer_.setInterval(kModemPollMs);
    connect(&modemTimer_, &QTimer::timeout, this, [this] { pollModemLines(); });
    connect(&serial_, &QSerialPort::readyRead, this, [this] { received(); });
    connect(&serial_, &QSerialPort::bytesWritten, this, [this](qint64) {
        if (serial_.bytesToWrite() == 0)
            transmitEmpty();
    });
    connect(&serial_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { deviceError(error); });
}

CiaComPort::~CiaComPort() {
    // No events from a port that is going away.
    QObject::disconnect(&serial_, nullptr, this, nullptr);
    timeoutTimer_.stop();
    modemTimer_.stop();
    if (serial_.isOpen()) {
        // The last command (the end of an operation sent by the close sequence) is still on its way: the
        // program ends right after it, and an analyser left without it stays in its operation.
        if (txPos_ < txQueue_.size())
            serial_.write(txQueue_.mid(txPos_));
        if (serial_.bytesToWrite() > 0)
            serial_.waitForBytesWritten(kFlushOnCloseMs);
        serial_.close();
    }
}

// ---- settings ----

void CiaComPort::setBaudrate(int baud) {
    baudrate_ = baud;
    if (isActive())
        applyLineSettings();
}

void CiaComPort::setByteSize(int bits) {
    byteSize_ = bits;
    if (isActive())
        applyLineSettings();
}

void CiaComPort::setParity(Parity parity) {
    parity_ = parity;
    if (isActive())
        applyLineSettings();
}

void CiaComPort::setStopBits(StopBits stopBits) {
    stopBits_ = stopBits;
    if (isActive())
        applyLineSettings();
}

void CiaComPort::setFlowCtrl(const FlowCtrl& flowCtrl) {
    flowCtrl_ = flowCtrl;
    if (isActive())
        applyFlowControl();
}

void CiaComPort::applyLineSettings() {
    // The device may refuse a value (an odd speed, 5 data bits on a pseudo-terminal); the port keeps working
    // with what it had, as a serial driver does.
    quiet_ = true;
    serial_.setBaudRate(baudrate_);
    serial_.setDataBits(dataBits(byteSize_));
    serial_.setParity(qtParity(parity_));
    serial_.setStopBits(qtStopBits(stopBits_));
    quiet_ = false;
}

void CiaComPort::applyFlowControl() {
    // QSerialPort knows no flow control, RTS/CTS or XON/XOFF; the DSR settings and "continue after XOFF" have
    // no counterpart and stay in the flag word only. DTR and RTS are set as steady levels (handshake and
    // toggle cannot be asked for); pseudo-terminals have neither line and refuse, which is harmless.
    quiet_ = true;
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (flowCtrl_.xonXoff())
        flow = QSerialPort::SoftwareControl;
    else if (flowCtrl_.txCtsFlow() || flowCtrl_.rxRtsControl() == RtsControl::Handshake)
        flow = QSerialPort::HardwareControl;
    serial_.setFlowControl(flow);
    serial_.setDataTerminalReady(flowCtrl_.rxDtrControl() != DtrControl::Disable);
    if (flow != QSerialPort::HardwareControl)
        serial_.setRequestToSend(flowCtrl_.rxRtsControl() == RtsControl::Enable);
    quiet_ = false;
}

QString CiaComPort::deviceNameForNumber(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\COM") + QString::number(number);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
#endif
}

void CiaComPort::setPort(int number) {
    port_ = number;
    portName_ = deviceNameForNumber(number);
}

void CiaComPort::setPortName(const QString& name) {
    static const QRegularExpression numbered(QStringLiteral("^COM([0-9]+)$"));
    const QRegularExpressionMatch match = numbered.match(name);
    bool ok = false;
    const int number = match.hasMatch() ? match.captured(1).toInt(&ok) : 0;
    if (ok) {
        setPort(number);
        return;
    }
    port_ = 0;
    portName_ = name;
}

void CiaComPort::setPortOptions(PortOptions options) {
    portOptions_ = options;
    if (isActive() && portOptions_.testFlag(PortOption::EventCtsDsr))
        modemTimer_.start();
    else
        modemTimer_.stop();
}

void CiaComPort::setRxBuffer(quint32 bytes) {
    rxBuffer_ = bytes;
    xonLim_ = bytes / 2;
    xoffLim_ = (bytes / 4) * 3;
}

void CiaComPort::setTxBuffer(quint32 bytes) {
    txBuffer_ = bytes;
}

// ---- delivery modes ----

CiaComPort::Mode CiaComPort::mode() const {
    if (lineMode_)
        return Mode::Line;
    if (thresholdUse_)
        return Mode::Threshold;
    if (rxTimeout_ > 0)
        return Mode::Timeout;
    return Mode::Raw;
}

void CiaComPort::setLineEnd(const QByteArray& lineEnd) {
    lineEnd_ = lineEnd;
    searchFrom_ = readPos_ + rxCount_;
}

void CiaComPort::setLineMode(bool on) {
    if (on) {
        thresholdUse_ = false;
        rxTimeout_ = 0;
        timeoutTimer_.stop();
    }
    lineMode_ = on;
    modeChanged();
    if (!on && isActive() && rxCount_ > 0)
        postDataAvailable();
}

void CiaComPort::setRxThresholdUse(bool on) {
    if (on) {
        lineMode_ = false;
        rxTimeout_ = 0;
        timeoutTimer_.stop();
    }
    thresholdUse_ = on;
    modeChanged();
    if (!on && isActive() && rxCount_ > 0)
        postDataAvailable();
}

void CiaComPort::setRxThresholdAmount(int bytes) {
    thresholdAmount_ = bytes;
}

bool CiaComPort::setRxTimeout(int ms) {
    if (ms < 0) {
        lastError_ = QStringLiteral("Value can not be negatieve");
        return false;
    }
    rxTimeout_ = ms;
    if (ms < 1) {
        timeoutTimer_.stop();
        modeChanged();
        return true;
    }
    lineMode_ = false;
    thresholdUse_ = false;
    modeChanged();
    timeoutTimer_.setInterval(ms);
    if (isActive() && rxCount_ > 0)
        timeoutTimer_.start();
    return true;
}

void CiaComPort::modeChanged() {
    // While a handler runs it keeps what it was offered; otherwise the unread bytes are counted afresh the
    // way the new mode counts them.
    if (delivering_)
        return;
    const qint64 unread = rx_.size() - readPos_;
    switch (mode()) {
    case Mode::Line:
    case Mode::Threshold:
        rxCount_ = 0;
        searchFrom_ = readPos_;
        break;
    case Mode::Timeout:
    case Mode::Raw:
        rxCount_ = unread;
        break;
    }
}

// ---- open and close ----

bool CiaComPort::setActive(bool active) {
    if (active == isActive())
        return true;
    if (active)
        return open();
    close();
    return true;
}

bool CiaComPort::open() {
    if (isActive())
        return true;
    serial_.setPortName(portName_);
    quiet_ = true;
    const bool opened = serial_.open(QIODevice::ReadWrite);
    quiet_ = false;
    if (!opened) {
        lastError_ = QStringLiteral("Cannot open port '") + portName_ + QStringLiteral("'");
        noteOpenFailure();
        return false;
    }
    openFailure_ = {};
    applyLineSettings();
    applyFlowControl();
    serial_.setReadBufferSize(rxBuffer_);
    ++generation_;
    resetReceive();
    resetTransmit();
    // Lines that are on when the port opens are reported once, as changes from "off".
    cts_ = false;
    dsr_ = false;
    QTimer::singleShot(0, this, [this, generation = generation_] {
        if (generation == generation_)
            pollModemLines();
    });
    if (portOptions_.testFlag(PortOption::EventCtsDsr))
        modemTimer_.start();
    return true;
}

void CiaComPort::noteOpenFailure() {
    openFailure_ = {serial_.error(), serial_.errorString(), false, {}};
#ifdef Q_OS_UNIX
    // QSerialPort says PermissionError also for a device that another program holds (its lock file); only
    // the device's own permissions make it a matter of the account's groups.
    if (openFailure_.error == QSerialPort::PermissionError) {
        // A bare name is a device of /dev, as QSerialPort takes it.
        const QByteArray path =
            QFile::encodeName(portName_.startsWith(u'/') ? portName_ : QStringLiteral("/dev/") + portName_);
        openFailure_.accessDenied = ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES;
        const QFileInfo device(QString::fromLocal8Bit(path));
        const QFile::Permissions groupReadWrite = QFile::ReadGroup | QFile::WriteGroup;
        if (openFailure_.accessDenied && (device.permissions() & groupReadWrite) == groupReadWrite &&
            device.group() != u"root")
            openFailure_.deviceGroup = device.group();
    }
#endif
}

void CiaComPort::close() {
    closePort(true);
}

void CiaComPort::closePort(bool offerPending) {
    if (!isActive())
        return;
    if (offerPending && !delivering_ && mode() != Mode::Raw && rxCount_ > 0) {
        callDataAvailable();
        if (!isActive())
            return; // the handler closed it
    }
    ++generation_;
    timeoutTimer_.stop();
    modemTimer_.stop();
    quiet_ = true;
    serial_.close();
    quiet_ = false;
    resetReceive();
    // Bytes not yet handed to the device go with the port; a later open starts with an empty queue.
    resetTransmit();
}

void CiaComPort::resetReceive() {
    rx_.clear();
    readPos_ = 0;
    searchFrom_ = 0;
    rxCount_ = 0;
    overflowWarned_ = false;
    timeoutMissed_ = false;
}

void CiaComPort::resetTransmit() {
    txQueue_.clear();
    txPos_ = 0;
    lastChunk_ = 0;
    writing_ = false;
}

// ---- receiving ----

void CiaComPort::received() {
    if (!isActive())
        return;
    takeIncoming();
    pump();
}

void CiaComPort::takeIncoming() {
    const QByteArray bytes = serial_.readAll();
    if (bytes.isEmpty())
        return;
    if (!onDataAvailable)
        return; // nobody listens: the input is discarded
    if (readPos_ > 0) {
        rx_.remove(0, readPos_);
        searchFrom_ = qMax<qsizetype>(0, searchFrom_ - readPos_);
        readPos_ = 0;
    }
    rx_.append(bytes);
    boundReceiveBuffer();
    if (mode() == Mode::Timeout) {
        rxCount_ = rx_.size() - readPos_;
        timeoutTimer_.start(rxTimeout_);
    }
}

void CiaComPort::boundReceiveBuffer() {
    // Noise or a wrong speed never brings a line end; keep the newest bytes only. In line and threshold mode
    // the bytes already offered stay untouched, as do those of a handler still running.
    qsizetype limit = LineSplitter::kMaxPending;
    if (mode() == Mode::Threshold)
        limit = qMax<qsizetype>(limit, thresholdAmount_);
    const bool keepOffered = delivering_ || mode() == Mode::Line || mode() == Mode::Threshold;
    const qsizetype keep = readPos_ + (keepOffered ? rxCount_ : 0);
    const qsizetype excess = rx_.size() - keep - limit;
    if (excess <= 0)
        return;
    rx_.remove(keep, excess);
    dropped_ += excess;
    searchFrom_ = qMax(keep, searchFrom_ - excess);
    if (!keepOffered)
        rxCount_ = qMin<qint64>(rxCount_, rx_.size() - readPos_);
    if (!overflowWarned_) {
        qWarning("Serial input: no line end within %lld bytes, the oldest bytes are dropped",
                 static_cast<long long>(limit));
        overflowWarned_ = true;
    }
}

void CiaComPort::pump() {
    // Time-out mode delivers from its timer only.
    while (isActive() && onDataAvailable && !delivering_ && mode() != Mode::Timeout) {
        if (rxCount_ == 0 && !offerNext())
            return;
        if (!callDataAvailable())
            return;
    }
}

bool CiaComPort::offerNext() {
    const qsizetype unread = rx_.size() - readPos_;
    switch (mode()) {
    case Mode::Line: {
        if (lineEnd_.isEmpty())
            return false;
        const qsizetype end = rx_.indexOf(lineEnd_, qMax(searchFrom_, readPos_));
        if (end < 0) {
            // A line end may start in the last bytes and finish in the next piece.
            searchFrom_ = qMax(readPos_, rx_.size() - lineEnd_.size() + 1);
            return false;
        }
        rxCount_ = end + lineEnd_.size() - readPos_;
        searchFrom_ = readPos_ + rxCount_;
        overflowWarned_ = false;
        return true;
    }
    case Mode::Threshold: {
        const qsizetype block = thresholdAmount_ > 0 ? thresholdAmount_ : unread;
        if (unread == 0 || unread < block)
            return false;
        rxCount_ = block;
        return true;
    }
    case Mode::Raw:
        rxCount_ = unread;
        return unread > 0;
    case Mode::Timeout:
        break;
    }
    return false;
}

bool CiaComPort::callDataAvailable() {
    // A copy: the handler may clear or replace onDataAvailable while it runs.
    const std::function<void()> handler = onDataAvailable;
    if (!handler || delivering_)
        return false;
    const qint64 before = rxCount_;
    const quint64 generation = generation_;
    delivering_ = true;
    guarded(handler);
    delivering_ = false;
    if (generation != generation_ || !isActive())
        return false;
    const bool progressed = rxCount_ < before;
    // QSerialPort announces no bytes while one of its readyRead signals is still being handled, and the
    // handler may have run inside one: collect what came meanwhile.
    takeIncoming();
    if (timeoutMissed_) {
        timeoutMissed_ = false;
        if (rxCount_ > 0)
            timeoutTimer_.start(rxTimeout_);
    }
    // A handler that leaves its bytes unread is not asked again and again; they wait for the next arrival.
    return progressed && onDataAvailable;
}

void CiaComPort::postDataAvailable() {
    QTimer::singleShot(0, this, [this, generation = generation_] {
        // A handler still running is followed by the delivery loop anyway.
        if (generation != generation_ || !isActive() || delivering_)
            return;
        callDataAvailable();
        pump();
    });
}

void CiaComPort::timeoutExpired() {
    if (!isActive() || mode() != Mode::Timeout)
        return;
    if (delivering_) {
        timeoutMissed_ = true;
        return;
    }
    if (rxCount_ > 0)
        callDataAvailable();
}

qint64 CiaComPort::read(char* buffer, qint64 count) {
    count = qMin(count, rxCount_);
    if (count <= 0 || !buffer)
        return 0;
    std::memcpy(buffer, rx_.constData() + readPos_, static_cast<size_t>(count));
    readPos_ += count;
    rxCount_ -= count;
    if (readPos_ == rx_.size()) {
        rx_.clear();
        readPos_ = 0;
        searchFrom_ = 0;
    }
    return count;
}

QByteArray CiaComPort::readString() {
    QByteArray text(rxCount_, Qt::Uninitialized);
    text.truncate(read(text.data(), text.size()));
    return text;
}

void CiaComPort::purgeRx() {
    if (isActive())
        serial_.clear(QSerialPort::Input);
}

qint64 CiaComPort::pendingBytes() const {
    const qint64 inDevice = isActive() ? serial_.bytesAvailable() : 0;
    return rx_.size() - readPos_ - rxCount_ + inDevice;
}

// ---- sending ----

qint64 CiaComPort::write(const char* data, qint64 count) {
    if (!isActive()) {
        lastError_ = QStringLiteral("Port not open");
        return -1;
    }
    if (count <= 0 || !data)
        return 0;
    qint64 taken = 0;
    if (!writing_ && txPos_ == txQueue_.size()) {
        taken = qMin<qint64>(count, qMax<quint32>(txBuffer_, 1));
        startChunk(QByteArray(data, taken));
    }
    if (taken < count)
        txQueue_.append(data + taken, count - taken);
    return count;
}

bool CiaComPort::writeString(const QByteArray& bytes) {
    return write(bytes.constData(), bytes.size()) >= 0;
}

void CiaComPort::startChunk(const QByteArray& chunk) {
    writing_ = true;
    lastChunk_ = chunk.size();
    serial_.write(chunk); // QSerialPort keeps its own copy until the device has taken it
}

void CiaComPort::transmitEmpty() {
    if (!writing_)
        return;
    const quint64 generation = generation_;
    if (onSendProgress) {
        const auto handler = onSendProgress;
        guarded([&] { handler(lastChunk_); });
        if (generation != generation_)
            return;
    }
    const qsizetype queued = txQueue_.size() - txPos_;
    if (queued > 0) {
        const qsizetype n = qMin<qsizetype>(queued, qMax<quint32>(txBuffer_, 1));
        const QByteArray chunk = txQueue_.mid(txPos_, n);
        txPos_ += n;
        if (txPos_ == txQueue_.size()) {
            txQueue_.clear();
            txPos_ = 0;
        }
        startChunk(chunk);
        return;
    }
    writing_ = false;
    if (onDataSent) {
        const auto handler = onDataSent;
        guarded(handler);
    }
}

// ---- device state ----

void CiaComPort::deviceError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || quiet_ || !isActive())
        return;
    const bool fatal = error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
                       error == QSerialPort::ResourceError;
    if (fatal) {
        // A vanished device reports the same error on every read attempt until the port is closed.
        lastError_ = serial_.errorString();
        closePort(false);
    } else if (!portOptions_.testFlag(PortOption::EventError)) {
        return;
    }
    if (onError) {
        const auto handler = onError;
        guarded([&] { handler(static_cast<quint32>(error)); });
    }
}

void CiaComPort::pollModemLines() {
    if (!isActive())
        return;
    quiet_ = true;
    const QSerialPort::PinoutSignals lines = serial_.pinoutSignals();
    quiet_ = false;
    const quint64 generation = generation_;
    const bool cts = lines.testFlag(QSerialPort::ClearToSendSignal);
    const bool dsr = lines.testFlag(QSerialPort::DataSetReadySignal);
    if (cts != cts_) {
        cts_ = cts;
        if (onCtsChanged) {
            const auto handler = onCtsChanged;
            guarded([&] { handler(cts); });
            if (generation != generation_)
                return;
        }
    }
    if (dsr != dsr_) {
        dsr_ = dsr;
        if (onDsrChanged) {
            const auto handler = onDsrChanged;
            guarded([&] { handler(dsr); });
        }
    }
}

template <typename Fn> void CiaComPort::guarded(Fn&& fn) {
    // No exception may cross the event loop: a failing handler is reported and its event ends there.
    auto report = [this](const std::exception& error) {
        if (!onBGException)
            return;
        const auto handler = onBGException;
        try {
            handler(error);
        } catch (...) {
            // a failing report of a failure is dropped
        }
    };
    try {
        fn();
    } catch (const std::exception& error) {
        report(error);
    } catch (...) {
        report(std::runtime_error("unknown error"));
    }
}

void configureForAnalyser(CiaComPort& port) {
    port.setBaudrate(9600);
    port.setByteSize(8);
    port.setParity(Parity::None);
    port.setStopBits(StopBits::One);
    FlowCtrl flow;
    flow.setRxDtrControl(DtrControl::Disable);
    flow.setRxRtsControl(RtsControl::Disable);
    port.setFlowCtrl(flow);
    port.setLineEnd(QByteArrayLiteral("\r\n"));
    port.setLineMode(true);
    port.setRxBuffer(1000);
    port.setTxBuffer(1000);
    port.setPort(1);
}

} // namespace lorimet
