// The lines of a list file as it was read: its bytes once, and where each
// line lies in them, so that a list of millions of lines costs little more
// than its file. Lines end with CR LF, LF or CR; each is decoded when asked
// for, in the encoding the whole file has (see textcodec.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace corvatek::data {

class TextLines {
public:
    TextLines() = default;
    // The bytes of a file of at most 4 GiB.
    explicit TextLines(QByteArray bytes);

    qsizetype size() const { return qsizetype(bounds_.size() / 2); }
    bool isEmpty() const { return bounds_.empty(); }
    QString at(qsizetype line) const;
    QString first() const { return at(0); }
    QString last() const { return at(size() - 1); }
    QStringList toList() const;
    // The lines joined by LF, as a text box shows them.
    QString joined() const;

private:
    QByteArray bytes_;
    std::vector<std::uint32_t> bounds_; // start and end of each line
    bool utf8_ = true;
};

} // namespace corvatek::data
