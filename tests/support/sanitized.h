#pragma once

// Whether the code runs under AddressSanitizer or ThreadSanitizer. Those
// bring allocators of their own and make the tests several times slower:
// the longest tests of random pages and of every choice then run a sample
// of their rounds (the optimised build runs them all).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OVCG_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define OVCG_TEST_SANITIZED 1
#endif
#endif
#ifndef OVCG_TEST_SANITIZED
#define OVCG_TEST_SANITIZED 0
#endif

namespace ovcg_test {

inline constexpr bool kSanitized = OVCG_TEST_SANITIZED != 0;

}  // namespace ovcg_test
