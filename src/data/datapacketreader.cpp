// A small XML reader made for data packets. A general reader was slower than
// the goal set for 100,000-row tables, rejects the control characters a value
// may hold, and expands entities declared in the file.
#include "data/datapacket.h"

#include "data/textcodec.h"

#include <array>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace corvatek::data {
namespace {

class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Character classes by table: the parser looks at every byte of a file.
enum CharClass : unsigned char {
    kSpace = 1, // separates names and attributes
    kEndsName = 2, // cannot be part of a name
    kSpecialInValue = 4, // needs decoding in an attribute value
};

constexpr std::array<unsigned char, 256> kClasses = [] {
    std::array<unsigned char, 256> classes {};
    for (const char c : {' ', '\t', '\r', '\n'})
        classes[static_cast<unsigned char>(c)] |= kSpace | kEndsName | kSpecialInValue;
    for (const char c : {'=', '>', '/', '<', '"', '\''})
        classes[static_cast<unsigned char>(c)] |= kEndsName;
    classes['&'] |= kSpecialInValue;
    classes[' '] &= static_cast<unsigned char>(~kSpecialInValue);
    return classes;
}();

bool is(char c, CharClass charClass)
{
    return kClasses[static_cast<unsigned char>(c)] & charClass;
}

bool isSpace(char c)
{
    return is(c, kSpace);
}

bool isNameChar(char c)
{
    return !is(c, kEndsName);
}

class PacketParser {
public:
    explicit PacketParser(std::string_view bytes) : text_(bytes)
    {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            text_.remove_prefix(3);
        utf8_ = isValidUtf8(text_);
    }

    Table parse()
    {
        while (pos_ < text_.size()) {
            if (text_[pos_] != '<') {
                skipText();
                continue;
            }
            const auto rest = text_.substr(pos_);
            if (rest.starts_with("<?")) {
                skipPast("?>");
            } else if (rest.starts_with("<!--")) {
                skipPast("-->");
            } else if (rest.starts_with("<![CDATA[")) {
                if (open_.empty())
                    throw ParseError("text outside the table");
                skipPast("]]>");
            } else if (rest.starts_with("<!")) {
                throw ParseError("declarations are not accepted in a table file");
            } else if (rest.starts_with("</")) {
                endTag();
            } else {
                startTag();
            }
        }
        if (!sawRoot_)
            throw ParseError("no table in the file");
        if (!open_.empty())
            throw ParseError("the file ends too early");
        if (fields_.isEmpty())
            throw ParseError("a table without fields");
        // A packet without ROWDATA is a table with its fields and no rows.
        return haveTable_ ? std::move(table_) : Table(fields_);
    }

private:
    [[noreturn]] void truncated() { throw ParseError("the file ends too early"); }

    void skipText()
    {
        const auto next = text_.find('<', pos_);
        const auto end = next == std::string_view::npos ? text_.size() : next;
        if (open_.empty()) {
            for (std::size_t i = pos_; i < end; ++i) {
                if (!isSpace(text_[i]))
                    throw ParseError("text outside the table");
            }
        }
        pos_ = end;
    }

    void skipPast(std::string_view terminator)
    {
        const auto end = text_.find(terminator, pos_ + 2);
        if (end == std::string_view::npos)
            truncated();
        pos_ = end + terminator.size();
    }

    void skipSpace()
    {
        while (pos_ < text_.size() && isSpace(text_[pos_]))
            ++pos_;
    }

    std::string_view name()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && isNameChar(text_[pos_]))
            ++pos_;
        if (pos_ >= text_.size())
            truncated();
        if (pos_ == start)
            throw ParseError("malformed element");
        return text_.substr(start, pos_ - start);
    }

    void endTag()
    {
        pos_ += 2;
        const auto closing = name();
        skipSpace();
        if (pos_ >= text_.size())
            truncated();
        if (text_[pos_] != '>' || open_.empty() || open_.back() != closing)
            throw ParseError("elements do not nest");
        ++pos_;
        open_.pop_back();
    }

    // Decodes an attribute value into UTF-8: entities, character references,
    // whitespace normalised to blanks as XML requires, Windows-1252 widened.
    std::string_view attributeValue(std::string_view raw, std::string& scratch)
    {
        bool plain = true;
        for (const char c : raw) {
            if (is(c, kSpecialInValue) || (!utf8_ && (c & 0x80))) {
                plain = false;
                break;
            }
        }
        if (plain)
            return raw;
        scratch.clear();
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (c == '&') {
                const auto semicolon = raw.find(';', i);
                if (semicolon == std::string_view::npos || semicolon - i > 12)
                    throw ParseError("malformed entity");
                appendEntity(raw.substr(i + 1, semicolon - i - 1), scratch);
                i = semicolon;
            } else if (c == '\r') {
                scratch.push_back(' ');
                if (i + 1 < raw.size() && raw[i + 1] == '\n')
                    ++i;
            } else if (c == '\t' || c == '\n') {
                scratch.push_back(' ');
            } else if (!utf8_ && (c & 0x80)) {
                appendWindows1252AsUtf8(scratch, raw.substr(i, 1));
            } else {
                scratch.push_back(c);
            }
        }
        return scratch;
    }

    static void appendEntity(std::string_view entity, std::string& out)
    {
        if (entity == "amp")
            out.push_back('&');
        else if (entity == "lt")
            out.push_back('<');
        else if (entity == "gt")
            out.push_back('>');
        else if (entity == "quot")
            out.push_back('"');
        else if (entity == "apos")
            out.push_back('\'');
        else if (entity.size() > 1 && entity[0] == '#')
            appendCodePoint(out, characterReference(entity.substr(1)));
        else
            throw ParseError("unknown entity");
    }

    static char32_t characterReference(std::string_view digits)
    {
        const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
        if (hex)
            digits.remove_prefix(1);
        if (digits.empty())
            throw ParseError("malformed character reference");
        char32_t cp = 0;
        for (const char c : digits) {
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                throw ParseError("malformed character reference");
            cp = cp * (hex ? 16 : 10) + char32_t(digit);
            if (cp > 0x10FFFF)
                throw ParseError("character reference out of range");
        }
        // NUL is accepted as the writer writes it: a raw NUL byte in a value
        // is read too, and must survive a save.
        if (cp >= 0xD800 && cp <= 0xDFFF)
            throw ParseError("character reference out of range");
        return cp;
    }

    struct Attribute {
        std::string_view name;
        std::string_view raw;
    };

    // Reads the attributes of a start tag; returns whether the tag closed
    // itself ("/>").
    bool attributes(std::vector<Attribute>& out)
    {
        out.clear();
        while (true) {
            skipSpace();
            if (pos_ >= text_.size())
                truncated();
            if (text_[pos_] == '>') {
                ++pos_;
                return false;
            }
            if (text_[pos_] == '/') {
                if (pos_ + 1 >= text_.size())
                    truncated();
                if (text_[pos_ + 1] != '>')
                    throw ParseError("malformed element");
                pos_ += 2;
                return true;
            }
            const auto attributeName = name();
            skipSpace();
            if (pos_ >= text_.size())
                truncated();
            if (text_[pos_] != '=')
                throw ParseError("malformed attribute");
            ++pos_;
            skipSpace();
            if (pos_ >= text_.size())
                truncated();
            const char quote = text_[pos_];
            if (quote != '"' && quote != '\'')
                throw ParseError("malformed attribute");
            const auto close = text_.find(quote, pos_ + 1);
            if (close == std::string_view::npos)
                truncated();
            out.push_back({attributeName, text_.substr(pos_ + 1, close - pos_ - 1)});
            pos_ = close + 1;
        }
    }

    bool inside(std::initializer_list<std::string_view> path) const
    {
        if (open_.size() != path.size())
            return false;
        std::size_t i = 0;
        for (const auto& element : path) {
            if (open_[i++] != element)
                return false;
        }
        return true;
    }

    void startTag()
    {
        ++pos_;
        const auto element = name();
        const bool selfClosing = attributes(attributes_);
        if (open_.empty()) {
            if (sawRoot_)
                throw ParseError("more than one table in the file");
            if (element != "DATAPACKET")
                throw ParseError("not a table file");
            sawRoot_ = true;
        } else if (element == "FIELD" && inside({"DATAPACKET", "METADATA", "FIELDS"})) {
            field();
        } else if (element == "ROWDATA" && inside({"DATAPACKET"})) {
            if (fields_.isEmpty())
                throw ParseError("rows without fields");
            if (!haveTable_) {
                table_ = Table(fields_);
                haveTable_ = true;
                indexFieldNames();
                scratch_.resize(std::size_t(fields_.size()));
            }
        } else if (element == "ROW" && inside({"DATAPACKET", "ROWDATA"})) {
            row();
        }
        if (!selfClosing)
            open_.push_back(element);
    }

    void field()
    {
        if (haveTable_)
            throw ParseError("fields after the rows");
        FieldDef def;
        def.width = -1;
        std::string scratch;
        for (const auto& attribute : attributes_) {
            const auto value = attributeValue(attribute.raw, scratch);
            if (attribute.name == "attrname") {
                def.name = utf8ToString(value);
            } else if (attribute.name == "WIDTH") {
                bool ok = false;
                const int width = QByteArrayView(value.data(), qsizetype(value.size())).toInt(&ok);
                def.width = ok && width >= 0 ? width : -1;
            }
        }
        if (def.name.isEmpty())
            throw ParseError("a field without a name");
        if (fields_.size() == Table::kMostFields)
            throw ParseError("more fields than a table of the suite has");
        fields_.append(def);
    }

    static std::string lowerAscii(std::string_view text)
    {
        std::string lower(text);
        for (char& c : lower)
            c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        return lower;
    }

    // Row attributes name their fields exactly or but for letter case; the
    // first field of a name wins.
    void indexFieldNames()
    {
        for (int i = 0; i < fields_.size(); ++i) {
            fieldNames_.push_back(fields_[i].name.toUtf8().toStdString());
            firstOfName_.push_back(exactFields_.emplace(fieldNames_.back(), i).first->second);
            caselessFields_.emplace(lowerAscii(fieldNames_.back()), i);
        }
    }

    // `expected` is the field after the one the row named last: writers name
    // the fields in their order, and that case needs no hashing.
    int fieldOf(std::string_view attributeName, int expected)
    {
        if (expected < int(fieldNames_.size()) && fieldNames_[std::size_t(expected)] == attributeName)
            return firstOfName_[std::size_t(expected)];
        key_.assign(attributeName);
        if (const auto found = exactFields_.find(key_); found != exactFields_.end())
            return found->second;
        const auto found = caselessFields_.find(lowerAscii(attributeName));
        return found == caselessFields_.end() ? -1 : found->second;
    }

    void row()
    {
        if (!haveTable_)
            throw ParseError("rows without fields");
        present_.clear();
        int expected = 0;
        for (const auto& attribute : attributes_) {
            const int field = fieldOf(attribute.name, expected);
            if (field >= 0) {
                present_.push_back({field, attribute.raw});
                expected = field + 1;
            }
        }
        // In field order, as writers mostly give them already; of two values
        // for one field the later one wins. Rows are short: an insertion
        // sort, stable and without allocation.
        for (std::size_t i = 1; i < present_.size(); ++i) {
            for (std::size_t j = i; j > 0 && present_[j - 1].field > present_[j].field; --j)
                std::swap(present_[j - 1], present_[j]);
        }
        values_.clear();
        for (std::size_t i = 0; i < present_.size(); ++i) {
            if (i + 1 < present_.size() && present_[i + 1].field == present_[i].field)
                continue;
            std::string& scratch = scratch_[std::size_t(present_[i].field)];
            values_.push_back({present_[i].field, attributeValue(present_[i].utf8, scratch)});
        }
        table_.appendRawRow(values_);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool utf8_ = true;
    bool sawRoot_ = false;
    bool haveTable_ = false;
    std::vector<std::string_view> open_;
    std::vector<Attribute> attributes_;
    QList<FieldDef> fields_;
    std::vector<std::string> fieldNames_; // as UTF-8
    std::vector<int> firstOfName_; // the field that wins for each field's name
    std::unordered_map<std::string, int> exactFields_;
    std::unordered_map<std::string, int> caselessFields_;
    std::string key_;
    std::vector<Table::RawValue> present_; // raw attribute values
    std::vector<Table::RawValue> values_; // decoded
    std::vector<std::string> scratch_; // per field
    Table table_;
};

} // namespace

PacketReadResult readDataPacket(QByteArrayView bytes)
{
    PacketReadResult result;
    try {
        PacketParser parser(std::string_view(bytes.data(), std::size_t(bytes.size())));
        result.table = parser.parse();
    } catch (const ParseError& error) {
        result.error = QString::fromUtf8(error.what());
    } catch (const std::length_error&) {
        result.error = QStringLiteral("the table is too large");
    } catch (const std::bad_alloc&) {
        result.error = QStringLiteral("the table is too large");
    }
    return result;
}

} // namespace corvatek::data
