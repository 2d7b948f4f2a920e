// The port component against a real pseudo-terminal: the test holds the master side, the port opens the
// slave.
#include "serial/CiaComPort.h"
#include "text/LineSplitter.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <vector>

using namespace lorimet;

namespace {

// Runs the event loop until done() holds or five seconds have passed; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

class PtyPair {
  public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        slavePath_ = QString::fromLocal8Bit(ptsname(master_));
        termios raw{};
        tcgetattr(master_, &raw);
        cfmakeraw(&raw);
        tcsetattr(master_, TCSANOW, &raw);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && !slavePath_.isEmpty(); }
    QString slavePath() const { return slavePath_; }

    // Everything goes out, however long it is; the event loop runs while the pseudo-terminal is full.
    bool send(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN)
                return false;
            if (!waitFor([this] {
                    pollfd p{master_, POLLOUT, 0};
                    return ::poll(&p, 1, 0) > 0;
                }))
                return false;
        }
        return true;
    }

    // What the port has sent so far, collected on every call.
    const QByteArray& received() {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(master_, chunk, sizeof chunk)) > 0)
            received_.append(chunk, n);
        return received_;
    }

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    QString slavePath_;
    QByteArray received_;
};

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        configureForAnalyser(port);
        port.setPortName(pty.slavePath());
        port.onDataAvailable = [this] {
            rxCounts.push_back(port.rxCount());
            deliveries.push_back(port.readString());
        };
    }
    void openPort() { ASSERT_TRUE(port.open()) << port.lastError().toStdString(); }

    PtyPair pty;
    CiaComPort port;
    std::vector<qint64> rxCounts;
    std::vector<QByteArray> deliveries;
};

TEST_F(SerialPortTest, LineArrivingInTwoPiecesIsOneEventWithItsLineEnd) {
    openPort();
    const QByteArray line = QByteArray(40, 'a') + "\r\n";
    ASSERT_TRUE(pty.send(line.left(20)));
    ASSERT_TRUE(waitFor([&] { return port.pendingBytes() == 20; }));
    EXPECT_TRUE(deliveries.empty());

    ASSERT_TRUE(pty.send(line.mid(20)));
    ASSERT_TRUE(waitFor([&] { return !deliveries.empty(); }));
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].size(), 42);
    EXPECT_EQ(deliveries[0], line);
    EXPECT_EQ(port.pendingBytes(), 0);
}

TEST_F(SerialPortTest, TwoLinesInOneWriteAreTwoEvents) {
    openPort();
    ASSERT_TRUE(pty.send("  20.9 %nas 20.5\r\nsecond\r\ntail"));
    ASSERT_TRUE(waitFor([&] { return deliveries.size() == 2 && port.pendingBytes() == 4; }));
    EXPECT_EQ(deliveries[0], QByteArray("  20.9 %nas 20.5\r\n"));
    EXPECT_EQ(deliveries[1], QByteArray("second\r\n"));
    EXPECT_EQ(rxCounts, (std::vector<qint64>{deliveries[0].size(), 8}));
}

TEST_F(SerialPortTest, CarriageReturnAloneEndsNoLine) {
    openPort();
    ASSERT_TRUE(pty.send("abc\r"));
    ASSERT_TRUE(waitFor([&] { return port.pendingBytes() == 4; }));
    ASSERT_TRUE(pty.send("def\r"));
    ASSERT_TRUE(waitFor([&] { return port.pendingBytes() == 8; }));
    EXPECT_TRUE(deliveries.empty());
    ASSERT_TRUE(pty.send("\n"));
    ASSERT_TRUE(waitFor([&] { return !deliveries.empty(); }));
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"abc\rdef\r\n"}));
}

TEST_F(SerialPortTest, ModeSwitchesClearEachOther) {
    port.setRxThresholdUse(true);
    EXPECT_FALSE(port.lineMode());
    EXPECT_TRUE(port.rxThresholdUse());

    ASSERT_TRUE(port.setRxTimeout(50));
    EXPECT_FALSE(port.lineMode());
    EXPECT_FALSE(port.rxThresholdUse());
    EXPECT_EQ(port.rxTimeout(), 50);

    port.setLineMode(true);
    EXPECT_TRUE(port.lineMode());
    EXPECT_EQ(port.rxTimeout(), 0);

    port.setRxTimeout(50);
    port.setRxThresholdUse(true);
    EXPECT_EQ(port.rxTimeout(), 0);
    EXPECT_FALSE(port.lineMode());

    port.setLineMode(true);
    EXPECT_FALSE(port.rxThresholdUse());

    EXPECT_FALSE(port.setRxTimeout(-1));
    EXPECT_EQ(port.lastError(), QStringLiteral("Value can not be negatieve"));
    EXPECT_EQ(port.rxTimeout(), 0);
    EXPECT_TRUE(port.lineMode());
}

TEST_F(SerialPortTest, ThresholdModeDeliversWholeBlocks) {
    port.setRxThresholdAmount(10);
    port.setRxThresholdUse(true);
    openPort();
    ASSERT_TRUE(pty.send("0123456789abcdefghij\r\nxyz"));
    ASSERT_TRUE(waitFor([&] { return deliveries.size() == 2 && port.pendingBytes() == 5; }));
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"0123456789", "abcdefghij"}));
}

TEST_F(SerialPortTest, TimeoutModeDeliversWhatArrivedOnceTheLineIsSilent) {
    ASSERT_TRUE(port.setRxTimeout(30));
    openPort();
    ASSERT_TRUE(pty.send("no line end"));
    ASSERT_TRUE(waitFor([&] { return !deliveries.empty(); }));
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"no line end"}));
}

TEST_F(SerialPortTest, WriteGoesOutInTxBufferChunks) {
    openPort();
    QStringList events;
    port.onSendProgress = [&](qint64 count) { events << QStringLiteral("progress %1").arg(count); };
    port.onDataSent = [&] { events << QStringLiteral("sent %1").arg(pty.received().size()); };

    QByteArray data(2500, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);
    EXPECT_EQ(port.write(data.constData(), data.size()), 2500);
    ASSERT_TRUE(waitFor([&] { return events.size() == 4; }));
    EXPECT_EQ(events, (QStringList{"progress 1000", "progress 1000", "progress 500", "sent 2500"}));
    EXPECT_EQ(pty.received(), data);

    // The queue is empty again: the next write starts at once.
    EXPECT_TRUE(port.writeString(QByteArray(1, '\xA1')));
    ASSERT_TRUE(waitFor([&] { return events.size() == 6; }));
    EXPECT_EQ(events.mid(4), (QStringList{"progress 1", "sent 2501"}));
}

// The program ends right after its last command (the end of an operation): a port that goes away still
// hands what it was given to the device.
TEST(SerialPortClosing, APortGoingAwayStillSendsItsLastBytes) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    {
        CiaComPort port;
        configureForAnalyser(port);
        port.setPortName(pty.slavePath());
        ASSERT_TRUE(port.open()) << port.lastError().toStdString();
        QByteArray long_(2500, 'x'); // more than one transmit chunk: part of it still in the port's queue
        long_.append('\xA4');
        ASSERT_EQ(port.write(long_.constData(), long_.size()), long_.size());
    } // no event loop ran: nothing has gone out yet
    ASSERT_TRUE(waitFor([&] { return pty.received().size() == 2501; }));
    EXPECT_EQ(pty.received().back(), '\xA4');
}

TEST(SerialPortErrors, OpeningAMissingDeviceGivesItsName) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyMissing"));
    CiaComPort port;
    port.setPortName(missing);
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isActive());
    EXPECT_EQ(port.lastError(), QStringLiteral("Cannot open port '") + missing + QStringLiteral("'"));
}

TEST(SerialPortErrors, WritingWhileClosedIsRefused) {
    CiaComPort port;
    EXPECT_EQ(port.write("x", 1), -1);
    EXPECT_EQ(port.lastError(), QStringLiteral("Port not open"));
    EXPECT_FALSE(port.writeString("x"));
}

TEST(SerialPortNames, NumbersAndNamesMapToDevices) {
    struct Case {
        QString given;
        QString device;
        int number;
    };
#ifdef Q_OS_WIN
    const Case cases[] = {
        {"COM7", "\\\\.\\COM7", 7}, {"COM12", "\\\\.\\COM12", 12}, {"/dev/pts/5", "/dev/pts/5", 0}};
#else
    const Case cases[] = {{"COM7", "/dev/ttyS6", 7},
                          {"COM1", "/dev/ttyS0", 1},
                          {"/dev/pts/5", "/dev/pts/5", 0},
                          {"ttyUSB0", "ttyUSB0", 0},
                          {"COMX", "COMX", 0}};
#endif
    for (const Case& c : cases) {
        CiaComPort port;
        port.setPortName(c.given);
        EXPECT_EQ(port.portName(), c.device) << c.given.toStdString();
        EXPECT_EQ(port.port(), c.number) << c.given.toStdString();
    }
    CiaComPort port;
    port.setPort(3);
    EXPECT_EQ(port.portName(), CiaComPort::deviceNameForNumber(3));
}

TEST_F(SerialPortTest, VanishedDeviceClosesThePortAfterOneError) {
    openPort();
    int errors = 0;
    bool activeInHandler = true;
    port.onError = [&](quint32) {
        ++errors;
        activeInHandler = port.isActive();
    };
    pty.closeMaster();
    ASSERT_TRUE(waitFor([&] { return !port.isActive(); }));
    EXPECT_GE(errors, 1);
    EXPECT_LE(errors, 3);
    EXPECT_FALSE(activeInHandler);
    EXPECT_EQ(port.write("x", 1), -1);
}

TEST_F(SerialPortTest, HandlerWithNestedEventLoopSeesOneLineAtATime) {
    openPort();
    int depth = 0;
    int deepest = 0;
    port.onDataAvailable = [&] {
        deepest = qMax(deepest, ++depth);
        rxCounts.push_back(port.rxCount());
        deliveries.push_back(port.readString());
        if (deliveries.size() == 1) {
            // A modal dialog, as it were: more lines arrive while it is open.
            const QByteArray more = "line 2\r\nline 3\r\n";
            pty.send(more);
            waitFor([&] { return port.pendingBytes() == more.size(); });
        }
        --depth;
    };
    ASSERT_TRUE(pty.send("line 1\r\n"));
    ASSERT_TRUE(waitFor([&] { return deliveries.size() == 3; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"line 1\r\n", "line 2\r\n", "line 3\r\n"}));
    EXPECT_EQ(rxCounts, (std::vector<qint64>{8, 8, 8}));
}

TEST_F(SerialPortTest, LeavingLineModeHandsOverThePartialLineWithoutReentry) {
    openPort();
    int depth = 0;
    int deepest = 0;
    port.onDataAvailable = [&] {
        deepest = qMax(deepest, ++depth);
        deliveries.push_back(port.readString());
        if (deliveries.size() == 1) {
            // Called from a posted event, not from the device's own notification: new bytes are announced
            // while this runs, and must wait.
            const QByteArray more = "line 2\r\n";
            pty.send(more);
            waitFor([&] { return port.pendingBytes() == more.size(); });
        }
        --depth;
    };
    ASSERT_TRUE(pty.send("abc"));
    ASSERT_TRUE(waitFor([&] { return port.pendingBytes() == 3; }));
    port.setLineMode(false);
    EXPECT_EQ(port.rxCount(), 3);
    ASSERT_TRUE(waitFor([&] { return deliveries.size() == 2; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"abc", "line 2\r\n"}));
}

TEST_F(SerialPortTest, HandlerMayCloseThePort) {
    openPort();
    port.onDataAvailable = [&] {
        deliveries.push_back(port.readString());
        port.close();
    };
    ASSERT_TRUE(pty.send("first\r\nsecond\r\n"));
    ASSERT_TRUE(waitFor([&] { return !port.isActive(); }));
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"first\r\n"}));
    EXPECT_EQ(port.rxCount(), 0);
    // The same object opens again, with nothing left over.
    openPort();
    EXPECT_EQ(port.pendingBytes(), 0);
}

TEST_F(SerialPortTest, EndlessInputWithoutLineEndIsBounded) {
    openPort();
    const QByteArray noise(LineSplitter::kMaxPending + 5000, 'x');
    ASSERT_TRUE(pty.send(noise));
    ASSERT_TRUE(
        waitFor([&] { return port.droppedBytes() > 0 && port.pendingBytes() == LineSplitter::kMaxPending; }));
    ASSERT_TRUE(pty.send("\r\n"));
    ASSERT_TRUE(waitFor([&] { return !deliveries.empty(); }));
    EXPECT_EQ(deliveries[0].size() + port.droppedBytes(), noise.size() + 2);
    EXPECT_TRUE(deliveries[0].endsWith("x\r\n"));
}

TEST_F(SerialPortTest, ThrowingHandlerLosesItsLineOnly) {
    openPort();
    QStringList reported;
    port.onBGException = [&](const std::exception& e) { reported << QString::fromUtf8(e.what()); };
    port.onDataAvailable = [&] {
        const QByteArray line = port.readString();
        if (line.startsWith("bad"))
            throw std::runtime_error("refused");
        deliveries.push_back(line);
    };
    ASSERT_TRUE(pty.send("bad\r\ngood\r\n"));
    ASSERT_TRUE(waitFor([&] { return !deliveries.empty(); }));
    EXPECT_EQ(deliveries, (std::vector<QByteArray>{"good\r\n"}));
    EXPECT_EQ(reported, QStringList{"refused"});
}

TEST(FlowCtrlFlags, EachSettingOwnsItsBits) {
    FlowCtrl flow;
    EXPECT_EQ(flow.flags(), 0x1011u);
    flow.setRxDtrControl(DtrControl::Disable);
    flow.setRxRtsControl(RtsControl::Disable);
    EXPECT_EQ(flow.flags(), 0x0001u);

    struct Case {
        std::function<void(FlowCtrl&)> set;
        quint32 flags;
    };
    const Case cases[] = {
        {[](FlowCtrl& f) { f.setRxDsrSensivity(true); }, 0x0041},
        {[](FlowCtrl& f) { f.setRxDtrControl(DtrControl::Handshake); }, 0x0021},
        {[](FlowCtrl& f) { f.setRxRtsControl(RtsControl::Handshake); }, 0x2001},
        {[](FlowCtrl& f) { f.setRxRtsControl(RtsControl::Toggle); }, 0x3001},
        {[](FlowCtrl& f) { f.setTxContinueXoff(true); }, 0x0081},
        {[](FlowCtrl& f) { f.setTxCtsFlow(true); }, 0x0005},
        {[](FlowCtrl& f) { f.setTxDsrFlow(true); }, 0x0009},
        {[](FlowCtrl& f) { f.setXonXoff(true); }, 0x0301},
    };
    for (const Case& c : cases) {
        FlowCtrl f = flow;
        c.set(f);
        EXPECT_EQ(f.flags(), c.flags);
    }
    // Switching a two-bit setting back clears both of its bits and nothing else.
    FlowCtrl f = flow;
    f.setXonXoff(true);
    f.setRxRtsControl(RtsControl::Toggle);
    f.setRxRtsControl(RtsControl::Enable);
    EXPECT_EQ(f.flags(), 0x1301u);
    EXPECT_EQ(f.rxRtsControl(), RtsControl::Enable);
}

TEST(SerialPortSettings, ReceiveQueueSetsTheFlowLimits) {
    CiaComPort port;
    // A fresh port carries its own limits; only a size given later derives them.
    EXPECT_EQ(port.xonLim(), 6144u);
    EXPECT_EQ(port.xoffLim(), 4096u);
    port.setRxBuffer(1000);
    EXPECT_EQ(port.xonLim(), 500u);
    EXPECT_EQ(port.xoffLim(), 750u);
    port.setVersion(QStringLiteral("2.0"));
    EXPECT_EQ(port.version(), QStringLiteral("1.16"));
}

} // namespace
