#pragma once

#include <QByteArray>

#include <functional>

namespace lorimet {

// Cuts a byte stream into lines at CR LF; each line is handed on with its CR LF. A CR alone waits for its LF.
// The bytes still waiting for a line end are bounded: an endless stream without CR LF (noise, a wrong baud
// rate) drops its oldest bytes instead of growing without limit.
class LineSplitter {
  public:
    static constexpr qsizetype kMaxPending = 64 * 1024;

    void feed(const QByteArray& bytes, const std::function<void(const QByteArray& line)>& deliver);
    void clear() {
        pending_.clear();
        ++generation_;
    }
    qsizetype pendingSize() const { return pending_.size(); }
    // Bytes dropped so far because no line end came; the owner reports it.
    qint64 droppedBytes() const { return dropped_; }

  private:
    QByteArray pending_;
    qint64 dropped_ = 0;
    quint64 generation_ = 0;
};

} // namespace lorimet
