#include "evm/transaction.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "evm/family.h"
#include "vek/core/json_kind.h"
#include "vek/core/json_value.h"
#include "vek/signer/hex.h"
#include "vek/signer/rlp.h"

namespace vek_signer {
namespace {

using json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;
template <typename T>
using Result = SignerResult<T>;

constexpr std::uint8_t kTypeAccessList = 0x01;
constexpr std::uint8_t kTypeDynamicFee = 0x02;
constexpr std::size_t kWordBytes = 32;
constexpr std::size_t kCounterBytes = 8;  // nonce and gas: 64 bits

constexpr std::string_view kKnownFields[] = {"chainId", "nonce", "gas",  "maxFeePerGas", "maxPriorityFeePerGas",
                                             "gasPrice", "to",   "value", "data",        "input",
                                             "accessList", "type", "from"};

// "transaction fields: " and the parts, appended (GCC 12 misreads chains of string +).
std::unexpected<Error> refuse(std::initializer_list<std::string_view> parts) {
  std::string text = "transaction fields: ";
  for (std::string_view p : parts) text.append(p);
  return signer_error(ErrorCode::InvalidInput, std::move(text));
}
std::unexpected<Error> refuse(std::string_view what) { return refuse({what}); }

std::string kind(const json& v) { return std::string(vek_core::json_value_kind(v)); }

// A field's value; null when absent or JSON null.
const json* field(const json& doc, std::string_view name) {
  const auto it = doc.find(name);
  return it == doc.end() || it->is_null() ? nullptr : &*it;
}

// Bytes from "0x" and hex digits (an even number).
Result<Bytes> hex_bytes(const json& v, std::string_view name) {
  if (!v.is_string()) return refuse({name, " must be 0x-hex text, got ", kind(v)});
  std::string_view s = v.get_ref<const std::string&>();
  if (!s.starts_with("0x") && !s.starts_with("0X")) {
    return refuse({name, " must be 0x-hex text, got '", std::string(s.substr(0, 80)), "'"});
  }
  auto bytes = hex_decode(s.substr(2));
  if (!bytes) return refuse({name, ": ", bytes.error()});
  return std::move(*bytes);
}

// An unsigned integer, big-endian without leading zeros (zero is empty), of at most
// `max_bytes` bytes: a JSON integer, or "0x" and hex digits (an odd number allowed).
Result<Bytes> integer(const json& v, std::string_view name, std::size_t max_bytes = kWordBytes) {
  Bytes out;
  if (v.is_number_unsigned() || (v.is_number_integer() && v.get<std::int64_t>() >= 0)) {
    const std::uint64_t u = v.get<std::uint64_t>();
    for (int shift = 56; shift >= 0; shift -= 8) {
      const auto b = static_cast<std::uint8_t>(u >> shift);
      if (b != 0 || !out.empty()) out.push_back(b);
    }
  } else if (v.is_string()) {
    std::string digits = v.get<std::string>();
    if (!digits.starts_with("0x") && !digits.starts_with("0X")) {
      return refuse({name, " must be an integer or 0x-hex text, got '", digits.substr(0, 80), "'"});
    }
    digits.erase(0, 2);
    if (digits.empty()) return refuse({name, " has no digits"});
    if (digits.size() % 2 == 1) digits.insert(digits.begin(), '0');
    digits.insert(0, "0x");
    VEK_TRY(bytes, hex_bytes(json(digits), name));
    std::size_t lead = 0;
    while (lead < bytes->size() && (*bytes)[lead] == 0) ++lead;
    out.assign(bytes->begin() + static_cast<std::ptrdiff_t>(lead), bytes->end());
  } else {
    return refuse({name, " must be a non-negative integer or 0x-hex text, got ", kind(v)});
  }
  if (out.size() > max_bytes) {
    return refuse({name, " does not fit in ", std::to_string(max_bytes * 8), " bits"});
  }
  return out;
}

Result<std::optional<Bytes>> optional_integer(const json& doc, std::string_view name,
                                              std::size_t max_bytes = kWordBytes) {
  const json* v = field(doc, name);
  if (v == nullptr) return std::optional<Bytes>{};
  VEK_TRY(n, integer(*v, name, max_bytes));
  return std::optional<Bytes>(std::move(*n));
}

Result<Bytes> required_integer(const json& doc, std::string_view name, std::size_t max_bytes = kWordBytes) {
  VEK_TRY(n, optional_integer(doc, name, max_bytes));
  if (!*n) return refuse({name, " is missing"});
  return std::move(**n);
}

// The recipient's 20 bytes; empty for a contract creation.
Result<Bytes> recipient(const json& doc, const vek_core::Chain& chain) {
  const json* v = field(doc, "to");
  if (v == nullptr || (v->is_string() && v->get_ref<const std::string&>().empty())) return Bytes{};
  if (!v->is_string() || !evm_family().is_address(v->get_ref<const std::string&>(), chain)) {
    const bool text = v->is_string();
    return refuse({"to must be an address (0x and 40 hex digits, EIP-55 when mixed case), got ", text ? "'" : "",
                   text ? std::string_view(v->get_ref<const std::string&>()).substr(0, 80) : kind(*v),
                   text ? "'" : ""});
  }
  auto bytes = hex_decode(std::string_view(v->get_ref<const std::string&>()).substr(2));
  return std::move(*bytes);
}

Result<Bytes> call_data(const json& doc) {
  const json* data = field(doc, "data");
  const json* input = field(doc, "input");
  if (data != nullptr && input != nullptr) return refuse("give data or input, not both");
  const json* v = data != nullptr ? data : input;
  if (v == nullptr || (v->is_string() && v->get_ref<const std::string&>().empty())) return Bytes{};
  return hex_bytes(*v, data != nullptr ? "data" : "input");
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes rlp_list(const Bytes& payload) {
  Bytes out = rlp::encode_length(payload.size(), rlp::kListOffset);
  append(out, payload);
  return out;
}

// The RLP of the access list: [[address, [storage key, ...]], ...].
Result<Bytes> access_list(const json& doc, const vek_core::Chain& chain) {
  const json* v = field(doc, "accessList");
  if (v == nullptr) return rlp_list({});
  if (!v->is_array()) return refuse({"accessList must be a list, got ", kind(*v)});
  Bytes entries;
  for (std::size_t i = 0; i < v->size(); ++i) {
    const json& e = (*v)[i];
    std::string at = "accessList[";
    at.append(std::to_string(i)).append("]");
    if (!e.is_object()) return refuse({at, " must be an object, got ", kind(e)});
    for (const auto& [key, _] : e.items()) {
      if (key != "address" && key != "storageKeys") return refuse({at, " has an unknown member '", key, "'"});
    }
    const json* address = field(e, "address");
    if (address == nullptr || !address->is_string() ||
        !evm_family().is_address(address->get_ref<const std::string&>(), chain)) {
      return refuse({at, ".address must be an address (0x and 40 hex digits)"});
    }
    Bytes entry = rlp::encode_bytes(*hex_decode(std::string_view(address->get_ref<const std::string&>()).substr(2)));
    Bytes keys;
    const json* storage = field(e, "storageKeys");
    if (storage != nullptr && !storage->is_array()) return refuse({at, ".storageKeys must be a list"});
    for (std::size_t k = 0; storage != nullptr && k < storage->size(); ++k) {
      std::string key_at = at;
      key_at.append(".storageKeys[").append(std::to_string(k)).append("]");
      VEK_TRY(key, hex_bytes((*storage)[k], key_at));
      if (key->size() != kWordBytes) return refuse({key_at, " must be 32 bytes, got ", std::to_string(key->size())});
      append(keys, rlp::encode_bytes(*key));
    }
    append(entry, rlp_list(keys));
    append(entries, rlp_list(entry));
  }
  return rlp_list(entries);
}

// The type the fields give: 2 with the EIP-1559 fees, 1 with gasPrice and an access list.
Result<std::uint8_t> transaction_type(const json& doc) {
  const bool dynamic = field(doc, "maxFeePerGas") != nullptr || field(doc, "maxPriorityFeePerGas") != nullptr;
  const bool priced = field(doc, "gasPrice") != nullptr;
  std::optional<std::uint8_t> given;
  if (const json* t = field(doc, "type")) {
    VEK_TRY(n, integer(*t, "type", 1));
    given = n->empty() ? 0 : (*n)[0];
  }
  constexpr std::string_view kLegacy =
      "legacy transactions are not signed yet; give maxFeePerGas and maxPriorityFeePerGas";
  if (given && *given == 0) return refuse({"type 0: ", std::string(kLegacy)});
  if (given && *given != kTypeAccessList && *given != kTypeDynamicFee) {
    return refuse({"transaction type ", std::to_string(*given), " is not signed (types 1 and 2 are)"});
  }
  if (dynamic && priced) return refuse("give gasPrice or maxFeePerGas and maxPriorityFeePerGas, not both");
  const std::uint8_t type = given ? *given : dynamic ? kTypeDynamicFee : kTypeAccessList;
  if (type == kTypeDynamicFee && priced) return refuse("a type 2 transaction has no gasPrice");
  if (type == kTypeAccessList && dynamic) return refuse("a type 1 transaction has no maxFeePerGas");
  if (!given && !dynamic && !priced) return refuse("the fees are missing: give maxFeePerGas and maxPriorityFeePerGas");
  if (!given && !dynamic && field(doc, "accessList") == nullptr) {
    return refuse("legacy transactions (gasPrice without an access list) are not signed yet; give maxFeePerGas "
                  "and maxPriorityFeePerGas");
  }
  return type;
}

// The chain's EIP-155 id, big-endian without leading zeros, from its CAIP-2 id.
Bytes chain_number(const vek_core::Chain& chain) {
  const std::string_view caip = chain.chain_id;
  const std::string_view digits = caip.substr(caip.find(':') + 1);
  std::uint64_t id = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), id);
  Bytes out;
  for (int shift = 56; shift >= 0; shift -= 8) {
    const auto b = static_cast<std::uint8_t>(id >> shift);
    if (b != 0 || !out.empty()) out.push_back(b);
  }
  return out;
}

bool less(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

// The fee fields of the type, RLP-encoded in its order.
Result<Bytes> fees(const json& doc, std::uint8_t type) {
  if (type == kTypeAccessList) {
    VEK_TRY(price, required_integer(doc, "gasPrice"));
    return rlp::encode_bytes(*price);
  }
  VEK_TRY(tip, required_integer(doc, "maxPriorityFeePerGas"));
  VEK_TRY(cap, required_integer(doc, "maxFeePerGas"));
  if (less(*cap, *tip)) return refuse("maxPriorityFeePerGas is above maxFeePerGas");
  Bytes out = rlp::encode_bytes(*tip);
  append(out, rlp::encode_bytes(*cap));
  return out;
}

Result<AssembledFields> assemble(const json& doc, const vek_core::Chain& chain) {
  for (const auto& [key, _] : doc.items()) {
    if (std::find(std::begin(kKnownFields), std::end(kKnownFields), key) == std::end(kKnownFields)) {
      return refuse({"unknown field '", key.substr(0, 80), "'"});
    }
  }
  VEK_TRY(type, transaction_type(doc));
  VEK_TRY(chain_id, optional_integer(doc, "chainId"));
  VEK_TRY(nonce, required_integer(doc, "nonce", kCounterBytes));
  VEK_TRY(fee_fields, fees(doc, *type));
  VEK_TRY(gas, required_integer(doc, "gas", kCounterBytes));
  VEK_TRY(to, recipient(doc, chain));
  VEK_TRY(value, optional_integer(doc, "value"));
  VEK_TRY(data, call_data(doc));
  VEK_TRY(access, access_list(doc, chain));

  Bytes body = rlp::encode_bytes(chain_id->value_or(chain_number(chain)));
  append(body, rlp::encode_bytes(*nonce));
  append(body, *fee_fields);
  append(body, rlp::encode_bytes(*gas));
  append(body, rlp::encode_bytes(*to));
  append(body, rlp::encode_bytes(value->value_or(Bytes{})));
  append(body, rlp::encode_bytes(*data));
  append(body, *access);
  AssembledFields out;
  out.unsigned_tx.push_back(*type);
  append(out.unsigned_tx, rlp_list(body));
  if (const json* from = field(doc, "from")) {
    if (!from->is_string()) return refuse({"from must be an address, got ", kind(*from)});
    out.from = from->get<std::string>();
  }
  return out;
}

}  // namespace

SignerResult<AssembledFields> assemble_evm_transaction(std::string_view fields_json, const vek_core::Chain& chain) {
  auto doc = vek_core::json_text::parse(fields_json);
  if (!doc) return refuse({"not valid JSON: ", doc.error()});
  if (!doc->is_object()) return refuse({"expected an object, got ", kind(*doc)});
  return assemble(*doc, chain);
}

}  // namespace vek_signer
