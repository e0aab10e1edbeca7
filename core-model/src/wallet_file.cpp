#include "vek/core/wallet_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "json_text.h"
#include "vek/core/chain_json.h"
#include "vek/core/error.h"

namespace vek_core {
namespace {

using json_text::Reader;
using nlohmann::json;
using nlohmann::ordered_json;
using Step = Reader::Step;

constexpr std::array<std::string_view, 2> kKeyTypeNames = {"mnemonic", "private_key"};

// Remembers the keys a record does not know, so that a repeated unknown key is refused
// like a repeated known one.
struct UnknownKeys {
  std::vector<std::string> seen;
  bool insert(const std::string& key) {
    for (const std::string& k : seen) {
      if (k == key) return false;
    }
    seen.push_back(key);
    return true;
  }
};

enum AccountField : unsigned { kAccountId = 1, kAddress = 2, kChainId = 4, kDerivationPath = 8 };

bool read_account(Reader& r, WalletAccount& a, std::string& key) {
  if (!r.begin_object("a wallet account object")) return false;
  unsigned seen = 0;
  UnknownKeys unknown;
  for (bool first = true;; first = false) {
    const Step step = r.next_member(first, key);
    if (step == Step::Error) return false;
    if (step == Step::End) break;
    const char* key_at = r.key_position();
    unsigned bit = 0;
    std::string* field = nullptr;
    if (key == "account_id") {
      bit = kAccountId;
      field = &a.account_id;
    } else if (key == "address") {
      bit = kAddress;
      field = &a.address;
    } else if (key == "chain_id") {
      bit = kChainId;
      field = &a.chain_id;
    } else if (key == "derivation_path") {
      bit = kDerivationPath;
      field = &a.derivation_path;
    }
    if (field == nullptr) {
      if (!unknown.insert(key)) return r.fail_at(key_at, "duplicate field `" + key + "`");
      if (!r.skip(3)) return false;
      continue;
    }
    if ((seen & bit) != 0) return r.fail_at(key_at, "duplicate field `" + key + "`");
    seen |= bit;
    if (!r.string(*field, key)) return false;
  }
  const char* end_at = r.position() - 1;
  static constexpr std::pair<unsigned, const char*> kRequired[] = {
      {kAccountId, "account_id"}, {kAddress, "address"}, {kChainId, "chain_id"}, {kDerivationPath, "derivation_path"}};
  for (const auto& [bit, name] : kRequired) {
    if ((seen & bit) == 0) return r.fail_at(end_at, std::string("missing field `") + name + "`");
  }
  return true;
}

enum WalletField : unsigned {
  kVersion = 1,
  kId = 2,
  kName = 4,
  kCreatedAt = 8,
  kChainType = 16,
  kAccounts = 32,
  kCrypto = 64,
  kKeyType = 128,
  kMetadata = 256,
  kBip39Passphrase = 512,
  kGeneratedKeys = 1024,
};

WalletField wallet_field(const std::string& key) noexcept {
  switch (key.size()) {
    case 2: return key == "id" ? kId : WalletField{};
    case 4: return key == "name" ? kName : WalletField{};
    case 6: return key == "crypto" ? kCrypto : WalletField{};
    case 8:
      if (key == "accounts") return kAccounts;
      if (key == "key_type") return kKeyType;
      if (key == "metadata") return kMetadata;
      return WalletField{};
    case 10:
      if (key == "created_at") return kCreatedAt;
      if (key == "chain_type") return kChainType;
      return WalletField{};
    case 11: return key == "vek_version" ? kVersion : WalletField{};
    case 14: return key == "generated_keys" ? kGeneratedKeys : WalletField{};
    case 16: return key == "bip39_passphrase" ? kBip39Passphrase : WalletField{};
    default: return WalletField{};
  }
}

bool read_key_type(Reader& r, KeyType& out, std::string& scratch) {
  const char* at = r.position();
  std::expected<std::size_t, std::string> index;
  if (r.peek() == '"') {
    at = r.position();
    if (!r.string(scratch, "key_type")) return false;
    index = json_text::unit_variant_name(scratch, kKeyTypeNames);
  } else {
    at = r.position();
    json v;
    if (!r.value(v, 2)) return false;
    index = json_text::unit_variant(v, kKeyTypeNames);
  }
  if (!index) return r.fail_at(at, index.error());
  out = static_cast<KeyType>(*index);
  return true;
}

bool read_chain_type(Reader& r, std::optional<ChainType>& out) {
  (void)r.peek();
  const char* at = r.position();
  json v;
  if (!r.value(v, 2)) return false;
  if (v.is_null()) {
    out.reset();
    return true;
  }
  auto t = chain_type_from_json(v);
  if (!t) return r.fail_at(at, t.error());
  out = *t;
  return true;
}

bool read_flag(Reader& r, bool& out, const char* field) {
  (void)r.peek();
  const char* at = r.position();
  json v;
  if (!r.value(v, 2)) return false;
  if (!v.is_boolean()) return r.fail_at(at, std::string("invalid type for `") + field + "`: expected a boolean");
  out = v.get<bool>();
  return true;
}

// An array of curve names ("secp256k1", "ed25519"); other names are kept as read.
bool read_names(Reader& r, std::vector<std::string>& out, const char* field) {
  (void)r.peek();
  const char* at = r.position();
  json v;
  if (!r.value(v, 2)) return false;
  const auto text = [](const json& e) { return e.is_string(); };
  if (!v.is_array() || !std::all_of(v.begin(), v.end(), text)) {
    return r.fail_at(at, std::string("invalid type for `") + field + "`: expected an array of strings");
  }
  for (const json& e : v) out.push_back(e.get<std::string>());
  return true;
}

bool read_accounts(Reader& r, std::vector<WalletAccount>& out, std::string& key) {
  if (!r.begin_array("an array of wallet accounts")) return false;
  for (bool first = true;; first = false) {
    const Step step = r.next_element(first);
    if (step == Step::Error) return false;
    if (step == Step::End) return true;
    out.emplace_back();
    if (!read_account(r, out.back(), key)) return false;
  }
}

bool read_wallet(Reader& r, EncryptedWallet& w) {
  if (!r.begin_object("a wallet object")) return false;
  unsigned seen = 0;
  UnknownKeys unknown;
  std::string key;
  for (bool first = true;; first = false) {
    const Step step = r.next_member(first, key);
    if (step == Step::Error) return false;
    if (step == Step::End) break;
    const char* key_at = r.key_position();
    const WalletField field = wallet_field(key);
    if (field == WalletField{}) {
      if (!unknown.insert(key)) return r.fail_at(key_at, "duplicate field `" + key + "`");
      if (!r.skip(2)) return false;
      continue;
    }
    if ((seen & field) != 0) return r.fail_at(key_at, "duplicate field `" + key + "`");
    seen |= field;
    bool ok = false;
    switch (field) {
      case kVersion: ok = r.u32(w.vek_version, "vek_version"); break;
      case kId: ok = r.string(w.id, "id"); break;
      case kName: ok = r.string(w.name, "name"); break;
      case kCreatedAt: ok = r.string(w.created_at, "created_at"); break;
      case kChainType: ok = read_chain_type(r, w.chain_type); break;
      case kAccounts: ok = read_accounts(r, w.accounts, key); break;
      case kCrypto: ok = r.value(w.crypto, 2); break;
      case kKeyType: ok = read_key_type(r, w.key_type, key); break;
      case kMetadata: ok = r.value(w.metadata, 2); break;
      case kBip39Passphrase: ok = read_flag(r, w.bip39_passphrase, "bip39_passphrase"); break;
      case kGeneratedKeys: ok = read_names(r, w.generated_keys, "generated_keys"); break;
    }
    if (!ok) return false;
  }
  const char* end_at = r.position() - 1;
  static constexpr std::pair<unsigned, const char*> kRequired[] = {
      {kVersion, "vek_version"}, {kId, "id"},         {kName, "name"},         {kCreatedAt, "created_at"},
      {kAccounts, "accounts"},   {kCrypto, "crypto"}, {kKeyType, "key_type"}};
  for (const auto& [bit, name] : kRequired) {
    if ((seen & bit) == 0) return r.fail_at(end_at, std::string("missing field `") + name + "`");
  }
  return r.finish();
}

std::string bad_utf8(std::string_view field) { return "invalid UTF-8 in the text of `" + std::string(field) + "`"; }

// The member of `doc` whose text is not UTF-8, the first in file order (a field of an
// account for the accounts); the JSON library's own error does not name it.
std::string invalid_member(const ordered_json& doc) {
  const auto writable = [](const ordered_json& v) {
    try {
      (void)v.dump();
      return true;
    } catch (const ordered_json::type_error&) {
      return false;
    }
  };
  for (const auto& member : doc.items()) {
    if (member.key() != "accounts") {
      if (!writable(member.value())) return member.key();
      continue;
    }
    for (const ordered_json& account : member.value()) {
      for (const auto& field : account.items()) {
        if (!writable(field.value())) return field.key();
      }
    }
  }
  return {};
}

}  // namespace

std::string_view key_type_name(KeyType t) noexcept { return kKeyTypeNames[static_cast<std::size_t>(t)]; }

std::expected<KeyType, std::string> key_type_from_json(const json& value) {
  VEK_TRY(index, json_text::unit_variant(value, kKeyTypeNames));
  return static_cast<KeyType>(*index);
}

std::string format_created_at(std::int64_t unix_seconds, std::uint32_t nanos) {
  const auto t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                        tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string out(buf, static_cast<std::size_t>(n));
  if (nanos != 0) {
    if (nanos % 1000000 == 0) {
      n = std::snprintf(buf, sizeof buf, ".%03u", nanos / 1000000);
    } else if (nanos % 1000 == 0) {
      n = std::snprintf(buf, sizeof buf, ".%06u", nanos / 1000);
    } else {
      n = std::snprintf(buf, sizeof buf, ".%09u", nanos);
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  out += "+00:00";
  return out;
}

std::string created_at_now() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto secs = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - secs);
  return format_created_at(secs.count(), static_cast<std::uint32_t>(nanos.count()));
}

EncryptedWallet EncryptedWallet::make_new(std::string id, std::string name, std::vector<WalletAccount> accounts,
                                          json crypto, KeyType key_type) {
  EncryptedWallet w;
  w.vek_version = 2;
  w.id = std::move(id);
  w.name = std::move(name);
  w.created_at = created_at_now();
  w.accounts = std::move(accounts);
  w.crypto = std::move(crypto);
  w.key_type = key_type;
  return w;
}

std::expected<std::string, std::string> wallet_to_json_text(const EncryptedWallet& w) {
  // Members in file order; generic values keep their own (ascending) key order.
  ordered_json doc = ordered_json::object();
  doc["vek_version"] = w.vek_version;
  doc["id"] = w.id;
  doc["name"] = w.name;
  doc["created_at"] = w.created_at;
  if (w.chain_type) doc["chain_type"] = chain_type_name(*w.chain_type);
  ordered_json accounts = ordered_json::array();
  for (const WalletAccount& a : w.accounts) {
    accounts.push_back({{"account_id", a.account_id},
                        {"address", a.address},
                        {"chain_id", a.chain_id},
                        {"derivation_path", a.derivation_path}});
  }
  doc["accounts"] = std::move(accounts);
  doc["crypto"] = ordered_json(w.crypto);
  doc["key_type"] = key_type_name(w.key_type);
  if (w.bip39_passphrase) doc["bip39_passphrase"] = true;
  if (!w.generated_keys.empty()) doc["generated_keys"] = w.generated_keys;
  if (!w.metadata.is_null()) doc["metadata"] = ordered_json(w.metadata);
  try {
    return doc.dump(2);
  } catch (const ordered_json::type_error&) {
    return std::unexpected(bad_utf8(invalid_member(doc)));
  }
}

std::expected<EncryptedWallet, std::string> wallet_from_json_text(std::string_view text) {
  Reader r(text);
  EncryptedWallet w;
  if (!read_wallet(r, w)) return std::unexpected(std::move(r.error()));
  return w;
}

}  // namespace vek_core
