#include "guardprotocol.h"

#include <charconv>

namespace corvatek::scanning::guard {
namespace {

constexpr std::string_view kAnswerWords[] = {"ready", "clean", "found", "error", "guarding"};
constexpr std::string_view kActionWords[] = {"refused-run", "refused-open", "found-written", "found-late"};
constexpr std::string_view kWatchedWords[] = {"system", "settings", "autostart", "programs"};
constexpr std::string_view kChangeWords[] = {"created", "deleted", "modified", "renamed", "first-run"};
constexpr std::string_view kEvent = "event";
constexpr std::string_view kDetection = "detection";
constexpr std::string_view kModification = "modification";

template <typename Value, std::size_t N>
std::optional<Value> fromWord(const std::string_view (&words)[N], std::string_view word)
{
    for (std::size_t i = 0; i < N; ++i)
        if (words[i] == word)
            return Value(i);
    return std::nullopt;
}

// Splits off the text up to the first NUL.
std::string_view field(std::string_view& text)
{
    const std::size_t end = text.find('\0');
    const std::string_view first = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return first;
}

template <typename Number>
bool readNumber(std::string_view text, Number& number)
{
    return !text.empty() && std::from_chars(text.data(), text.data() + text.size(), number).ptr == text.data() + text.size();
}

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
    return std::string(kVersion) + (request == Request::Ping ? " ping" : request == Request::Scan ? " scan" : " guard");
}

std::optional<Request> parseRequest(std::string_view text)
{
    text = withoutLineEnd(text);
    if (text.size() > kMaxEvent || word(text) != kVersion)
        return std::nullopt;
    if (text == "ping")
        return Request::Ping;
    if (text == "scan")
        return Request::Scan;
    if (text.starts_with("guard "))
        return Request::Guard;
    return std::nullopt;
}

std::string guardText(const Guarding& guarding)
{
    std::string text = requestText(Request::Guard) + ' ';
    for (const bool on : guarding.flags)
        text += on ? '1' : '0';
    return text + ' ' + std::to_string(guarding.level) + '\0' + guarding.downloads;
}

std::optional<Guarding> parseGuarding(std::string_view text)
{
    if (text.size() > kMaxEvent || word(text) != kVersion || word(text) != "guard")
        return std::nullopt;
    std::string_view head = field(text);
    const std::string_view flags = word(head);
    Guarding guarding;
    if (flags.size() != guarding.flags.size() || !readNumber(head, guarding.level) || guarding.level < 1 ||
        guarding.level > 3 || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] != '0' && flags[i] != '1')
            return std::nullopt;
        guarding.flags[i] = flags[i] == '1';
    }
    guarding.downloads = text;
    return guarding;
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
    if (!readNumber(uid, answer.uid))
        return std::nullopt;
    const std::optional<Answer::Kind> kind = fromWord<Answer::Kind>(kAnswerWords, word(text));
    if (!kind || (*kind != Answer::Clean && text.empty()))
        return std::nullopt;
    answer.kind = *kind;
    answer.detail = text;
    return answer;
}

std::string_view actionWord(Action action)
{
    return kActionWords[std::size_t(action)];
}

std::string_view watchedWord(Watched watched)
{
    return kWatchedWords[std::size_t(watched)];
}

std::string_view changeWord(Change change)
{
    return kChangeWords[std::size_t(change)];
}

std::string eventText(unsigned long uid, const Event& event)
{
    std::string text = std::string(kVersion) + ' ' + std::to_string(uid) + ' ' + std::string(kEvent) + ' ';
    if (event.kind == Event::Detection) {
        text += std::string(kDetection) + ' ' + std::string(actionWord(event.action)) + ' ' +
            std::to_string(event.modified) + '\0';
        for (const char c : event.signature.substr(0, 256))
            text += (unsigned char)c < 0x20 || c == 0x7f ? '?' : c;
    } else {
        text += std::string(kModification) + ' ' + std::string(watchedWord(event.watched)) + ' ' +
            std::string(changeWord(event.change));
    }
    // Paths past the system's limit are no paths.
    for (const std::string* path : {&event.path, &event.program})
        text += '\0' + path->substr(0, kMaxPath);
    return text;
}

bool isEvent(std::string_view text)
{
    return word(text) == kVersion && !word(text).empty() && word(text) == kEvent;
}

std::optional<Event> parseEvent(std::string_view text)
{
    if (text.size() > kMaxEvent || !isEvent(text))
        return std::nullopt;
    for (int i = 0; i < 3; ++i)
        word(text);
    std::string_view head = field(text);
    Event event;
    const std::string_view kind = word(head);
    if (kind == kDetection) {
        const auto action = fromWord<Action>(kActionWords, word(head));
        if (!action || !readNumber(head, event.modified))
            return std::nullopt;
        event.action = *action;
        event.signature = field(text);
    } else if (kind == kModification) {
        const auto watched = fromWord<Watched>(kWatchedWords, word(head));
        const auto change = fromWord<Change>(kChangeWords, head);
        if (!watched || !change)
            return std::nullopt;
        event.kind = Event::Modification;
        event.watched = *watched;
        event.change = *change;
    } else {
        return std::nullopt;
    }
    event.path = field(text);
    event.program = field(text);
    if (event.path.empty() || event.path.size() > kMaxPath || event.program.size() > kMaxPath || !text.empty())
        return std::nullopt;
    return event;
}

} // namespace corvatek::scanning::guard
