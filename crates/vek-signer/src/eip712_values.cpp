#include "eip712_values.h"

#include <algorithm>

#include "vek/core/json_kind.h"
#include "evm/signer.h"
#include "vek/signer/hex.h"

namespace vek_signer::eip712 {
namespace {

// ---------------------------------------------------------------- integers

// Magnitude (big-endian, 256 bits) and sign of an integer value.
struct BigInt {
  Word magnitude{};
  bool negative = false;
};

// magnitude = magnitude * base + digit; false past 2^256 - 1.
bool mul_add(Word& m, unsigned base, unsigned digit) {
  unsigned carry = digit;
  for (std::size_t i = m.size(); i-- > 0;) {
    const unsigned x = m[i] * base + carry;
    m[i] = static_cast<std::uint8_t>(x & 0xff);
    carry = x >> 8;
  }
  return carry == 0;
}

unsigned bit_length(const Word& m) {
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (m[i] != 0) return static_cast<unsigned>(8 * (m.size() - i)) - static_cast<unsigned>(__builtin_clz(m[i]) - 24);
  }
  return 0;
}

// The integer in decimal, "-" before a negative one.
std::string decimal(BigInt n) {
  std::string digits;
  do {
    unsigned rest = 0;
    for (std::uint8_t& b : n.magnitude) {
      const unsigned x = rest << 8 | b;
      b = static_cast<std::uint8_t>(x / 10);
      rest = x % 10;
    }
    digits.push_back(static_cast<char>('0' + rest));
  } while (bit_length(n.magnitude) != 0);
  if (n.negative) digits.push_back('-');
  std::reverse(digits.begin(), digits.end());
  return digits;
}

Result<BigInt> integer_value(const json& v, const Path& where) {
  BigInt out;
  if (v.is_number_unsigned() || v.is_number_integer()) {
    std::uint64_t u = 0;
    if (v.is_number_unsigned()) {
      u = v.get<std::uint64_t>();
    } else {
      const std::int64_t i = v.get<std::int64_t>();
      out.negative = i < 0;
      u = out.negative ? 0 - static_cast<std::uint64_t>(i) : static_cast<std::uint64_t>(i);
    }
    for (std::size_t k = 0; k < 8; ++k) out.magnitude[31 - k] = static_cast<std::uint8_t>(u >> (8 * k));
    return out;
  }
  if (v.is_number_float()) {
    return fail(where, "expected an integer, got a number with a fraction, an exponent or more than 64 bits "
                       "(write large integers as strings)");
  }
  if (!v.is_string()) return fail(where, "expected an integer" + got(v));
  std::string_view s = v.get_ref<const std::string&>();
  const auto bad = [&where, &v] {
    return fail(where, "expected an integer (decimal, or 0x and hex digits), got the string '" +
                           shown(v.get_ref<const std::string&>()) + "'");
  };
  if (s.starts_with("-")) {
    out.negative = true;
    s.remove_prefix(1);
  }
  const bool is_hex = s.starts_with("0x") || s.starts_with("0X");
  if (is_hex) s.remove_prefix(2);
  if (s.empty()) return bad();
  for (char c : s) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (is_hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (is_hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return bad();
    }
    if (!mul_add(out.magnitude, is_hex ? 16 : 10, digit)) return fail(where, "integer does not fit in 256 bits");
  }
  if (bit_length(out.magnitude) == 0) out.negative = false;  // "-0"
  return out;
}

}  // namespace



std::unexpected<Failure> fail(const std::string& where, const std::string& what) {
  return std::unexpected(Failure{where + ": " + what});
}

std::string got(const json& v) { return ", got " + std::string(vek_core::json_value_kind(v)); }

// Text taken from the document, as an error message quotes it: up to 96 bytes as they
// are, a longer text as its first and last 40 bytes around "...", so that a message stays
// short whatever the document. A cut never splits a UTF-8 sequence.
std::string shown(std::string_view s) {
  constexpr std::size_t kWhole = 96;
  constexpr std::size_t kEnd = 40;
  if (s.size() <= kWhole) return std::string(s);
  const auto continuation = [&s](std::size_t i) { return (static_cast<unsigned char>(s[i]) & 0xc0) == 0x80; };
  std::size_t head = kEnd;
  while (head > 0 && continuation(head)) --head;
  std::size_t tail = s.size() - kEnd;
  while (tail < s.size() && continuation(tail)) ++tail;
  return std::string(s.substr(0, head)) + "..." + std::string(s.substr(tail));
}

Word keccak(std::span<const std::uint8_t> bytes) { return keccak256(bytes); }

std::span<const std::uint8_t> text_bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}


std::string path_text(const Path& at) {
  std::vector<const Path*> links;
  for (const Path* p = &at; p != nullptr; p = p->parent) links.push_back(p);
  std::string out;
  for (auto it = links.rbegin(); it != links.rend(); ++it) {
    const Path& p = **it;
    if (p.parent == nullptr) {
      out += p.member;
    } else if (!p.member.empty()) {
      out.append(".").append(p.member);
    } else {
      out.append("[").append(std::to_string(p.index)).append("]");
    }
  }
  return shown(out);
}

std::unexpected<Failure> fail(const Path& where, const std::string& what) { return fail(path_text(where), what); }

// "0x" followed by hex digits (any even number, none included).
Result<std::vector<std::uint8_t>> hex_value(const json& v, const Path& where, const std::string& expected) {
  if (!v.is_string()) return fail(where, "expected " + expected + got(v));
  const std::string& s = v.get_ref<const std::string&>();
  if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) {
    return fail(where, "expected " + expected + ", got a string without the 0x prefix");
  }
  auto bytes = hex_decode(std::string_view(s).substr(2));
  if (!bytes) return fail(where, "expected " + expected + ": " + bytes.error());
  return std::move(*bytes);
}

// The number N of "prefix{N}" when N is a multiple of `step` in [step, max].
std::optional<unsigned> sized(std::string_view type, std::string_view prefix, unsigned step, unsigned max) {
  if (!type.starts_with(prefix) || type.size() == prefix.size() || type.size() > prefix.size() + 3) return std::nullopt;
  unsigned n = 0;
  for (char c : type.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (type[prefix.size()] == '0' || n == 0 || n % step != 0 || n > max) return std::nullopt;
  return n;
}

std::optional<std::string> integer_text(const json& v) {
  auto n = integer_value(v, Path{nullptr, ""});
  if (!n) return std::nullopt;
  return decimal(*n);
}

// The 32-byte two's complement word of an integer of type uintN or intN.
Result<Word> integer_word(const json& v, unsigned bits, bool is_signed, const Path& where, std::string_view type) {
  VEK_TRY(n, integer_value(v, where));
  const unsigned len = bit_length(n->magnitude);
  bool fits = false;
  if (!is_signed) {
    fits = !n->negative && len <= bits;
  } else if (!n->negative) {
    fits = len < bits;
  } else {
    // -2^(bits-1) is the one magnitude of `bits` bits that fits.
    Word limit{};
    limit[31 - (bits - 1) / 8] = static_cast<std::uint8_t>(1u << ((bits - 1) % 8));
    fits = len < bits || n->magnitude == limit;
  }
  if (!fits) return fail(where, "integer out of range for " + std::string(type));
  Word w = n->magnitude;
  if (n->negative) {
    unsigned carry = 1;
    for (std::size_t i = w.size(); i-- > 0;) {
      const unsigned x = static_cast<unsigned>(static_cast<std::uint8_t>(~w[i])) + carry;
      w[i] = static_cast<std::uint8_t>(x & 0xff);
      carry = x >> 8;
    }
  }
  return w;
}

Result<Word> address_word(const json& v, const Path& where) {
  const std::string expected = "an address (0x and 40 hex digits)";
  VEK_TRY(bytes, hex_value(v, where, expected));
  if (bytes->size() != EvmSigner::kAddressBytes) return fail(where, "expected " + expected + got(v));
  const std::string& text = v.get_ref<const std::string&>();
  const std::string_view digits = std::string_view(text).substr(2);
  const bool lower = std::none_of(digits.begin(), digits.end(), [](char c) { return c >= 'A' && c <= 'F'; });
  const bool upper = std::none_of(digits.begin(), digits.end(), [](char c) { return c >= 'a' && c <= 'f'; });
  const auto account = std::span<const std::uint8_t, EvmSigner::kAddressBytes>(bytes->data(), EvmSigner::kAddressBytes);
  if (!lower && !upper && EvmSigner::checksum_address(account).substr(2) != digits) {
    return fail(where, "the address '" + text + "' has mixed case but not its EIP-55 checksum");
  }
  Word w{};
  std::copy(bytes->begin(), bytes->end(), w.begin() + 12);
  return w;
}

}  // namespace vek_signer::eip712
