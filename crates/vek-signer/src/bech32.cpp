#include "vek/signer/bech32.h"

#include <array>

#include "vek/core/ascii.h"

namespace vek_signer {
namespace {

constexpr std::string_view kCharset = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
constexpr std::uint32_t kBech32Constant = 1;  // BIP-173; BIP-350's bech32m uses 0x2bc830a3
constexpr std::size_t kBech32MaxHrpLength = 83;
constexpr std::size_t kBech32ChecksumLength = 6;

constexpr std::array<std::int8_t, 128> make_charset_rev() {
  std::array<std::int8_t, 128> t{};
  t.fill(-1);
  for (std::size_t i = 0; i < kCharset.size(); ++i) {
    const auto c = static_cast<unsigned char>(kCharset[i]);
    t[c] = static_cast<std::int8_t>(i);
    if (c >= 'a' && c <= 'z') t[c - 'a' + 'A'] = static_cast<std::int8_t>(i);
  }
  return t;
}
constexpr auto kCharsetRev = make_charset_rev();


std::uint32_t polymod(std::span<const std::uint8_t> values) {
  constexpr std::array<std::uint32_t, 5> kGen = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3};
  std::uint32_t chk = 1;
  for (std::uint8_t v : values) {
    const std::uint32_t top = chk >> 25;
    chk = ((chk & 0x1ffffff) << 5) ^ v;
    for (std::size_t i = 0; i < kGen.size(); ++i) {
      if ((top >> i) & 1) chk ^= kGen[i];
    }
  }
  return chk;
}

// hrp high bits, 0, hrp low bits, then the data values (BIP-173 "hrp_expand").
std::vector<std::uint8_t> checksum_input(std::string_view hrp, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> v;
  v.reserve(hrp.size() * 2 + 1 + data.size() + kBech32ChecksumLength);
  for (char c : hrp) v.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) >> 5));
  v.push_back(0);
  for (char c : hrp) v.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) & 31));
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

// 1 to 83 printable US-ASCII characters, not mixed case. Returns it in lower case.
Bech32Result<std::string> normalise_hrp(std::string_view hrp) {
  if (hrp.empty() || hrp.size() > kBech32MaxHrpLength) return fail(ErrorCode::Bech32InvalidHrp);
  bool lower = false, upper = false;
  std::string out;
  out.reserve(hrp.size());
  for (char c : hrp) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 33 || u > 126) return fail(ErrorCode::Bech32InvalidHrp);
    lower |= is_lower(c);
    upper |= is_upper(c);
    out.push_back(vek_core::ascii_lower(c));
  }
  if (lower && upper) return fail(ErrorCode::Bech32InvalidHrp);
  return out;
}

}  // namespace

Bech32Result<std::string> bech32_encode(std::string_view hrp, std::span<const std::uint8_t> data,
                                        std::size_t max_length) {
  auto lower_hrp = normalise_hrp(hrp);
  if (!lower_hrp) return lower_hrp;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] > 31) return fail_at(ErrorCode::Bech32InvalidDataValue, i, 5);
  }
  const std::size_t length = lower_hrp->size() + 1 + data.size() + kBech32ChecksumLength;
  if (length > max_length) return fail_at(ErrorCode::Bech32TooLong, length, max_length);

  auto values = checksum_input(*lower_hrp, data);
  values.resize(values.size() + kBech32ChecksumLength, 0);
  const std::uint32_t mod = polymod(values) ^ kBech32Constant;

  std::string out = std::move(*lower_hrp);
  out.reserve(length);
  out.push_back('1');
  for (std::uint8_t v : data) out.push_back(kCharset[v]);
  for (std::size_t i = 0; i < kBech32ChecksumLength; ++i) out.push_back(kCharset[(mod >> (5 * (5 - i))) & 31]);
  return out;
}

Bech32Result<Bech32Decoded> bech32_decode(std::string_view text, std::size_t max_length) {
  if (text.size() > max_length) return fail_at(ErrorCode::Bech32TooLong, text.size(), max_length);
  bool lower = false, upper = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u < 33 || u > 126) return fail_at(ErrorCode::Bech32InvalidCharacter, i);
    lower |= is_lower(text[i]);
    upper |= is_upper(text[i]);
  }
  if (lower && upper) return fail(ErrorCode::Bech32MixedCase);

  const std::size_t sep = text.rfind('1');
  if (sep == std::string_view::npos) return fail(ErrorCode::Bech32MissingSeparator);
  if (sep == 0 || sep > kBech32MaxHrpLength) return fail(ErrorCode::Bech32InvalidHrp);
  if (text.size() - sep - 1 < kBech32ChecksumLength) return fail(ErrorCode::Bech32ChecksumTooShort);

  Bech32Decoded out;
  out.hrp.reserve(sep);
  for (std::size_t i = 0; i < sep; ++i) out.hrp.push_back(vek_core::ascii_lower(text[i]));
  std::vector<std::uint8_t> values;
  values.reserve(text.size() - sep - 1);
  for (std::size_t i = sep + 1; i < text.size(); ++i) {
    const int v = kCharsetRev[static_cast<unsigned char>(text[i])];
    if (v < 0) return fail_at(ErrorCode::Bech32InvalidCharacter, i);
    values.push_back(static_cast<std::uint8_t>(v));
  }
  if (polymod(checksum_input(out.hrp, values)) != kBech32Constant) return fail(ErrorCode::Bech32InvalidChecksum);
  values.resize(values.size() - kBech32ChecksumLength);
  out.data = std::move(values);
  return out;
}

Bech32Result<std::vector<std::uint8_t>> convert_bits(std::span<const std::uint8_t> in, unsigned from_bits,
                                                     unsigned to_bits, bool pad) {
  const std::uint32_t max_value = (1U << to_bits) - 1;
  std::uint32_t acc = 0;
  unsigned bits = 0;
  std::vector<std::uint8_t> out;
  out.reserve((in.size() * from_bits + to_bits - 1) / to_bits);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if ((in[i] >> from_bits) != 0) return fail_at(ErrorCode::Bech32InvalidDataValue, i, from_bits);
    acc = ((acc << from_bits) | in[i]) & 0xFFFFFF;  // only the last 24 bits are ever needed
    bits += from_bits;
    while (bits >= to_bits) {
      bits -= to_bits;
      out.push_back(static_cast<std::uint8_t>((acc >> bits) & max_value));
    }
  }
  if (pad) {
    if (bits > 0) out.push_back(static_cast<std::uint8_t>((acc << (to_bits - bits)) & max_value));
  } else if (bits >= from_bits || ((acc << (to_bits - bits)) & max_value) != 0) {
    return fail(ErrorCode::Bech32InvalidPadding);
  }
  return out;
}

Bech32Result<std::string> segwit_v0_encode(std::string_view hrp, std::span<const std::uint8_t> program) {
  if (program.size() != 20 && program.size() != 32) return fail_at(ErrorCode::Bech32InvalidProgramLength, program.size());
  VEK_TRY(groups, convert_bits(program, 8, 5, true));
  groups->insert(groups->begin(), 0);  // witness version 0, written "q"
  return bech32_encode(hrp, *groups, kBech32MaxLength);
}

Bech32Result<SegwitProgram> segwit_decode(std::string_view hrp, std::string_view address) {
  VEK_TRY(decoded, bech32_decode(address, kBech32MaxLength));
  VEK_TRY(want, normalise_hrp(hrp));
  if (decoded->hrp != *want) return fail(ErrorCode::Bech32HrpMismatch);
  if (decoded->data.empty()) return fail_at(ErrorCode::Bech32InvalidProgramLength, 0);  // no version, no program
  const std::uint8_t version = decoded->data[0];
  if (version != 0) return fail_at(ErrorCode::Bech32InvalidWitnessVersion, version);
  VEK_TRY(program, convert_bits(std::span(decoded->data).subspan(1), 5, 8, false));
  if (program->size() != 20 && program->size() != 32) {
    return fail_at(ErrorCode::Bech32InvalidProgramLength, program->size());
  }
  return SegwitProgram{version, std::move(*program)};
}

}  // namespace vek_signer
