#include "vek/signer/eip712.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "eip712_values.h"

#include "vek/core/json_value.h"
#include "evm/signer.h"

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

using namespace eip712;  // NOLINT: the encoder is written in the values' terms

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
  if (auto n = integer_text(value)) return *n;
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
