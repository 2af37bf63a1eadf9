// Writing data packets: ASCII only, made piece by piece so that a save never
// holds a large table's whole file.
#include "data/datapacket.h"

#include "data/eightbit.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string>

namespace corvatek::data {
namespace {

// Far beyond the suite's own names and the 12 fields of its widest table.
constexpr qsizetype kLongestFieldName = 64;

// Builds a file in one buffer through a raw cursor, room for the worst case
// made once per piece: a large table's save is a million short values, so
// what each one costs beside its bytes decides the save's speed.
class PacketWriter {
public:
    // Writes into `bytes`, which keeps its room from piece to piece.
    explicit PacketWriter(std::string& bytes) : bytes_(bytes)
    {
        bytes_.resize(bytes_.capacity());
        cursor_ = bytes_.data();
    }
    std::size_t size() const { return std::size_t(cursor_ - bytes_.data()); }

    void append(std::string_view text)
    {
        makeRoom(text.size());
        cursor_ = std::copy(text.begin(), text.end(), cursor_);
    }
    // ` name="value"`: printable ASCII but the four markup characters as it
    // is, every other character as a numeric reference.
    void appendAttribute(std::string_view opening, std::string_view utf8)
    {
        // A byte becomes at most six ("&quot;", "&#65535;" for three bytes).
        makeRoom(opening.size() + utf8.size() * 6 + 1);
        char* out = std::copy(opening.begin(), opening.end(), cursor_);
        const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
        const auto* end = in + utf8.size();
        while (in < end) {
            const unsigned char c = *in;
            if (kPlain[c]) {
                *out++ = char(c);
                ++in;
                continue;
            }
            if (const std::string_view entity = entityOf(c); !entity.empty()) {
                out = std::copy(entity.begin(), entity.end(), out);
                ++in;
                continue;
            }
            // The table holds valid UTF-8 only; a stray byte would stand for itself.
            char32_t cp = c;
            const std::size_t length = utf8Length(std::string_view(reinterpret_cast<const char*>(in), end - in), &cp);
            in += std::max<std::size_t>(length, 1);
            out = std::copy_n("&#", 2, out);
            out = std::to_chars(out, out + 10, std::uint32_t(cp)).ptr;
            *out++ = ';';
        }
        *out++ = '"';
        cursor_ = out;
    }
    std::string_view finish() { return std::string_view(bytes_.data(), size()); }

private:
    static constexpr std::array<bool, 256> kPlain = [] {
        std::array<bool, 256> plain {};
        for (int c = 0x20; c < 0x7F; ++c)
            plain[std::size_t(c)] = c != '&' && c != '<' && c != '>' && c != '"';
        return plain;
    }();

    static std::string_view entityOf(unsigned char c)
    {
        switch (c) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        default: return {};
        }
    }
    void makeRoom(std::size_t more)
    {
        const std::size_t used = size();
        if (used + more <= bytes_.size())
            return;
        bytes_.resize(std::max(bytes_.size() * 2, used + more));
        cursor_ = bytes_.data() + used;
    }

    std::string& bytes_;
    char* cursor_ = nullptr;
};

} // namespace

bool isWritableFieldName(QStringView name)
{
    if (name.isEmpty() || name.size() > kLongestFieldName)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool more = (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
        if (!letter && (i == 0 || !more))
            return false;
    }
    return true;
}

std::optional<QByteArray> writeDataPacket(const Table& table)
{
    auto pieces = DataPacketPieces::of(table);
    if (!pieces)
        return std::nullopt;
    QByteArray out;
    for (std::string_view piece = pieces->next(); !piece.empty(); piece = pieces->next())
        out.append(piece.data(), qsizetype(piece.size()));
    return out;
}

std::optional<DataPacketPieces> DataPacketPieces::of(const Table& table)
{
    QSet<QString> seen;
    DataPacketPieces pieces(table);
    for (const FieldDef& field : table.fields()) {
        if (!isWritableFieldName(field.name) || seen.contains(field.name.toLower()))
            return std::nullopt;
        seen.insert(field.name.toLower());
        pieces.openings_.push_back(' ' + field.name.toStdString() + "=\"");
    }
    return pieces;
}

std::string_view DataPacketPieces::next()
{
    constexpr std::size_t kPieceSize = 1 << 20;
    if (done_)
        return {};
    if (buffer_.capacity() < kPieceSize + 4096)
        buffer_.reserve(kPieceSize + 4096);
    PacketWriter out(buffer_);
    if (row_ < 0) {
        out.append("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
        for (const FieldDef& field : table_->fields()) {
            out.append("<FIELD attrname=\"");
            out.append(field.name.toStdString());
            out.append("\" fieldtype=\"string\"");
            if (field.width >= 0) {
                out.append(" WIDTH=\"");
                out.append(std::to_string(field.width));
                out.append("\"");
            }
            out.append("/>");
        }
        out.append("</FIELDS><PARAMS/></METADATA><ROWDATA>");
        row_ = 0;
    }
    for (; row_ < table_->rowCount() && out.size() < kPieceSize; ++row_) {
        out.append("\r\n<ROW");
        table_->forEachRawValue(row_, [&](const Table::RawValue& value) {
            if (!value.utf8.empty())
                out.appendAttribute(openings_[std::size_t(value.field)], value.utf8);
        });
        out.append("/>");
    }
    if (row_ == table_->rowCount()) {
        out.append("\r\n</ROWDATA></DATAPACKET>\r\n");
        done_ = true;
    }
    return out.finish();
}

} // namespace corvatek::data
