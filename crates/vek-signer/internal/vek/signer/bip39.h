// The two building blocks behind Mnemonic (mnemonic.h), reachable by the signer's own
// tests and benchmarks: the English word list and the seed's key-stretching function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vek_signer {

// PBKDF2-HMAC-SHA512 with the inner and outer key states prepared once.
void pbkdf2_hmac_sha512(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                        std::uint32_t iterations, std::span<std::uint8_t> out);

// The English word list (2048 words); empty for an index past its end.
[[nodiscard]] std::string_view bip39_word(std::size_t index) noexcept;

}  // namespace vek_signer
