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
  VEK_TRY(m, member(obj, key, path));
  if (!(*m)->is_string()) return std::unexpected(wrong_type(path, "a string", **m));
  return (*m)->get_ref<const std::string&>();
}

std::expected<std::uint32_t, std::string> u32_member(const json& obj, const char* key, std::string_view path) {
  VEK_TRY(m, member(obj, key, path));
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
  VEK_TRY(cipher, string_member(v, "cipher", "cipher"));
  e.cipher = std::move(*cipher);

  VEK_TRY(cp, object_member(v, "cipherparams", "cipherparams"));
  VEK_TRY(iv, string_member(**cp, "iv", "cipherparams.iv"));
  e.cipherparams.iv = std::move(*iv);

  VEK_TRY(ct, string_member(v, "ciphertext", "ciphertext"));
  e.ciphertext = std::move(*ct);
  VEK_TRY(tag, string_member(v, "auth_tag", "auth_tag"));
  e.auth_tag = std::move(*tag);
  VEK_TRY(kdf, string_member(v, "kdf", "kdf"));
  e.kdf = std::move(*kdf);

  VEK_TRY(kp, object_member(v, "kdfparams", "kdfparams"));
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
    VEK_TRY(n, u32_member(k, f.key, f.path));
    e.kdfparams.*f.field = *n;
  }
  VEK_TRY(salt, string_member(k, "salt", "kdfparams.salt"));
  e.kdfparams.salt = std::move(*salt);
  return e;
}

}  // namespace vek_signer
