// A property of the code under test that an input broke: said, then the
// run stops, so that libFuzzer keeps the input as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace corvatek::fuzz {

[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

} // namespace corvatek::fuzz
