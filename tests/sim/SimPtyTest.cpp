// lorimet-sim on a pseudo-terminal, read and written with plain POSIX calls as any program would.
#include <QDeadlineTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

class PtyReader {
  public:
    explicit PtyReader(const QByteArray& path)
        : fd_(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~PtyReader() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    // Reads whatever arrives until the deadline or until `lines` complete lines are waiting.
    void readUntil(QDeadlineTimer deadline, int lines = INT_MAX) {
        while (buffer_.count("\r\n") < lines && !deadline.hasExpired()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100))) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0)
                buffer_.append(chunk, n);
        }
    }
    std::optional<QByteArray> takeLine() {
        const qsizetype end = buffer_.indexOf("\r\n");
        if (end < 0)
            return std::nullopt;
        const QByteArray line = buffer_.left(end + 2);
        buffer_.remove(0, end + 2);
        return line;
    }
    // Forgets what has arrived so far, read or not.
    void discard() {
        char chunk[256];
        while (::read(fd_, chunk, sizeof chunk) > 0) {
        }
        buffer_.clear();
    }
    qsizetype completeLines() const { return buffer_.count("\r\n"); }
    void write(const QByteArray& bytes) {
        ASSERT_EQ(::write(fd_, bytes.constData(), bytes.size()), bytes.size());
    }

  private:
    int fd_;
    QByteArray buffer_;
};

bool waitForStderr(QProcess& process, QByteArray& seen, const QByteArray& text, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!seen.contains(text) && !deadline.hasExpired()) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
    }
    return seen.contains(text);
}

} // namespace

TEST(SimOnPty, SendsLinesAndResendsOnRequest) {
    QProcess sim;
    sim.start(QStringLiteral(LORIMET_SIM_PATH), {"--pty", "--period", "0.1", "--seed", "3"});
    ASSERT_TRUE(sim.waitForStarted(10'000));
    QDeadlineTimer pathDeadline(10'000);
    while (!sim.canReadLine() && !pathDeadline.hasExpired())
        sim.waitForReadyRead(100);
    const QByteArray path = sim.readLine().trimmed();
    ASSERT_TRUE(path.startsWith("/dev/")) << path.constData();
    PtyReader pty(path);
    ASSERT_TRUE(pty.isOpen());

    pty.readUntil(QDeadlineTimer(10'000), 2);
    for (int i = 0; i < 2; ++i) {
        const auto line = pty.takeLine();
        ASSERT_TRUE(line);
        EXPECT_TRUE(line->contains("%\xED\xE0\xF1")) << line->constData();
    }

    // Ten lines a second. Only a grossly wrong period fails this.
    pty.discard();
    pty.readUntil(QDeadlineTimer(1'000));
    EXPECT_GE(pty.completeLines(), 3);
    EXPECT_LE(pty.completeLines(), 20);

    // A slow period so that the resend cannot be mistaken for the next regular line.
    sim.setReadChannel(QProcess::StandardError);
    QByteArray log;
    sim.write("period 2\n");
    ASSERT_TRUE(waitForStderr(sim, log, "period 2000 ms", 10'000));
    pty.discard();
    pty.readUntil(QDeadlineTimer(10'000), 1);
    const auto last = pty.takeLine();
    ASSERT_TRUE(last);
    pty.write(QByteArray(1, '\xA1'));
    pty.readUntil(QDeadlineTimer(1'500), 1);
    const auto again = pty.takeLine();
    ASSERT_TRUE(again) << "no resend; the simulator said:\n"
                       << (log + sim.readAllStandardError()).constData();
    EXPECT_EQ(*again, *last);
    EXPECT_TRUE(waitForStderr(sim, log, "received A1", 5'000));
    EXPECT_TRUE(waitForStderr(sim, log, "resend of the last line", 5'000));

    sim.write("quit\n");
    ASSERT_TRUE(sim.waitForFinished(10'000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(SimOnPty, FloodIsNoiseEndedByOneLineEndThenTheLinesResume) {
    QProcess sim;
    sim.start(QStringLiteral(LORIMET_SIM_PATH), {"--pty", "--period", "0.1"});
    ASSERT_TRUE(sim.waitForStarted(10'000));
    QDeadlineTimer pathDeadline(10'000);
    while (!sim.canReadLine() && !pathDeadline.hasExpired())
        sim.waitForReadyRead(100);
    const QByteArray path = sim.readLine().trimmed();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);

    sim.setReadChannel(QProcess::StandardError);
    QByteArray log;
    sim.write("flood 0.3\n");
    ASSERT_TRUE(sim.waitForBytesWritten(5'000));
    // Lines as they come, read in big gulps: a flood is megabytes.
    QList<QByteArray> lines;
    QByteArray current;
    auto floodLine = [&] {
        return std::find_if(lines.begin(), lines.end(), [](const QByteArray& l) { return l.size() > 1000; });
    };
    QDeadlineTimer deadline(20'000);
    while (!deadline.hasExpired() && (floodLine() == lines.end() || lines.end() - floodLine() < 3)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        static char chunk[64 * 1024];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        for (ssize_t i = 0; i < n; ++i) {
            current.append(chunk[i]);
            if (chunk[i] == '\n' && current.endsWith("\r\n"))
                lines.append(std::exchange(current, {}));
        }
    }
    ::close(fd);
    const auto flood = floodLine();
    ASSERT_NE(flood, lines.end()) << (log + sim.readAllStandardError()).constData();
    ASSERT_GE(lines.end() - flood, 3);
    EXPECT_GT(flood->size(), 64 * 1024) << "a flood outruns any line buffer";
    // The flood may start behind the tail of a line still queued for the pty (a line is under 64 bytes).
    EXPECT_TRUE(std::all_of(flood->begin() + 64, flood->end() - 2, [](char c) {
        return c == '\0' || static_cast<unsigned char>(c) >= 0x80;
    })) << flood->left(128).toHex().constData();
    for (auto line = flood + 1; line != lines.end(); ++line)
        EXPECT_TRUE(line->contains("%\xED\xE0\xF1")) << line->left(80).toHex().constData();
    EXPECT_TRUE(waitForStderr(sim, log, "flood over", 5'000));

    sim.write("quit\n");
    ASSERT_TRUE(sim.waitForFinished(10'000));
}
