// Bitcoin's WIF private keys (vek/signer/key_formats.h).
#include "vek/signer/key_formats.h"

#include <vector>

#include "vek/signer/encoding.h"

namespace vek_signer {
namespace {

constexpr std::uint8_t kWifMainnet = 0x80;
constexpr std::uint8_t kWifTestnet = 0xef;
constexpr std::size_t kKeyBytes = 32;

std::string hex_byte(std::uint8_t b) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 15]};
}

}  // namespace

std::expected<WifKey, std::string> wif_decode(std::string_view text) {
  auto payload = base58check_decode(text);
  if (!payload) return std::unexpected(payload.error().display());
  std::vector<std::uint8_t>& p = *payload;
  const auto fail = [&p](std::string why) {
    wipe_vector(p);
    return std::unexpected(std::move(why));
  };
  if (p.size() != 1 + kKeyBytes && p.size() != 2 + kKeyBytes) {
    return fail(std::to_string(p.size()) + " bytes, expected 33 or 34");
  }
  if (p[0] != kWifMainnet && p[0] != kWifTestnet) {
    return fail("version byte 0x" + hex_byte(p[0]) + " is not a private key's (0x80 or 0xef)");
  }
  const bool compressed = p.size() == 2 + kKeyBytes;
  if (compressed && p.back() != 0x01) return fail("compression flag 0x" + hex_byte(p.back()) + ", expected 0x01");
  WifKey out{SecretBytes::from_slice(std::span(p).subspan(1, kKeyBytes)), compressed, p[0] == kWifTestnet};
  wipe_vector(p);
  return out;
}

std::string wif_encode(std::span<const std::uint8_t> key, bool compressed, bool testnet) {
  std::vector<std::uint8_t> payload;
  payload.reserve(2 + key.size());
  payload.push_back(testnet ? kWifTestnet : kWifMainnet);
  payload.insert(payload.end(), key.begin(), key.end());
  if (compressed) payload.push_back(0x01);
  std::string text = base58check_encode(payload);
  wipe_vector(payload);
  return text;
}

}  // namespace vek_signer
