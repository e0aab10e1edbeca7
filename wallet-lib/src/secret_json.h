// JSON parsing for decrypted secrets: every string and container the parser allocates
// (its token buffer included) is wiped before its memory is returned.
#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "vek/signer/zeroizing.h"

namespace vek_lib {

template <typename T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() noexcept = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}  // NOLINT
  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    vek_signer::secure_wipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
};

using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
using SecretJson = nlohmann::basic_json<std::map, std::vector, SecretString, bool, std::int64_t, std::uint64_t, double,
                                        WipingAllocator>;

// Parses one JSON document. The error is the parser's message without any echo of the input.
[[nodiscard]] std::expected<SecretJson, std::string> parse_secret_json(std::string_view text);

}  // namespace vek_lib
