#include "vek/signer/encoding.h"

#include <algorithm>
#include <array>

#include "vek/signer/hash.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {
namespace {

// Reverse lookup: the digit value of an alphabet character, or -1.
constexpr std::array<std::int8_t, 256> make_digit_table() {
  std::array<std::int8_t, 256> t{};
  t.fill(-1);
  for (std::size_t i = 0; i < kBase58Alphabet.size(); ++i) {
    t[static_cast<unsigned char>(kBase58Alphabet[i])] = static_cast<std::int8_t>(i);
  }
  return t;
}
constexpr auto kDigitOf = make_digit_table();

}  // namespace

std::string base58_encode(std::span<const std::uint8_t> bytes) {
  std::size_t zeros = 0;
  while (zeros < bytes.size() && bytes[zeros] == 0) ++zeros;

  // log(256) / log(58) < 1.38, so this many base-58 digits always suffice.
  std::vector<std::uint8_t> digits((bytes.size() - zeros) * 138 / 100 + 1, 0);
  std::size_t used = 0;  // significant digits, stored little-endian from the back
  for (std::size_t i = zeros; i < bytes.size(); ++i) {
    unsigned carry = bytes[i];
    std::size_t j = 0;
    for (auto it = digits.rbegin(); (carry != 0 || j < used) && it != digits.rend(); ++it, ++j) {
      carry += 256U * *it;
      *it = static_cast<std::uint8_t>(carry % 58);
      carry /= 58;
    }
    used = j;
  }

  std::string out(zeros, '1');
  out.reserve(zeros + used);
  for (std::size_t i = digits.size() - used; i < digits.size(); ++i) out.push_back(kBase58Alphabet[digits[i]]);
  wipe_vector(digits);  // the digits spell the input, which may be a key
  return out;
}

std::expected<std::vector<std::uint8_t>, Base58Error> base58_decode(std::string_view text) {
  std::size_t ones = 0;
  while (ones < text.size() && text[ones] == '1') ++ones;

  // log(58) / log(256) < 0.733.
  std::vector<std::uint8_t> bytes((text.size() - ones) * 733 / 1000 + 1, 0);
  std::size_t used = 0;
  for (std::size_t i = ones; i < text.size(); ++i) {
    const int digit = kDigitOf[static_cast<unsigned char>(text[i])];
    if (digit < 0) {
      wipe_vector(bytes);
      return fail_at(ErrorCode::Base58InvalidCharacter, i);
    }
    unsigned carry = static_cast<unsigned>(digit);
    std::size_t j = 0;
    for (auto it = bytes.rbegin(); (carry != 0 || j < used) && it != bytes.rend(); ++it, ++j) {
      carry += 58U * *it;
      *it = static_cast<std::uint8_t>(carry & 0xFF);
      carry >>= 8;
    }
    used = j;
  }

  std::vector<std::uint8_t> out(ones, 0);
  out.reserve(ones + used);
  out.insert(out.end(), bytes.end() - static_cast<std::ptrdiff_t>(used), bytes.end());
  wipe_vector(bytes);
  return out;
}

std::string base58check_encode(std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> buf(payload.begin(), payload.end());
  const auto check = sha256d(payload);
  buf.insert(buf.end(), check.begin(), check.begin() + kBase58CheckBytes);
  std::string text = base58_encode(buf);
  wipe_vector(buf);
  return text;
}

std::expected<std::vector<std::uint8_t>, Base58Error> base58check_decode(std::string_view text) {
  auto decoded = base58_decode(text);
  if (!decoded) return decoded;
  auto& bytes = *decoded;
  if (bytes.size() < kBase58CheckBytes) {
    const std::size_t n = bytes.size();
    wipe_vector(bytes);
    return fail_at(ErrorCode::Base58TooShort, n);
  }
  const std::size_t n = bytes.size() - kBase58CheckBytes;
  const auto check = sha256d(std::span(bytes).first(n));
  if (!std::equal(check.begin(), check.begin() + kBase58CheckBytes, bytes.begin() + static_cast<std::ptrdiff_t>(n))) {
    wipe_vector(bytes);
    return fail(ErrorCode::Base58BadChecksum);
  }
  bytes.resize(n);
  return decoded;
}

}  // namespace vek_signer
