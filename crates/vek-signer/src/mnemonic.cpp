#include "vek/signer/mnemonic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "vek/signer/bip39.h"
#include "vek/signer/hash.h"
#include "vek/signer/random.h"

namespace vek_signer {
namespace {

constexpr std::array<std::string_view, 2048> kWords = {
#include "bip39_english.inc"
};

// Index of `word` in the sorted list, or -1.
int word_index(std::string_view word) noexcept {
  auto it = std::lower_bound(kWords.begin(), kWords.end(), word);
  if (it == kWords.end() || *it != word) return -1;
  return static_cast<int>(it - kWords.begin());
}

// The canonical phrase of `entropy` (BIP-39: checksum of ENT/32 bits from SHA-256).
std::vector<std::uint8_t> phrase_bytes(std::span<const std::uint8_t> entropy) {
  const auto check = sha256(entropy);
  const std::size_t ent_bits = entropy.size() * 8;
  const std::size_t words = (ent_bits + ent_bits / 32) / 11;
  auto bit = [&](std::size_t i) -> unsigned {
    const std::uint8_t byte = i < ent_bits ? entropy[i / 8] : check[(i - ent_bits) / 8];
    return (byte >> (7 - i % 8)) & 1u;
  };
  std::vector<std::uint8_t> out;
  out.reserve(words * 9);
  for (std::size_t w = 0; w < words; ++w) {
    unsigned idx = 0;
    for (std::size_t b = 0; b < 11; ++b) idx = (idx << 1) | bit(w * 11 + b);
    if (w != 0) out.push_back(' ');
    const std::string_view word = kWords[idx];
    out.insert(out.end(), word.begin(), word.end());
  }
  return out;
}

bool valid_entropy_length(std::size_t n) noexcept { return n >= 16 && n <= 32 && n % 4 == 0; }

}  // namespace

std::string_view bip39_word(std::size_t index) noexcept { return index < kWords.size() ? kWords[index] : std::string_view(); }

std::expected<Mnemonic, MnemonicError> Mnemonic::from_entropy(std::span<const std::uint8_t> entropy) {
  if (!valid_entropy_length(entropy.size())) {
    return fail(ErrorCode::GenerationFailed, "invalid entropy length " + std::to_string(entropy.size() * 8) + " bits");
  }
  return Mnemonic(SecretBytes::from_slice(entropy));
}

std::expected<Mnemonic, MnemonicError> Mnemonic::generate(WordCount count) {
  const std::size_t len = count == WordCount::Twelve ? 16 : 32;
  WipedArray<32> entropy;
  if (auto r = os_random(std::span<std::uint8_t>(entropy.data(), len)); !r) {
    return fail(ErrorCode::GenerationFailed, r.error());
  }
  return from_entropy(std::span<const std::uint8_t>(entropy.data(), len));
}

std::expected<Mnemonic, MnemonicError> Mnemonic::from_phrase(std::string_view text) {
  auto invalid = [](std::string detail, PhraseFault fault, std::size_t count) {
    return std::unexpected(
        MnemonicError{.code = ErrorCode::InvalidPhrase, .detail = std::move(detail), .value = count, .fault = fault});
  };
  // Split at every single space; empty words fail the lookup. The word numbers are the
  // entropy: reserved for every word up front, the vector never reallocates, since a
  // reallocation would free the numbers read so far without wiping them.
  std::vector<std::uint16_t> indices;
  indices.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')) + 1);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(' ', start);
    const std::string_view word = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const int idx = word_index(word);
    if (idx < 0) {
      secure_wipe(indices.data(), indices.size() * sizeof(std::uint16_t));
      return std::unexpected(MnemonicError{.code = ErrorCode::InvalidPhrase,
                                           .detail = "the word `" + std::string(word) + "` is invalid",
                                           .value = indices.size() + 1,
                                           .fault = PhraseFault::UnknownWord,
                                           .word = std::string(word)});
    }
    indices.push_back(static_cast<std::uint16_t>(idx));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }

  const std::size_t nbytes = (indices.size() * 11 + 7) / 8;
  static constexpr std::size_t kValid[] = {16, 17, 20, 21, 24, 25, 28, 29, 32, 33};
  if (std::find(std::begin(kValid), std::end(kValid), nbytes) == std::end(kValid)) {
    secure_wipe(indices.data(), indices.size() * sizeof(std::uint16_t));
    return invalid("the mnemonic's entropy length `" + std::to_string(nbytes) + "` is invalid", PhraseFault::WordCount,
                   indices.size());
  }
  WipedArray<33> packed;
  for (std::size_t w = 0; w < indices.size(); ++w) {
    for (std::size_t b = 0; b < 11; ++b) {
      if ((static_cast<unsigned>(indices[w]) >> (10 - b)) & 1u) {
        const std::size_t pos = w * 11 + b;
        packed.bytes[pos / 8] |= static_cast<std::uint8_t>(0x80u >> (pos % 8));
      }
    }
  }
  secure_wipe(indices.data(), indices.size() * sizeof(std::uint16_t));
  const std::size_t words = indices.size();
  const std::size_t ent = nbytes & ~std::size_t{3};  // largest of 16..32 step 4 not above nbytes
  const std::span<const std::uint8_t> entropy(packed.data(), ent);
  std::vector<std::uint8_t> canonical = phrase_bytes(entropy);
  const bool same = canonical.size() == text.size() && std::memcmp(canonical.data(), text.data(), text.size()) == 0;
  wipe_vector(canonical);
  if (!same) {
    // With every word in the list and single spaces, only the word count or the checksum
    // can make the phrase differ from its canonical text.
    const bool count_ok = words % 3 == 0;
    return invalid("the phrase `" + std::string(text) + "` is invalid",
                   count_ok ? PhraseFault::Checksum : PhraseFault::WordCount, words);
  }
  return Mnemonic(SecretBytes::from_slice(entropy));
}

SecretBytes Mnemonic::phrase() const {
  // Build into a buffer large enough for any phrase so it never reallocates
  // (a reallocation would leave an unwiped copy behind).
  std::vector<std::uint8_t> out = phrase_bytes(entropy_.span());
  return SecretBytes(std::move(out));
}

SecretBytes Mnemonic::to_seed(std::string_view passphrase) const {
  SecretBytes phrase_text = phrase();
  static constexpr std::string_view kPrefix = "mnemonic";
  std::vector<std::uint8_t> salt(kPrefix.size() + passphrase.size());
  std::memcpy(salt.data(), kPrefix.data(), kPrefix.size());
  if (!passphrase.empty()) std::memcpy(salt.data() + kPrefix.size(), passphrase.data(), passphrase.size());
  std::vector<std::uint8_t> seed(kSeedBytes);
  pbkdf2_hmac_sha512(phrase_text.span(), salt, 2048, seed);
  wipe_vector(salt);
  return SecretBytes(std::move(seed));
}

}  // namespace vek_signer
