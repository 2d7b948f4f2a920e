#pragma once

#include "sim/AnalyserModel.h"
#include "sim/SimCommand.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSerialPort;
class QSocketNotifier;

namespace lorimet {

// Runs an AnalyserModel on a serial device in real time: a line every period, command bytes read back
// and fed to the model, resends sent at once. The device is either a real serial port or a
// pseudo-terminal that this object creates; the program under test opens its other end.
// Everything it receives and everything the model notices is logged on standard error.
// A flood (pseudo-terminal only) replaces the lines by noise written as fast as the other end takes it,
// ended by one CR LF; the lines resume after it.
class SimDriver : public QObject {
  public:
    explicit SimDriver(AnalyserModel& model, QObject* parent = nullptr);
    ~SimDriver() override;

    // A fresh pseudo-terminal in raw mode; devicePath() is then the path of its slave end.
    bool openPty(QString* error);
    // A serial port by its full path, 9600 8N1 without flow control.
    bool openPort(const QString& path, QString* error);
    QString devicePath() const { return devicePath_; }

    // Starts the clock and the lines; time 0 of the model and of scripts is this moment.
    void start();
    qint64 nowMs() const { return clock_.elapsed(); }

    // An operator command at the present moment (not Quit: the owner of the event loop handles that).
    void execute(const SimCommand& command);

    // The device failed for good (a serial port unplugged); the simulator has nothing left to do.
    std::function<void(const QString& reason)> onFailure;

  private:
    void sendLine();
    void writeBytes(const QByteArray& bytes);
    void writeToPty(const QByteArray& bytes);
    void drainPty();
    void drainPtyQueue();
    void refillFlood();
    void startFlood(qint64 durationMs);
    bool flooding() const { return floodUntilMs_ >= 0; }
    void readPty();
    void readPort();
    void handleReceived(const QByteArray& bytes);
    void sendOwedResends();
    void followPeriod();
    void flushModelLog();
    void log(const QString& text) const;

    AnalyserModel& model_;
    QElapsedTimer clock_;
    QTimer lineTimer_;
    QTimer resendTimer_;
    QString devicePath_;

    int ptyMaster_ = -1;
    // Our own handle on the slave end: without it the master reports a hang-up each time the program
    // closes the port, and lines written before anyone opened it would have no queue to wait in.
    int ptySlave_ = -1;
    std::unique_ptr<QSocketNotifier> ptyNotifier_;
    // Bytes the pseudo-terminal has not taken yet: a long line or a flood is more than its buffer holds.
    QByteArray ptyQueue_;
    std::unique_ptr<QSocketNotifier> ptyWriteNotifier_;
    qint64 floodUntilMs_ = -1;
    qint64 floodedBytes_ = 0;
    QSerialPort* port_ = nullptr;
    bool droppingUnread_ = false;
    int unreadAfterWrite_ = 0;
};

} // namespace lorimet
