// A transform's block loop, the same on every system over the streams its
// backend opens.
#include "platform/common/transformstreams.h"
#include "platform/filecontent.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace corvatek::platform {

TransformOutcome transformFile(const std::string& source, const std::string& destination,
    const std::function<void(unsigned char* bytes, std::size_t count, std::uint64_t offset)>& transform,
    const std::function<void()>& betweenBlocks)
{
    TransformOutcome outcome;
    const std::unique_ptr<backend::TransformStreams> streams = backend::openTransform(source, destination, outcome);
    if (!streams)
        return outcome;
    const auto fail = [&](TransformOutcome::Step step, std::string reason) {
        outcome.status = TransformOutcome::Failed;
        outcome.step = step;
        outcome.reason = std::move(reason);
        return outcome;
    };

    // Large enough that system calls cost little, small enough to stay in
    // the processor's cache between the read, the transform and the write.
    constexpr std::size_t kBlock = 256 * 1024;
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlock]);
    using Clock = std::chrono::steady_clock;
    auto nextCall = Clock::now() + std::chrono::milliseconds(50);
    std::uint64_t offset = 0;
    while (true) {
        const backend::TransformStreams::Moved got = streams->read(buffer.get(), kBlock);
        if (got.failed)
            return fail(TransformOutcome::Read, got.reason);
        if (got.count == 0)
            break;
        transform(buffer.get(), got.count, offset);
        offset += got.count;
        for (std::size_t done = 0; done < got.count;) {
            const backend::TransformStreams::Moved put = streams->write(buffer.get() + done, got.count - done);
            if (put.failed)
                return fail(TransformOutcome::Write, put.reason);
            done += put.count;
            outcome.written += put.count;
        }
        if (betweenBlocks && Clock::now() >= nextCall) {
            betweenBlocks();
            nextCall = Clock::now() + std::chrono::milliseconds(50);
        }
    }
    // A network file system may report a failed write only here.
    if (auto failed = streams->closeDestination())
        return fail(TransformOutcome::CloseDestination, std::move(*failed));
    return outcome;
}

} // namespace corvatek::platform
