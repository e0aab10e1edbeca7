// BIP-39 mnemonic phrases in the English word list.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/zeroizing.h"

namespace vek_signer {

enum class MnemonicErrorKind : std::uint8_t {
  GenerationFailed = 0,  // "mnemonic generation failed: {0}"
  InvalidPhrase = 1,     // "invalid mnemonic phrase: {0}"
};

// What is wrong with a typed phrase (InvalidPhrase).
enum class PhraseFault : std::uint8_t {
  None = 0,         // not about a typed phrase
  UnknownWord = 1,  // a word not in the list (an empty one included)
  WordCount = 2,    // a number of words BIP-39 does not allow
  Checksum = 3,     // the words' checksum does not match
};

struct MnemonicError {
  MnemonicErrorKind kind;
  std::string detail;
  PhraseFault fault = PhraseFault::None;
  std::size_t word_number = 0;  // UnknownWord: its position, from 1
  std::size_t word_count = 0;   // WordCount, Checksum: the words typed
  std::string word{};           // UnknownWord: the word as typed
  // The kind's fixed prefix, a colon, a space and `detail` (which may quote the phrase).
  [[nodiscard]] std::string display() const;
  // The same prefix with a text that quotes no more of a typed phrase than the word not
  // in the list, and that one only when it is a run of at most 16 ASCII letters (longer
  // or other text may hold several words):
  //   "word {n} is not in the BIP-39 English word list: `{word}`";
  //   "word {n} is not in the BIP-39 English word list (not shown: not a run of at most
  //     16 letters; words are separated by single spaces)";
  //   "word {n} is empty (words are separated by single spaces, with none before or after)";
  //   "{count} words; a phrase has 12, 15, 18, 21 or 24 words" ("1 word; ..." for one);
  //   "the checksum does not match: a word is wrong, or the words are out of order".
  // Any other error displays as display() does.
  [[nodiscard]] std::string display_without_phrase() const;
};

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
