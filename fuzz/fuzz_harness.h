#pragma once

// The body of every libFuzzer entry point: run one property check and stop the fuzzer with the
// failed property's description when it does not hold, so the input is saved as a crash case.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_checks.h"

namespace calvane::fuzz {

inline int RunHarness(CheckFunction check, const std::uint8_t* data, std::size_t size) {
  const std::string failure = check(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "property failed: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace calvane::fuzz
