#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return calvane::fuzz::RunHarness(&calvane::fuzz::CheckSelectionFile, data, size);
}
