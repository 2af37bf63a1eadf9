// The signature number of a program file: which bytes it adds and how, the
// same on every system and byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace corvatek::platform::signature {

// Where the signature's words lie in a file of `size` bytes: counted in whole
// 32-bit words W, from word W / 2 up to, not including, the last word, at
// most 500 of them. Nothing when that leaves no word (fewer than 12 bytes).
struct Window {
    std::uint64_t offset = 0;
    std::size_t bytes = 0;
};
inline std::optional<Window> windowOf(std::uint64_t size)
{
    const std::uint64_t words = size / 4;
    if (words < 3)
        return std::nullopt;
    const std::uint64_t count = words - 1 - words / 2;
    return Window {words / 2 * 4, std::size_t(count < 500 ? count : 500) * 4};
}

// The wrapping sum of little-endian 32-bit words.
inline std::uint32_t sumOfWords(const unsigned char* bytes, std::size_t count)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= count; i += 4)
        sum += std::uint32_t(bytes[i]) | std::uint32_t(bytes[i + 1]) << 8 | std::uint32_t(bytes[i + 2]) << 16 |
            std::uint32_t(bytes[i + 3]) << 24;
    return sum;
}

} // namespace corvatek::platform::signature
