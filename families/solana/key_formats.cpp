// Solana's keypairs as base58 text or as a keypair file's JSON array (vek/signer/key_formats.h).
#include "vek/signer/key_formats.h"

#include <algorithm>
#include <vector>

#include "chains/ed25519.h"
#include "vek/signer/encoding.h"

namespace vek_signer {
namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kKeypairBytes = 64;

// The JSON array of byte values of a keypair file, read without building any value the
// secret could be left in.
bool read_byte_array(std::string_view text, std::vector<std::uint8_t>& out) {
  std::size_t i = 0;
  const auto skip_space = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  };
  skip_space();
  if (i == text.size() || text[i++] != '[') return false;
  skip_space();
  if (i < text.size() && text[i] == ']') {
    ++i;
  } else {
    for (;;) {
      unsigned value = 0;
      const std::size_t start = i;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 4) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        ++i;
      }
      const std::size_t digits = i - start;
      if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
      out.push_back(static_cast<std::uint8_t>(value));
      skip_space();
      if (i == text.size()) return false;
      const char c = text[i++];
      if (c == ']') break;
      if (c != ',') return false;
      skip_space();
    }
  }
  skip_space();
  return i == text.size();
}

}  // namespace

std::expected<SecretBytes, std::string> solana_keypair_decode(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  const auto fail = [&bytes](std::string why) {
    wipe_vector(bytes);
    return std::unexpected(std::move(why));
  };
  const auto first = std::find_if(text.begin(), text.end(), [](char c) { return c != ' ' && c != '\t' && c != '\n' && c != '\r'; });
  if (first != text.end() && *first == '[') {
    if (!read_byte_array(text, bytes)) return fail("not a JSON array of integers from 0 to 255");
  } else {
    auto decoded = base58_decode(text);
    if (!decoded) return fail(decoded.error().display());
    bytes = std::move(*decoded);
  }
  if (bytes.size() != kKeypairBytes) return fail(std::to_string(bytes.size()) + " bytes, expected 64");
  const std::span<const std::uint8_t> secret = std::span(bytes).first(kKeyBytes);
  auto public_key = ed25519::public_key(secret);
  if (!public_key) return fail(public_key.error().display());
  if (!std::equal(public_key->begin(), public_key->end(), bytes.begin() + kKeyBytes)) {
    return fail("its public key does not match its secret key");
  }
  SecretBytes out = SecretBytes::from_slice(secret);
  wipe_vector(bytes);
  return out;
}

std::expected<std::string, std::string> solana_keypair_encode(std::span<const std::uint8_t> key, bool json_array) {
  auto public_key = ed25519::public_key(key);
  if (!public_key) return std::unexpected(public_key.error().display());
  std::vector<std::uint8_t> pair;
  pair.reserve(kKeypairBytes);
  pair.insert(pair.end(), key.begin(), key.end());
  pair.insert(pair.end(), public_key->begin(), public_key->end());
  std::string text;
  if (json_array) {
    text.reserve(2 + 4 * pair.size());
    text.push_back('[');
    for (std::size_t i = 0; i < pair.size(); ++i) {
      if (i != 0) text.push_back(',');
      const unsigned v = pair[i];
      if (v >= 100) text.push_back(static_cast<char>('0' + v / 100));
      if (v >= 10) text.push_back(static_cast<char>('0' + v / 10 % 10));
      text.push_back(static_cast<char>('0' + v % 10));
    }
    text.push_back(']');
  } else {
    text = base58_encode(pair);
  }
  wipe_vector(pair);
  return text;
}

}  // namespace vek_signer
