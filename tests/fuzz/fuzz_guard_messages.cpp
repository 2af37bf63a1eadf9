// What reaches the guard service from any user, and what its clients read:
// every message that parses is written back to the same message.
#include "finding.h"
#include "scanning/guardprotocol.h"

#include <cstdint>
#include <string_view>

namespace guard = corvatek::scanning::guard;
using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<guard::Request> request = guard::parseRequest(text);
    if (const std::optional<guard::Guarding> guarding = guard::parseGuarding(text)) {
        if (request != guard::Request::Guard)
            fail("a guard request is not known as one");
        if (guarding->level < 1 || guarding->level > 3)
            fail("a protection level out of range is taken");
        if (guard::parseGuarding(guard::guardText(*guarding)) != guarding)
            fail("a guard request does not read back");
    }
    if (const std::optional<guard::Answer> answer = guard::parseAnswer(text)) {
        const std::optional<guard::Answer> again = guard::parseAnswer(guard::answerText(*answer));
        if (!again || again->kind != answer->kind || again->uid != answer->uid)
            fail("an answer does not read back");
    }
    if (const std::optional<guard::Event> event = guard::parseEvent(text)) {
        if (!guard::isEvent(text))
            fail("an event is not known as one");
        const std::optional<guard::Event> again = guard::parseEvent(guard::eventText(1000, *event));
        if (!again || again->path != event->path || again->kind != event->kind || again->action != event->action ||
            again->watched != event->watched || again->change != event->change)
            fail("an event does not read back");
    }
    return 0;
}
