#include "guardprotocol.h"

#include <charconv>

namespace corvatek::scanning::guard {
namespace {

constexpr std::string_view kAnswerWords[] = {"ready", "clean", "found", "error"};

// Splits off the text up to the first blank.
std::string_view word(std::string_view& text)
{
    const std::size_t blank = text.find(' ');
    const std::string_view first = text.substr(0, blank);
    text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    return first;
}

// A single line ending may follow a message typed by hand.
std::string_view withoutLineEnd(std::string_view text)
{
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string requestText(Request request)
{
    return std::string(kVersion) + (request == Request::Ping ? " ping" : " scan");
}

std::optional<Request> parseRequest(std::string_view text)
{
    text = withoutLineEnd(text);
    if (text.size() > kMaxMessage || word(text) != kVersion)
        return std::nullopt;
    if (text == "ping")
        return Request::Ping;
    if (text == "scan")
        return Request::Scan;
    return std::nullopt;
}

std::string answerText(const Answer& answer)
{
    std::string text =
        std::string(kVersion) + ' ' + std::to_string(answer.uid) + ' ' + std::string(kAnswerWords[answer.kind]);
    if (!answer.detail.empty()) {
        text += ' ';
        // A signature's name is the database's: no line end or control
        // character of it reaches a client's log.
        for (const char c : answer.detail.substr(0, kMaxMessage - text.size() - 1))
            text += (unsigned char)c < 0x20 || c == 0x7f ? '?' : c;
    }
    return text;
}

std::optional<Answer> parseAnswer(std::string_view text)
{
    text = withoutLineEnd(text);
    if (text.size() > kMaxMessage || word(text) != kVersion)
        return std::nullopt;
    Answer answer;
    const std::string_view uid = word(text);
    if (uid.empty() || std::from_chars(uid.data(), uid.data() + uid.size(), answer.uid).ptr != uid.data() + uid.size())
        return std::nullopt;
    const std::string_view kind = word(text);
    bool known = false;
    for (int k = Answer::Ready; k <= Answer::Error; ++k)
        if (kind == kAnswerWords[k]) {
            answer.kind = Answer::Kind(k);
            known = true;
        }
    if (!known || ((answer.kind == Answer::Found || answer.kind == Answer::Error) && text.empty()))
        return std::nullopt;
    answer.detail = text;
    return answer;
}

} // namespace corvatek::scanning::guard
