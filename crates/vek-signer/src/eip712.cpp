#include "vek/signer/eip712.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "vek/core/json_kind.h"
#include "vek/core/json_value.h"
#include "vek/signer/chains/evm.h"
#include "vek/signer/hex.h"

namespace vek_signer {
namespace {

using json = nlohmann::json;
using Word = std::array<std::uint8_t, 32>;

struct Field {
  std::string name;
  std::string type;
};
using Types = std::map<std::string, std::vector<Field>, std::less<>>;

// A failure, with the member path it concerns.
struct Failure {
  std::string text;
};
template <typename T>
using Result = std::expected<T, Failure>;

std::unexpected<Failure> fail(const std::string& where, const std::string& what) {
  return std::unexpected(Failure{where + ": " + what});
}

std::string got(const json& v) { return ", got " + std::string(vek_core::json_value_kind(v)); }

Word keccak(std::span<const std::uint8_t> bytes) { return keccak256(bytes); }

std::span<const std::uint8_t> text_bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// "0x" followed by hex digits (any even number, none included).
Result<std::vector<std::uint8_t>> hex_value(const json& v, const std::string& where, const std::string& expected) {
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

Result<BigInt> integer_value(const json& v, const std::string& where) {
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
                           v.get_ref<const std::string&>() + "'");
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

// The 32-byte two's complement word of an integer of type uintN or intN.
Result<Word> integer_word(const json& v, unsigned bits, bool is_signed, const std::string& where,
                          const std::string& type) {
  auto n = integer_value(v, where);
  if (!n) return std::unexpected(std::move(n.error()));
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
  if (!fits) return fail(where, "integer out of range for " + type);
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

// ---------------------------------------------------------------- the encoder

class Encoder {
 public:
  explicit Encoder(Types types) : types_(std::move(types)) {}

  // encodeType: the type's own signature, then those of every struct it uses, sorted.
  std::string encode_type(const std::string& primary) const {
    std::set<std::string> deps;
    collect(primary, deps);
    deps.erase(primary);
    std::string out = signature(primary);
    for (const std::string& d : deps) out += signature(d);
    return out;
  }

  Result<Word> hash_struct(const std::string& type, const json& value, const std::string& where) const {
    const auto it = types_.find(type);
    if (!value.is_object()) return fail(where, "expected an object of type " + type + got(value));
    const std::string text = encode_type(type);
    std::vector<std::uint8_t> data;
    data.reserve(32 * (it->second.size() + 1));
    const Word type_hash = keccak(text_bytes(text));
    data.insert(data.end(), type_hash.begin(), type_hash.end());
    for (const Field& f : it->second) {
      const auto member = value.find(f.name);
      const std::string path = where + "." + f.name;
      if (member == value.end()) return fail(path, "missing (" + type + " has a member " + f.name + " of type " + f.type + ")");
      auto word = encode_value(f.type, *member, path);
      if (!word) return std::unexpected(std::move(word.error()));
      data.insert(data.end(), word->begin(), word->end());
    }
    return keccak(data);
  }

  // Every type named by a member is known: a struct, an atomic or dynamic type, or an
  // array of one.
  Result<void> check_types() const {
    for (const auto& [name, fields] : types_) {
      std::set<std::string_view> seen;
      for (const Field& f : fields) {
        const std::string where = "types." + name + "." + f.name;
        if (!seen.insert(f.name).second) return fail("types." + name, "member " + f.name + " is listed twice");
        if (!known(base_type(f.type))) return fail(where, "unknown type '" + f.type + "'");
        if (auto arr = array_of(f.type); arr && arr->bad) return fail(where, "malformed array type '" + f.type + "'");
      }
    }
    return {};
  }

  [[nodiscard]] bool is_struct(std::string_view type) const { return types_.find(type) != types_.end(); }

 private:
  struct Array {
    std::string element;
    std::optional<std::size_t> length;
    bool bad = false;
  };

  // "T[]" or "T[k]" split into T and k; nullopt for a type that is not an array.
  static std::optional<Array> array_of(std::string_view type) {
    if (!type.ends_with("]")) return std::nullopt;
    const std::size_t open = type.rfind('[');
    Array a;
    if (open == std::string_view::npos || open == 0) {
      a.bad = true;
      return a;
    }
    a.element = std::string(type.substr(0, open));
    const std::string_view len = type.substr(open + 1, type.size() - open - 2);
    if (!len.empty()) {
      std::size_t n = 0;
      for (char c : len) {
        if (c < '0' || c > '9' || n > 1000000) {
          a.bad = true;
          return a;
        }
        n = n * 10 + static_cast<std::size_t>(c - '0');
      }
      a.length = n;
    }
    return a;
  }

  static std::string base_type(std::string_view type) {
    while (type.ends_with("]")) {
      const std::size_t open = type.rfind('[');
      if (open == std::string_view::npos || open == 0) break;
      type = type.substr(0, open);
    }
    return std::string(type);
  }

  [[nodiscard]] bool known(const std::string& type) const {
    return is_struct(type) || type == "bool" || type == "address" || type == "string" || type == "bytes" ||
           sized(type, "bytes", 1, 32) || sized(type, "uint", 8, 256) || sized(type, "int", 8, 256);
  }

  void collect(const std::string& type, std::set<std::string>& deps) const {
    const auto it = types_.find(type);
    if (it == types_.end() || !deps.insert(type).second) return;
    for (const Field& f : it->second) collect(base_type(f.type), deps);
  }

  std::string signature(const std::string& type) const {
    std::string out = type + "(";
    const auto& fields = types_.at(type);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i != 0) out += ",";
      out += fields[i].type + " " + fields[i].name;
    }
    return out + ")";
  }

  Result<Word> encode_value(const std::string& type, const json& v, const std::string& where) const {
    if (auto arr = array_of(type)) {
      if (!v.is_array()) return fail(where, "expected an array of type " + type + got(v));
      if (arr->length && v.size() != *arr->length) {
        return fail(where, "expected " + std::to_string(*arr->length) + " elements, got " + std::to_string(v.size()));
      }
      std::vector<std::uint8_t> data;
      data.reserve(32 * v.size());
      for (std::size_t i = 0; i < v.size(); ++i) {
        auto word = encode_value(arr->element, v[i], where + "[" + std::to_string(i) + "]");
        if (!word) return std::unexpected(std::move(word.error()));
        data.insert(data.end(), word->begin(), word->end());
      }
      return keccak(data);
    }
    if (is_struct(type)) return hash_struct(type, v, where);
    if (type == "string") {
      if (!v.is_string()) return fail(where, "expected a string" + got(v));
      return keccak(text_bytes(v.get_ref<const std::string&>()));
    }
    if (type == "bytes") {
      auto bytes = hex_value(v, where, "bytes (0x and hex digits)");
      if (!bytes) return std::unexpected(std::move(bytes.error()));
      return keccak(*bytes);
    }
    Word w{};
    if (type == "bool") {
      if (!v.is_boolean()) return fail(where, "expected true or false" + got(v));
      w[31] = v.get<bool>() ? 1 : 0;
      return w;
    }
    if (type == "address") return address_word(v, where);
    if (auto n = sized(type, "bytes", 1, 32)) {
      auto bytes = hex_value(v, where, type + " (0x and at most " + std::to_string(*n) + " bytes of hex)");
      if (!bytes) return std::unexpected(std::move(bytes.error()));
      if (bytes->size() > *n) {
        return fail(where, "expected at most " + std::to_string(*n) + " bytes for " + type + ", got " +
                               std::to_string(bytes->size()));
      }
      std::copy(bytes->begin(), bytes->end(), w.begin());
      return w;
    }
    if (auto n = sized(type, "uint", 8, 256)) return integer_word(v, *n, false, where, type);
    if (auto n = sized(type, "int", 8, 256)) return integer_word(v, *n, true, where, type);
    return fail(where, "unknown type '" + type + "'");
  }

  static Result<Word> address_word(const json& v, const std::string& where) {
    const std::string expected = "an address (0x and 40 hex digits)";
    auto bytes = hex_value(v, where, expected);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
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

  Types types_;
};

// The domain's type when `types` gives none: the members it has, in the standard order.
std::vector<Field> implied_domain_type(const json& domain) {
  static const Field kOrder[] = {{"name", "string"},
                                 {"version", "string"},
                                 {"chainId", "uint256"},
                                 {"verifyingContract", "address"},
                                 {"salt", "bytes32"}};
  std::vector<Field> out;
  for (const Field& f : kOrder) {
    if (domain.contains(f.name)) out.push_back(f);
  }
  return out;
}

Result<Types> read_types(const json& doc) {
  const auto t = doc.find("types");
  if (t == doc.end()) return fail("types", "missing");
  if (!t->is_object()) return fail("types", "expected an object" + got(*t));
  Types types;
  for (const auto& [name, fields] : t->items()) {
    const std::string where = "types." + name;
    if (name.empty()) return fail("types", "a type has an empty name");
    if (!fields.is_array()) return fail(where, "expected an array of {name, type} objects" + got(fields));
    std::vector<Field> list;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const json& f = fields[i];
      const std::string at = where + "[" + std::to_string(i) + "]";
      if (!f.is_object()) return fail(at, "expected an object with name and type" + got(f));
      const auto n = f.find("name");
      const auto ty = f.find("type");
      if (n == f.end() || !n->is_string()) return fail(at + ".name", "expected a string");
      if (ty == f.end() || !ty->is_string()) return fail(at + ".type", "expected a string");
      list.push_back({n->get<std::string>(), ty->get<std::string>()});
    }
    types.emplace(name, std::move(list));
  }
  return types;
}

Result<Word> digest(std::string_view text) {
  auto parsed = vek_core::json_text::parse(text);
  if (!parsed) return std::unexpected(Failure{"not valid JSON: " + parsed.error()});
  const json& doc = *parsed;
  if (!doc.is_object()) return std::unexpected(Failure{"expected a JSON object" + got(doc)});
  auto types = read_types(doc);
  if (!types) return std::unexpected(std::move(types.error()));

  const auto primary = doc.find("primaryType");
  if (primary == doc.end() || !primary->is_string()) return fail("primaryType", "expected the name of a type");
  const auto domain = doc.find("domain");
  if (domain == doc.end() || !domain->is_object()) {
    return fail("domain", domain == doc.end() ? "missing" : "expected an object" + got(*domain));
  }
  if (!types->contains("EIP712Domain")) types->emplace("EIP712Domain", implied_domain_type(*domain));
  const std::string primary_type = primary->get<std::string>();
  if (!types->contains(primary_type)) return fail("primaryType", "'" + primary_type + "' is not one of the types");

  const Encoder encoder(std::move(*types));
  if (auto ok = encoder.check_types(); !ok) return std::unexpected(std::move(ok.error()));
  auto domain_hash = encoder.hash_struct("EIP712Domain", *domain, "domain");
  if (!domain_hash) return std::unexpected(std::move(domain_hash.error()));

  std::vector<std::uint8_t> data = {0x19, 0x01};
  data.insert(data.end(), domain_hash->begin(), domain_hash->end());
  if (primary_type != "EIP712Domain") {
    const auto message = doc.find("message");
    if (message == doc.end()) return fail("message", "missing");
    auto message_hash = encoder.hash_struct(primary_type, *message, "message");
    if (!message_hash) return std::unexpected(std::move(message_hash.error()));
    data.insert(data.end(), message_hash->begin(), message_hash->end());
  }
  return keccak(data);
}

}  // namespace

SignerResult<std::array<std::uint8_t, kKeccak256Bytes>> typed_data_hash(std::string_view json) {
  auto d = digest(json);
  if (!d) return signer_error(SignerErrorKind::InvalidMessage, "typed data: " + d.error().text);
  return *d;
}

}  // namespace vek_signer
