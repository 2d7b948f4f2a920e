#include "text/LineSplitter.h"

namespace lorimet {

void LineSplitter::feed(const QByteArray& bytes, const std::function<void(const QByteArray&)>& deliver) {
    pending_.append(bytes);
    qsizetype start = 0;
    const quint64 generation = generation_;
    for (;;) {
        const qsizetype end = pending_.indexOf("\r\n", start);
        if (end < 0)
            break;
        deliver(pending_.mid(start, end + 2 - start));
        if (generation_ != generation)
            return; // the receiver closed the link while handling the line: the rest is gone with it
        start = end + 2;
    }
    pending_.remove(0, start);
    if (pending_.size() > kMaxPending) {
        const qsizetype excess = pending_.size() - kMaxPending;
        pending_.remove(0, excess);
        dropped_ += excess;
    }
}

} // namespace lorimet
