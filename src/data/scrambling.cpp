#include "data/scrambling.h"

#include "localisation/texts.h"

#include "platform/filecontent.h"

#include <QFile>

#include <array>

namespace corvatek::data {

unsigned startValue(std::string_view key)
{
    unsigned sum = 0;
    for (const char c : key)
        sum += static_cast<unsigned char>(c);
    return sum;
}

void applyRunningKey(unsigned char* bytes, std::size_t count, std::uint64_t offset, unsigned start, Direction direction)
{
    // Only the key's lowest byte moves a byte, so the key repeats every 256
    // bytes: whole runs of 256 are moved by one fixed table, a loop simple
    // enough for the compiler to turn into vector instructions.
    std::array<unsigned char, 256> key;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto k = static_cast<unsigned char>(start + offset + i);
        key[i] = direction == Direction::Scramble ? k : static_cast<unsigned char>(-k);
    }
    std::size_t done = 0;
    for (; done + key.size() <= count; done += key.size()) {
        unsigned char* run = bytes + done;
        for (std::size_t i = 0; i < key.size(); ++i)
            run[i] = static_cast<unsigned char>(run[i] + key[i]);
    }
    for (std::size_t i = 0; done + i < count; ++i)
        bytes[done + i] = static_cast<unsigned char>(bytes[done + i] + key[i]);
}

QString transformFile(const QString& source, const QString& destination, Direction direction, std::string_view key,
    localisation::Language language, const std::function<void()>& betweenBlocks)
{
    const unsigned start = startValue(key);
    const auto outcome = platform::transformFile(
        QFile::encodeName(source).toStdString(), QFile::encodeName(destination).toStdString(),
        [&](unsigned char* bytes, std::size_t count, std::uint64_t offset) {
            applyRunningKey(bytes, count, offset, start, direction);
        },
        betweenBlocks);
    using Outcome = platform::TransformOutcome;
    using localisation::Text;
    const auto say = [language](Text id, std::initializer_list<QString> arguments) {
        return localisation::text(language, id, arguments);
    };
    switch (outcome.status) {
    case Outcome::Done: return {};
    case Outcome::SameFile: return say(Text::SameFile, {source, destination});
    case Outcome::NotARegularFile: return say(Text::SourceNotAFile, {source});
    case Outcome::Failed: break;
    }
    const QString reason = QString::fromLocal8Bit(outcome.reason);
    QString failed;
    switch (outcome.step) {
    case Outcome::OpenSource: return say(Text::SourceNotOpened, {source, reason});
    case Outcome::CreateDestination: return say(Text::DestinationNotMade, {destination, reason});
    case Outcome::Read: failed = say(Text::SourceNotRead, {source}); break;
    case Outcome::Write: failed = say(Text::DestinationNotWritten, {destination}); break;
    case Outcome::CloseDestination: failed = say(Text::DestinationNotClosed, {destination}); break;
    }
    return say(Text::BytesKept, {failed, reason, QString::number(outcome.written), destination});
}

} // namespace corvatek::data
