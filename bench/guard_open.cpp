// Opens files as a user's programs do, for the guard's figures:
//   bench_guard_open repeat <file> <count>   nanoseconds per open and close
//   bench_guard_open each <list>             opens, reads a byte of and closes
//                                            each listed file: the total and
//                                            the longest single open, in ms
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "repeat" && argc == 4) {
        const long count = std::atol(argv[3]);
        const auto start = Clock::now();
        for (long i = 0; i < count; ++i) {
            const int fd = ::open(argv[2], O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return 1;
            ::close(fd);
        }
        const auto spent = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        std::printf("%.1f\n", spent / double(std::max(1L, count)));
        return 0;
    }
    if (mode == "each" && argc == 3) {
        std::ifstream list(argv[2]);
        std::string path;
        double longest = 0;
        long failed = 0;
        const auto start = Clock::now();
        while (std::getline(list, path)) {
            const auto before = Clock::now();
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - before).count());
            char byte;
            if (fd < 0 || ::read(fd, &byte, 1) < 0)
                ++failed;
            if (fd >= 0)
                ::close(fd);
        }
        const auto total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("%.1f %.1f %ld\n", total, longest, failed);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_guard_open repeat <file> <count> | each <list>\n");
    return 2;
}
