#pragma once

// Whether this test binary is built with AddressSanitizer or ThreadSanitizer (GCC or clang),
// for the few cases that are only worth their time in the optimised build.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CALVANE_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CALVANE_TEST_SANITIZED 1
#endif

namespace calvane::test {

#ifdef CALVANE_TEST_SANITIZED
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

}  // namespace calvane::test
