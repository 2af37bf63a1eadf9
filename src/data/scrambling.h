// The scrambled file format: the same length as the plain file, each byte
// moved by a running key that starts at the sum of the key text's byte values
// and grows by one per byte. It hides content from casual reading only.
#pragma once

#include "localisation/language.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace corvatek::data {

inline constexpr std::string_view kScrambleKey = "qzjwv";

enum class Direction { Scramble, Restore };

// The running key's start: the sum of the key text's byte values.
unsigned startValue(std::string_view key);

// Moves `count` bytes that lie at `offset` in the file by the running key.
void applyRunningKey(
    unsigned char* bytes, std::size_t count, std::uint64_t offset, unsigned start, Direction direction);

// Transforms the file `source` into `destination`, created or emptied.
// Returns what the user must be told, empty when all went well; the bytes
// written before a failure stay in the destination. The source is never
// touched: a destination that is the source under another name is refused.
QString transformFile(const QString& source, const QString& destination, Direction direction, std::string_view key,
    localisation::Language language, const std::function<void()>& betweenBlocks = {});

} // namespace corvatek::data
