// The two files of a transform as each backend opens, reads and writes them;
// the block loop over them is the same on every system.
#pragma once

#include "platform/filecontent.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace corvatek::platform::backend {

class TransformStreams {
public:
    // What one read or write moved, or why it failed.
    struct Moved {
        std::size_t count = 0;
        bool failed = false;
        std::string reason; // the system's

        static Moved bytes(std::size_t count) { return {count, false, {}}; }
        static Moved failure(std::string reason) { return {0, true, std::move(reason)}; }
    };

    virtual ~TransformStreams() = default;
    // Zero bytes at the end of the source.
    virtual Moved read(unsigned char* into, std::size_t count) = 0;
    // At least one byte, else a failure: a write that takes nothing is a full disk.
    virtual Moved write(const unsigned char* from, std::size_t count) = 0;
    // Closes the destination; why that failed, or nothing.
    virtual std::optional<std::string> closeDestination() = 0;
};

// Opens the source and the destination and checks them as transformFile
// describes, the destination emptied and ready for the first block. Nothing
// when the transform ends here; `outcome` then says why.
std::unique_ptr<TransformStreams> openTransform(
    const std::string& source, const std::string& destination, TransformOutcome& outcome);

} // namespace corvatek::platform::backend
