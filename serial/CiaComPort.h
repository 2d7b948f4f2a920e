#pragma once

#include "serial/FlowCtrl.h"

#include <QByteArray>
#include <QFlags>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>

namespace lorimet {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

enum class PortOption : quint8 {
    EventCtsDsr = 0x1, // watch the CTS and DSR lines
    EventError = 0x2,  // report the port's non-fatal errors through onError
};
Q_DECLARE_FLAGS(PortOptions, PortOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(PortOptions)

// Why the last open() failed, as the system told it.
struct OpenFailure {
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString reason;            // the system's own words, e.g. "Permission denied"; empty after a good open
    bool accessDenied = false; // the account may not use the device (not: the device is busy or missing)
    QString deviceGroup;       // the group the device lets read and write it, when it names one
};

// One serial port, event-driven on the thread that owns it (the user-interface thread).
//
// Input is handed out in one of four delivery modes: line mode (every byte up to and including each LineEnd),
// threshold mode (blocks of RxThresholdAmount bytes), time-out mode (whatever has arrived once the line has
// been silent for RxTimeout ms) and raw mode (whatever has arrived). Each delivery raises onDataAvailable
// with rxCount() set to the bytes offered; the handler takes them with read() or readString().
// onDataAvailable is never re-entered: bytes that arrive while it runs, even inside a nested event loop it
// starts, wait and are offered after it returns, one unit per call.
//
// Output is queued and handed to the device in chunks of at most TxBuffer bytes; onSendProgress follows each
// chunk and onDataSent the moment the queue has run empty.
//
// Failures are results, never exceptions: open() and setRxTimeout() return false and write() returns -1, with
// the reason in lastError(). A device that fails while open (unplugged, pseudo-terminal closed) closes the
// port at once and is reported through onError.
class CiaComPort : public QObject {
  public:
    explicit CiaComPort(QObject* parent = nullptr);
    // Hands what is still queued for sending to the device first, waiting at most kFlushOnCloseMs.
    ~CiaComPort() override;
    static constexpr int kFlushOnCloseMs = 1000;

    // Line settings; each is applied at once while the port is open.
    int baudrate() const { return baudrate_; }
    void setBaudrate(int baud);
    int byteSize() const { return byteSize_; }
    void setByteSize(int bits);
    Parity parity() const { return parity_; }
    void setParity(Parity parity);
    StopBits stopBits() const { return stopBits_; }
    void setStopBits(StopBits stopBits);
    const FlowCtrl& flowCtrl() const { return flowCtrl_; }
    void setFlowCtrl(const FlowCtrl& flowCtrl);

    // Which device the next open() uses. A number n names COM n: "\\.\COMn" on Windows, /dev/ttyS(n-1)
    // elsewhere. setPortName() takes "COM"+n (mapped the same way) or a device name or path, used as it
    // stands.
    int port() const { return port_; }
    void setPort(int number);
    QString portName() const { return portName_; }
    void setPortName(const QString& name);
    static QString deviceNameForNumber(int number);

    PortOptions portOptions() const { return portOptions_; }
    void setPortOptions(PortOptions options);

    // Delivery modes. At most one of line, threshold and time-out mode is on; with none on the port is raw.
    QByteArray lineEnd() const { return lineEnd_; }
    void setLineEnd(const QByteArray& lineEnd); // an empty line end ends no line
    bool lineMode() const { return lineMode_; }
    void setLineMode(bool on); // on: threshold mode off, RxTimeout 0
    bool rxThresholdUse() const { return thresholdUse_; }
    void setRxThresholdUse(bool on); // on: line mode off, RxTimeout 0
    int rxThresholdAmount() const { return thresholdAmount_; }
    void setRxThresholdAmount(int bytes); // below 1: a block is whatever has arrived
    int rxTimeout() const { return rxTimeout_; }
    bool setRxTimeout(
        int ms); // negative: refused, "Value can not be negatieve"; 1 or more: line and threshold off

    // Queue sizes. RxBuffer bounds what the device layer reads ahead and sets XonLim and XoffLim; TxBuffer is
    // the largest chunk handed to the device at once.
    quint32 rxBuffer() const { return rxBuffer_; }
    void setRxBuffer(quint32 bytes);
    quint32 xonLim() const { return xonLim_; }
    quint32 xoffLim() const { return xoffLim_; }
    quint32 txBuffer() const { return txBuffer_; }
    void setTxBuffer(quint32 bytes);

    QString version() const { return QStringLiteral("1.16"); }
    void setVersion(const QString&) {} // read-only: an assignment changes nothing

    bool isActive() const { return serial_.isOpen(); }
    bool setActive(bool active); // assigning the current state does nothing
    bool open();                 // false with "Cannot open port '<device>'"
    void close();                // first offers any bytes still counted in rxCount() to onDataAvailable

    qint64 rxCount() const { return rxCount_; }
    qint64 read(char* buffer, qint64 count);      // at most rxCount() bytes
    QByteArray readString();                      // exactly rxCount() bytes
    qint64 write(const char* data, qint64 count); // count, 0 for nothing, -1 when closed ("Port not open")
    bool writeString(const QByteArray& bytes);    // false when closed
    void purgeRx(); // drops what the device has received but not yet handed over

    // Bytes received but not yet offered through rxCount(), including those still inside the device layer.
    qint64 pendingBytes() const;
    // Bytes dropped because no line end (or block) came within the receive bound.
    qint64 droppedBytes() const { return dropped_; }
    QString lastError() const { return lastError_; }
    const OpenFailure& openFailure() const { return openFailure_; }

    // Events. Assign or clear them at any time, also from inside a handler. A handler that throws hands the
    // exception to onBGException (if assigned); either way it goes no further.
    std::function<void()> onDataAvailable; // unassigned: received bytes are discarded
    std::function<void()> onDataSent;
    std::function<void(qint64 count)> onSendProgress;
    std::function<void(bool on)> onCtsChanged;
    std::function<void(bool on)> onDsrChanged;
    // The QSerialPort::SerialPortError code. ReadError, WriteError and ResourceError come after the port has
    // closed; other errors only with PortOption::EventError.
    std::function<void(quint32 error)> onError;
    std::function<void(const std::exception& error)> onBGException;

  private:
    enum class Mode { Line, Threshold, Timeout, Raw };
    Mode mode() const;

    void applyLineSettings();
    void applyFlowControl();
    void closePort(bool offerPending);
    void noteOpenFailure();
    void resetReceive();
    void resetTransmit();

    void received();
    void takeIncoming();
    void boundReceiveBuffer();
    void pump();
    bool offerNext();
    bool callDataAvailable();
    void postDataAvailable();
    void timeoutExpired();
    void modeChanged();

    void transmitEmpty();
    void startChunk(const QByteArray& chunk);

    void deviceError(QSerialPort::SerialPortError error);
    void pollModemLines();

    template <typename Fn> void guarded(Fn&& fn);

    QSerialPort serial_;
    QTimer timeoutTimer_;
    QTimer modemTimer_;

    int baudrate_ = 9600;
    int byteSize_ = 8;
    Parity parity_ = Parity::None;
    StopBits stopBits_ = StopBits::One;
    FlowCtrl flowCtrl_;
    int port_ = 0;
    QString portName_;
    PortOptions portOptions_;
    QByteArray lineEnd_ = QByteArrayLiteral("\r\n");
    bool lineMode_ = false;
    bool thresholdUse_ = false;
    int thresholdAmount_ = 0;
    int rxTimeout_ = 0;
    quint32 rxBuffer_ = 8192;
    // A fresh port carries these two as they are; only setRxBuffer() derives them from the queue size.
    quint32 xonLim_ = 6144;
    quint32 xoffLim_ = 4096;
    quint32 txBuffer_ = 8192;
    QString lastError_;
    OpenFailure openFailure_;

    // Receive side: rx_[readPos_ ..] is unread; rxCount_ bytes of it are offered; in line mode the search for
    // the next line end resumes at searchFrom_.
    QByteArray rx_;
    qsizetype readPos_ = 0;
    qsizetype searchFrom_ = 0;
    qint64 rxCount_ = 0;
    qint64 dropped_ = 0;
    bool overflowWarned_ = false;
    bool delivering_ = false;
    bool timeoutMissed_ = false;
    quint64 generation_ = 0; // changes on every open and close, so a handler's caller sees the port went away

    // Transmit side: a chunk is with the device while writing_; the rest waits in txQueue_ from txPos_.
    QByteArray txQueue_;
    qsizetype txPos_ = 0;
    qint64 lastChunk_ = 0;
    bool writing_ = false;

    bool quiet_ =
        false; // errors of our own setting and status calls (pseudo-terminals refuse some) are not news
    bool cts_ = false;
    bool dsr_ = false;
};

// The settings the analyser needs: 9600 baud, 8 data bits, no parity, one stop bit, no flow control (DTR and
// RTS off), CR LF lines, 1000-byte queues, COM1.
void configureForAnalyser(CiaComPort& port);

} // namespace lorimet
