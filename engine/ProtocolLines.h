#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <iterator>
#include <vector>

namespace lorimet {

// The lines listed in the `Protocol` drop-down, kept as the analyser sent them (Windows-1251) and packed end
// to end in large blocks: a line costs its own bytes and eight more, not a string object of its own, so a
// whole day at the analyser's fastest rate stays small. A line comes back decoded on request; the list shows
// only the few lines on the screen.
class ProtocolLines {
  public:
    void append(const char* data, qsizetype size);
    void append(const QString& line);
    void assign(const QStringList& lines);
    void clear();
    int size() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    QString at(int index) const;
    QStringList toList() const;

    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QString;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = QString;
        const_iterator(const ProtocolLines* lines, int index) : lines_(lines), index_(index) {}
        QString operator*() const { return lines_->at(index_); }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }
        bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

      private:
        const ProtocolLines* lines_;
        int index_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

  private:
    static constexpr qsizetype kBlockSize = qsizetype(1) << 20;
    // Block index (24 bits), offset in the block (20 bits), length (20 bits).
    static constexpr int kOffsetBits = 20;
    static constexpr int kLengthBits = 20;
    std::vector<QByteArray> blocks_;
    std::vector<quint64> entries_;
};

} // namespace lorimet
