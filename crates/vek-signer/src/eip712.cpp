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

// Cost. The document is parsed once (at most kMaxTypedDataBytes, nesting bounded by the
// JSON reader). Every member type is resolved once, before any value is read; each
// struct's encodeType and its hash are made once per document, when a value of it is
// first hashed, and the encodings made add up to at most kMaxTypedDataTypeEncodings.
// A value is then encoded in time linear in its size. No recursion follows the types:
// the dependencies of a struct are collected with an explicit stack. Encoding a value
// recurses once per level of the value's own JSON nesting, each level an array or an
// object of the document, so its depth is bounded by the reader's nesting limit. Member
// paths for error messages are built only when an error is reported.

namespace vek_signer {
namespace {

using json = nlohmann::json;
using Word = std::array<std::uint8_t, 32>;

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

// Where a value lies in the document: a chain of links on the encoder's stack, written
// out ("message.to.wallet", "message.items[3]") only when an error names it.
struct Path {
  const Path* parent = nullptr;
  std::string_view member;  // the member's name, or the root ("domain", "message")
  std::size_t index = 0;    // the element's index when `member` is empty
};

std::string path_text(const Path& at) {
  std::vector<const Path*> links;
  for (const Path* p = &at; p != nullptr; p = p->parent) links.push_back(p);
  std::string out;
  for (auto it = links.rbegin(); it != links.rend(); ++it) {
    const Path& p = **it;
    if (p.parent == nullptr) {
      out += p.member;
    } else if (!p.member.empty()) {
      out += "." + std::string(p.member);
    } else {
      out += "[" + std::to_string(p.index) + "]";
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

// ---------------------------------------------------------------- types

// A member's type as written, and resolved once: its base type and its array dimensions.
struct MemberType {
  enum class Base : std::uint8_t { Struct, Bool, Address, String, Bytes, FixedBytes, Uint, Int };
  struct Dimension {
    std::optional<std::size_t> length;  // T[k]; none for T[]
    std::size_t text_length;            // the length of the text of the array type ("T[2][]")
  };
  explicit MemberType(std::string written) : text(std::move(written)) {}

  std::string text;
  Base base = Base::Bool;
  unsigned size = 0;                  // N of bytesN, uintN, intN
  std::size_t struct_id = 0;          // the struct, for Base::Struct
  std::vector<Dimension> dimensions;  // outermost first
};

struct Member {
  std::string name;
  MemberType type;
};

struct Struct {
  std::string name;
  std::vector<Member> members;
  std::optional<Word> type_hash;  // made when first needed
};

// The types of a document, in name order (encodeType lists dependencies in that order).
struct Types {
  std::vector<Struct> structs;
  std::map<std::string, std::size_t, std::less<>> ids;

  void add(std::string name, std::vector<Member> members) {
    ids.emplace(name, 0);
    structs.push_back({std::move(name), std::move(members), std::nullopt});
  }
  // Renumbers after the last add, so that ids follow name order.
  void index() {
    std::sort(structs.begin(), structs.end(), [](const Struct& a, const Struct& b) { return a.name < b.name; });
    for (std::size_t i = 0; i < structs.size(); ++i) ids[structs[i].name] = i;
  }
  [[nodiscard]] std::optional<std::size_t> find(std::string_view name) const {
    const auto it = ids.find(name);
    if (it == ids.end()) return std::nullopt;
    return it->second;
  }
};

// The outermost array of "T[]" or "T[k]": the element type's text length and k; `bad`
// for brackets that are not an array's.
struct ArraySuffix {
  std::size_t element_length = 0;
  std::optional<std::size_t> length;
  bool bad = false;
};

std::optional<ArraySuffix> array_suffix(std::string_view type) {
  if (!type.ends_with("]")) return std::nullopt;
  const std::size_t open = type.rfind('[');
  ArraySuffix a;
  if (open == std::string_view::npos || open == 0) {
    a.bad = true;
    return a;
  }
  a.element_length = open;
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

// Resolves a member's type text. Errors as check_types names them: "unknown type" when
// the base type is not known, "malformed array type" for brackets that are not arrays'.
enum class Resolve : std::uint8_t { Ok, Unknown, Malformed };
Resolve resolve(const Types& types, MemberType& t) {
  std::string_view base = t.text;
  bool malformed = false;
  while (base.ends_with("]")) {
    const auto a = array_suffix(base);
    if (a->bad && a->element_length == 0) break;  // no '[' to strip: the base is what remains
    malformed = malformed || a->bad;
    t.dimensions.push_back({a->length, base.size()});
    base = base.substr(0, a->element_length);
  }
  using B = MemberType::Base;
  if (const auto id = types.find(base)) {
    t.base = B::Struct;
    t.struct_id = *id;
  } else if (base == "bool") {
    t.base = B::Bool;
  } else if (base == "address") {
    t.base = B::Address;
  } else if (base == "string") {
    t.base = B::String;
  } else if (base == "bytes") {
    t.base = B::Bytes;
  } else if (const auto n = sized(base, "bytes", 1, 32)) {
    t.base = B::FixedBytes;
    t.size = *n;
  } else if (const auto u = sized(base, "uint", 8, 256)) {
    t.base = B::Uint;
    t.size = *u;
  } else if (const auto i = sized(base, "int", 8, 256)) {
    t.base = B::Int;
    t.size = *i;
  } else {
    return Resolve::Unknown;
  }
  return malformed ? Resolve::Malformed : Resolve::Ok;
}

// ---------------------------------------------------------------- the encoder

class Encoder {
 public:
  explicit Encoder(Types& types) : types_(types) {}

  Result<Word> hash_struct(std::size_t id, const json& value, const Path& where) {
    const Struct& s = types_.structs[id];
    if (!value.is_object()) return fail(where, "expected an object of type " + shown(s.name) + got(value));
    std::vector<std::uint8_t> data;
    data.reserve(32 * (s.members.size() + 1));
    VEK_TRY(type_hash, type_hash_of(id));
    data.insert(data.end(), type_hash->begin(), type_hash->end());
    for (const Member& m : s.members) {
      const auto member = value.find(m.name);
      const Path at{&where, m.name};
      if (member == value.end()) {
        return fail(at, "missing (" + shown(s.name) + " has a member " + shown(m.name) + " of type " +
                            shown(m.type.text) + ")");
      }
      VEK_TRY(word, encode_value(m.type, 0, *member, at));
      data.insert(data.end(), word->begin(), word->end());
    }
    return keccak(data);
  }

 private:
  // encodeType's hash: the struct's own signature, then those of every struct it uses,
  // sorted by name; made once. The encodings of a chain of n types add up to n^2/2
  // signatures, so their total length is bounded.
  Result<Word> type_hash_of(std::size_t id) {
    Struct& s = types_.structs[id];
    if (s.type_hash) return *s.type_hash;
    std::vector<char> seen(types_.structs.size(), 0);
    std::vector<std::size_t> deps;
    std::vector<std::size_t> stack = {id};
    seen[id] = 1;
    while (!stack.empty()) {
      const std::size_t at = stack.back();
      stack.pop_back();
      for (const Member& m : types_.structs[at].members) {
        if (m.type.base != MemberType::Base::Struct || seen[m.type.struct_id]) continue;
        seen[m.type.struct_id] = 1;
        deps.push_back(m.type.struct_id);
        stack.push_back(m.type.struct_id);
      }
    }
    std::sort(deps.begin(), deps.end());  // ids follow name order
    std::size_t length = signature_length(s);
    for (const std::size_t d : deps) length += signature_length(types_.structs[d]);
    encoded_ += length;
    if (encoded_ > kMaxTypedDataTypeEncodings) {
      return std::unexpected(Failure{"the encodings of the types add up to more than " +
                                     std::to_string(kMaxTypedDataTypeEncodings) + " bytes"});
    }
    std::string text;
    text.reserve(length);
    append_signature(text, s);
    for (const std::size_t d : deps) append_signature(text, types_.structs[d]);
    s.type_hash = keccak(text_bytes(text));
    return *s.type_hash;
  }

  // The length of "Name(type1 name1,type2 name2)".
  static std::size_t signature_length(const Struct& s) {
    std::size_t n = s.name.size() + 2 + (s.members.empty() ? 0 : s.members.size() - 1);
    for (const Member& m : s.members) n += m.type.text.size() + 1 + m.name.size();
    return n;
  }

  static void append_signature(std::string& out, const Struct& s) {
    out += s.name;
    out += '(';
    for (std::size_t i = 0; i < s.members.size(); ++i) {
      if (i != 0) out += ',';
      out += s.members[i].type.text;
      out += ' ';
      out += s.members[i].name;
    }
    out += ')';
  }

  // The value of `type` with its outer `level` array dimensions taken off. Recurses once
  // per array or object of the value (see the note on cost above).
  Result<Word> encode_value(const MemberType& type, std::size_t level, const json& v, const Path& where) {
    if (level < type.dimensions.size()) {
      const MemberType::Dimension& dim = type.dimensions[level];
      if (!v.is_array()) {
        return fail(where, "expected an array of type " + shown(std::string_view(type.text).substr(0, dim.text_length)) +
                               got(v));
      }
      if (dim.length && v.size() != *dim.length) {
        return fail(where, "expected " + std::to_string(*dim.length) + " elements, got " + std::to_string(v.size()));
      }
      std::vector<std::uint8_t> data;
      data.reserve(32 * v.size());
      for (std::size_t i = 0; i < v.size(); ++i) {
        VEK_TRY(word, encode_value(type, level + 1, v[i], Path{&where, {}, i}));
        data.insert(data.end(), word->begin(), word->end());
      }
      return keccak(data);
    }
    using B = MemberType::Base;
    Word w{};
    switch (type.base) {
      case B::Struct: return hash_struct(type.struct_id, v, where);
      case B::String:
        if (!v.is_string()) return fail(where, "expected a string" + got(v));
        return keccak(text_bytes(v.get_ref<const std::string&>()));
      case B::Bytes: {
        VEK_TRY(bytes, hex_value(v, where, "bytes (0x and hex digits)"));
        return keccak(*bytes);
      }
      case B::Bool:
        if (!v.is_boolean()) return fail(where, "expected true or false" + got(v));
        w[31] = v.get<bool>() ? 1 : 0;
        return w;
      case B::Address: return address_word(v, where);
      case B::FixedBytes: {
        const std::string n = std::to_string(type.size);
        const std::string base = "bytes" + n;
        VEK_TRY(bytes, hex_value(v, where, base + " (0x and at most " + n + " bytes of hex)"));
        if (bytes->size() > type.size) {
          return fail(where, "expected at most " + n + " bytes for " + base + ", got " + std::to_string(bytes->size()));
        }
        std::copy(bytes->begin(), bytes->end(), w.begin());
        return w;
      }
      case B::Uint: return integer_word(v, type.size, false, where, "uint" + std::to_string(type.size));
      case B::Int: return integer_word(v, type.size, true, where, "int" + std::to_string(type.size));
    }
    return fail(where, "unknown type");
  }

  Types& types_;
  std::size_t encoded_ = 0;  // the length of the type encodings made so far
};

// The domain's type when `types` gives none: the members it has, in the standard order.
std::vector<Member> implied_domain_type(const json& domain) {
  static const std::pair<std::string_view, std::string_view> kOrder[] = {{"name", "string"},
                                                                         {"version", "string"},
                                                                         {"chainId", "uint256"},
                                                                         {"verifyingContract", "address"},
                                                                         {"salt", "bytes32"}};
  std::vector<Member> out;
  for (const auto& [name, type] : kOrder) {
    if (domain.contains(name)) out.push_back({std::string(name), MemberType(std::string(type))});
  }
  return out;
}

Result<Types> read_types(const json& doc) {
  const auto t = doc.find("types");
  if (t == doc.end()) return fail("types", "missing");
  if (!t->is_object()) return fail("types", "expected an object" + got(*t));
  if (t->size() > kMaxTypedDataTypes) {
    return std::unexpected(Failure{"more than " + std::to_string(kMaxTypedDataTypes) + " types"});
  }
  Types types;
  for (const auto& [name, fields] : t->items()) {
    const auto where = [&name] { return "types." + shown(name); };
    if (name.empty()) return fail("types", "a type has an empty name");
    if (!fields.is_array()) return fail(where(), "expected an array of {name, type} objects" + got(fields));
    if (fields.size() > kMaxTypedDataMembers) {
      return fail(where(), "more than " + std::to_string(kMaxTypedDataMembers) + " members");
    }
    std::vector<Member> list;
    list.reserve(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const json& f = fields[i];
      const auto at = [&where, i] { return where() + "[" + std::to_string(i) + "]"; };
      if (!f.is_object()) return fail(at(), "expected an object with name and type" + got(f));
      const auto n = f.find("name");
      const auto ty = f.find("type");
      if (n == f.end() || !n->is_string()) return fail(at() + ".name", "expected a string");
      if (ty == f.end() || !ty->is_string()) return fail(at() + ".type", "expected a string");
      list.push_back({n->get<std::string>(), MemberType(ty->get<std::string>())});
    }
    types.add(name, std::move(list));
  }
  return types;
}

// Every type named by a member is known: a struct, an atomic or dynamic type, or an
// array of one. Resolves each member's type.
Result<void> check_types(Types& types) {
  for (Struct& s : types.structs) {
    std::set<std::string_view> seen;
    for (Member& m : s.members) {
      const auto where = [&s, &m] { return "types." + shown(s.name) + "." + shown(m.name); };
      if (!seen.insert(m.name).second) return fail("types." + shown(s.name), "member " + shown(m.name) + " is listed twice");
      switch (resolve(types, m.type)) {
        case Resolve::Ok: break;
        case Resolve::Unknown: return fail(where(), "unknown type '" + shown(m.type.text) + "'");
        case Resolve::Malformed: return fail(where(), "malformed array type '" + shown(m.type.text) + "'");
      }
    }
  }
  return {};
}

// The domain's chainId when its type signs one: in decimal when it reads as an integer,
// else as the JSON the document gives.
std::optional<std::string> domain_chain_id(const Types& types, std::size_t domain_id, const json& domain) {
  const auto& members = types.structs[domain_id].members;
  if (std::none_of(members.begin(), members.end(), [](const Member& m) { return m.name == "chainId"; })) {
    return std::nullopt;
  }
  const json& value = domain.at("chainId");
  if (auto n = integer_value(value, Path{nullptr, "domain"})) return decimal(*n);
  return shown(value.dump());
}

Result<TypedDataDigest> digest(std::string_view text) {
  if (text.size() > kMaxTypedDataBytes) {
    return std::unexpected(Failure{"more than " + std::to_string(kMaxTypedDataBytes) + " bytes"});
  }
  auto parsed = vek_core::json_text::parse(text);
  if (!parsed) return std::unexpected(Failure{"not valid JSON: " + parsed.error()});
  const json& doc = *parsed;
  if (!doc.is_object()) return std::unexpected(Failure{"expected a JSON object" + got(doc)});
  VEK_TRY(types, read_types(doc));

  const auto primary = doc.find("primaryType");
  if (primary == doc.end() || !primary->is_string()) return fail("primaryType", "expected the name of a type");
  const auto domain = doc.find("domain");
  if (domain == doc.end() || !domain->is_object()) {
    return fail("domain", domain == doc.end() ? "missing" : "expected an object" + got(*domain));
  }
  if (!types->find("EIP712Domain")) types->add("EIP712Domain", implied_domain_type(*domain));
  const std::string& primary_type = primary->get_ref<const std::string&>();
  if (!types->find(primary_type)) return fail("primaryType", "'" + shown(primary_type) + "' is not one of the types");
  types->index();
  VEK_TRY_VOID(check_types(*types));

  Encoder encoder(*types);
  const std::size_t domain_id = *types->find("EIP712Domain");
  VEK_TRY(domain_hash, encoder.hash_struct(domain_id, *domain, Path{nullptr, "domain"}));

  std::vector<std::uint8_t> data = {0x19, 0x01};
  data.insert(data.end(), domain_hash->begin(), domain_hash->end());
  if (primary_type != "EIP712Domain") {
    const auto message = doc.find("message");
    if (message == doc.end()) return fail("message", "missing");
    VEK_TRY(message_hash, encoder.hash_struct(*types->find(primary_type), *message, Path{nullptr, "message"}));
    data.insert(data.end(), message_hash->begin(), message_hash->end());
  }
  return TypedDataDigest{keccak(data), domain_chain_id(*types, domain_id, *domain)};
}

}  // namespace

SignerResult<TypedDataDigest> typed_data_digest(std::string_view json) {
  auto d = digest(json);
  if (!d) return signer_error(SignerErrorKind::InvalidMessage, "typed data: " + d.error().text);
  return std::move(*d);
}

SignerResult<std::array<std::uint8_t, kKeccak256Bytes>> typed_data_hash(std::string_view json) {
  VEK_TRY(d, typed_data_digest(json));
  return d->hash;
}

}  // namespace vek_signer
