// What every fuzz target shares: a property check that stops the run with a message
// (libFuzzer then saves the input), and views of the raw input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

// A broken property is a finding: print it and abort so that libFuzzer records the input.
#define FUZZ_CHECK(cond)                                                                   \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);    \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

// The same, also printing `text` (e.g. the error message that broke the property).
#define FUZZ_CHECK_TEXT(cond, text)                                                        \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      const std::string_view fuzz_text_(text);                                             \
      std::fprintf(stderr, "%s:%d: property failed: %s\ntext: %.*s\n", __FILE__, __LINE__, \
                   #cond, static_cast<int>(fuzz_text_.size()), fuzz_text_.data());         \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace vek_fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

inline std::span<const std::uint8_t> as_bytes(const std::uint8_t* data, std::size_t size) { return {data, size}; }

}  // namespace vek_fuzz
