// The operating system's cryptographic random source.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>

namespace vek_signer {

// Fills `out` from getrandom(2). Error: the system's text, "{strerror} (os error {n})".
[[nodiscard]] std::expected<void, std::string> os_random(std::span<std::uint8_t> out);

// A random version-4 UUID in its canonical lower-case hyphenated form. Error: as os_random.
[[nodiscard]] std::expected<std::string, std::string> random_uuid();

}  // namespace vek_signer
