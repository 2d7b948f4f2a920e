#include "engine/ProtocolLines.h"

#include "text/Cp1251.h"

#include <algorithm>

namespace lorimet {

void ProtocolLines::append(const char* data, qsizetype size) {
    // Lines reach the engine through a bounded splitter; anything longer than a block is cut to one block.
    size = std::min(size, kBlockSize - 1);
    if (blocks_.empty() || blocks_.back().size() + size > kBlockSize) {
        blocks_.emplace_back();
        blocks_.back().reserve(kBlockSize);
    }
    QByteArray& block = blocks_.back();
    const quint64 offset = static_cast<quint64>(block.size());
    block.append(data, size);
    const quint64 blockIndex = blocks_.size() - 1;
    entries_.push_back(blockIndex << (kOffsetBits + kLengthBits) | offset << kLengthBits |
                       static_cast<quint64>(size));
}

void ProtocolLines::append(const QString& line) {
    const QByteArray bytes = toCp1251(line);
    append(bytes.constData(), bytes.size());
}

void ProtocolLines::assign(const QStringList& lines) {
    clear();
    for (const QString& line : lines)
        append(line);
}

void ProtocolLines::clear() {
    blocks_.clear();
    entries_.clear();
    entries_.shrink_to_fit(); // a cleared day gives its memory back
}

QString ProtocolLines::at(int index) const {
    if (index < 0 || index >= size())
        return {};
    const quint64 entry = entries_[static_cast<size_t>(index)];
    const quint64 length = entry & ((quint64(1) << kLengthBits) - 1);
    const quint64 offset = (entry >> kLengthBits) & ((quint64(1) << kOffsetBits) - 1);
    const quint64 block = entry >> (kOffsetBits + kLengthBits);
    return fromCp1251(blocks_[block].constData() + offset, static_cast<qsizetype>(length));
}

QStringList ProtocolLines::toList() const {
    QStringList out;
    out.reserve(size());
    for (int i = 0; i < size(); ++i)
        out.append(at(i));
    return out;
}

} // namespace lorimet
