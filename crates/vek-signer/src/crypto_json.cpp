#include "vek/signer/crypto_json.h"

#include "vek/core/json_kind.h"

#include <cstdint>
#include <limits>
#include <string_view>

namespace vek_signer {
namespace {

using nlohmann::json;

std::string_view found(const json& v) noexcept { return vek_core::json_value_kind(v); }

std::string wrong_type(std::string_view member, std::string_view expected, const json& v) {
  return "invalid type for `" + std::string(member) + "`: expected " + std::string(expected) + ", found " +
         std::string(found(v));
}

// The member `key` of object `obj`, or an error naming `path`.
std::expected<const json*, std::string> member(const json& obj, const char* key, std::string_view path) {
  const auto it = obj.find(key);
  if (it == obj.end()) return std::unexpected("missing field `" + std::string(path) + "`");
  return &*it;
}

std::expected<std::string, std::string> string_member(const json& obj, const char* key, std::string_view path) {
  auto m = member(obj, key, path);
  if (!m) return std::unexpected(std::move(m.error()));
  if (!(*m)->is_string()) return std::unexpected(wrong_type(path, "a string", **m));
  return (*m)->get_ref<const std::string&>();
}

std::expected<std::uint32_t, std::string> u32_member(const json& obj, const char* key, std::string_view path) {
  auto m = member(obj, key, path);
  if (!m) return std::unexpected(std::move(m.error()));
  const json& v = **m;
  if (v.is_number_unsigned()) {
    const auto n = v.get<std::uint64_t>();
    if (n <= std::numeric_limits<std::uint32_t>::max()) return static_cast<std::uint32_t>(n);
    return std::unexpected("invalid value for `" + std::string(path) + "`: " + std::to_string(n) +
                           " is outside the unsigned 32-bit range");
  }
  if (v.is_number_integer()) {
    const auto n = v.get<std::int64_t>();
    if (n >= 0 && n <= static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max())) {
      return static_cast<std::uint32_t>(n);
    }
    return std::unexpected("invalid value for `" + std::string(path) + "`: " + std::to_string(n) +
                           " is outside the unsigned 32-bit range");
  }
  return std::unexpected(wrong_type(path, "an unsigned 32-bit integer", v));
}

std::expected<const json*, std::string> object_member(const json& obj, const char* key, std::string_view path) {
  auto m = member(obj, key, path);
  if (!m) return m;
  if (!(*m)->is_object()) return std::unexpected(wrong_type(path, "an object", **m));
  return m;
}

}  // namespace

json envelope_to_json(const CryptoEnvelope& e) {
  // nlohmann's default object is a std::map: members come out in ascending key order.
  json kdfparams = json::object();
  kdfparams["dklen"] = e.kdfparams.dklen;
  kdfparams["n"] = e.kdfparams.n;
  kdfparams["r"] = e.kdfparams.r;
  kdfparams["p"] = e.kdfparams.p;
  kdfparams["salt"] = e.kdfparams.salt;
  json cipherparams = json::object();
  cipherparams["iv"] = e.cipherparams.iv;
  json out = json::object();
  out["cipher"] = e.cipher;
  out["cipherparams"] = std::move(cipherparams);
  out["ciphertext"] = e.ciphertext;
  out["auth_tag"] = e.auth_tag;
  out["kdf"] = e.kdf;
  out["kdfparams"] = std::move(kdfparams);
  return out;
}

std::expected<CryptoEnvelope, std::string> envelope_from_json(const json& v) {
  if (!v.is_object()) return std::unexpected(wrong_type("crypto", "an object", v));
  CryptoEnvelope e;
  // Members in declaration order, so the first problem reported is stable.
  auto cipher = string_member(v, "cipher", "cipher");
  if (!cipher) return std::unexpected(std::move(cipher.error()));
  e.cipher = std::move(*cipher);

  auto cp = object_member(v, "cipherparams", "cipherparams");
  if (!cp) return std::unexpected(std::move(cp.error()));
  auto iv = string_member(**cp, "iv", "cipherparams.iv");
  if (!iv) return std::unexpected(std::move(iv.error()));
  e.cipherparams.iv = std::move(*iv);

  auto ct = string_member(v, "ciphertext", "ciphertext");
  if (!ct) return std::unexpected(std::move(ct.error()));
  e.ciphertext = std::move(*ct);
  auto tag = string_member(v, "auth_tag", "auth_tag");
  if (!tag) return std::unexpected(std::move(tag.error()));
  e.auth_tag = std::move(*tag);
  auto kdf = string_member(v, "kdf", "kdf");
  if (!kdf) return std::unexpected(std::move(kdf.error()));
  e.kdf = std::move(*kdf);

  auto kp = object_member(v, "kdfparams", "kdfparams");
  if (!kp) return std::unexpected(std::move(kp.error()));
  const json& k = **kp;
  struct U32Field {
    const char* key;
    const char* path;
    std::uint32_t KdfParams::*field;
  };
  static constexpr U32Field kU32[] = {{"dklen", "kdfparams.dklen", &KdfParams::dklen},
                                      {"n", "kdfparams.n", &KdfParams::n},
                                      {"r", "kdfparams.r", &KdfParams::r},
                                      {"p", "kdfparams.p", &KdfParams::p}};
  for (const U32Field& f : kU32) {
    auto n = u32_member(k, f.key, f.path);
    if (!n) return std::unexpected(std::move(n.error()));
    e.kdfparams.*f.field = *n;
  }
  auto salt = string_member(k, "salt", "kdfparams.salt");
  if (!salt) return std::unexpected(std::move(salt.error()));
  e.kdfparams.salt = std::move(*salt);
  return e;
}

}  // namespace vek_signer
