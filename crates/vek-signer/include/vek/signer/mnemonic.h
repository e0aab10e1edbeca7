// BIP-39 mnemonic phrases in the English word list.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/error.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {

// Errors: MnemonicError (vek/signer/error.h) with the codes GenerationFailed
// ("mnemonic generation failed: {detail}") and InvalidPhrase ("invalid mnemonic phrase:
// {detail}", the detail quoting the phrase as vek._native always has). An InvalidPhrase
// error also says what is wrong without the phrase (fault, value, word), for
// display_without_phrase().

enum class WordCount : std::uint8_t { Twelve, TwentyFour };

inline constexpr std::size_t kSeedBytes = 64;

// A phrase held as its entropy (16 to 32 bytes); the words are produced on demand.
class Mnemonic {
 public:
  // Fresh entropy from the operating system's random source.
  [[nodiscard]] static std::expected<Mnemonic, MnemonicError> generate(WordCount count);
  // Strict parse of a typed phrase: exact words, single spaces, valid checksum, canonical text.
  // Errors (InvalidPhrase): "the word `{word}` is invalid",
  //   "the mnemonic's entropy length `{bytes}` is invalid", "the phrase `{text}` is invalid".
  [[nodiscard]] static std::expected<Mnemonic, MnemonicError> from_phrase(std::string_view text);
  // Builds from raw entropy of 16, 20, 24, 28 or 32 bytes (no other length is accepted).
  [[nodiscard]] static std::expected<Mnemonic, MnemonicError> from_entropy(std::span<const std::uint8_t> entropy);

  // The canonical phrase: lower-case words separated by single spaces.
  [[nodiscard]] SecretBytes phrase() const;
  // The 64-byte BIP-39 seed: PBKDF2-HMAC-SHA512, 2048 rounds, salt "mnemonic" + passphrase.
  [[nodiscard]] SecretBytes to_seed(std::string_view passphrase) const;
  [[nodiscard]] std::size_t word_count() const noexcept { return entropy_.size() * 3 / 4; }

 private:
  explicit Mnemonic(SecretBytes entropy) noexcept : entropy_(std::move(entropy)) {}
  SecretBytes entropy_;
};

}  // namespace vek_signer
