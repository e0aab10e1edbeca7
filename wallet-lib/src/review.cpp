// The endpoint a transaction would go to, and the public key an account signs with.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <optional>
#include <string>

#include "secret/stored_key.h"
#include "transactions/rpc.h"
#include "vek/core/config.h"
#include "vek/core/json_reader.h"
#include "vek/core/support.h"
#include "vek/lib/caller.h"
#include "vek/lib/endpoint.h"
#include "vek/lib/interchange.h"
#include "vek/lib/vault.h"
#include "vek/signer/chains.h"
#include "vek/lib/broadcast.h"
#include "vek/signer/hex.h"
#include "vek/signer/public_key.h"

namespace vek_lib {

VekResult<Endpoint> rpc_endpoint(std::string_view chain) {
  VEK_TRY(c, resolve_chain(chain));
  return rpc_endpoint(*c);
}

namespace {

// The configuration file as the application API reads it: none when there is no file; an
// error when it exists and cannot be used (rpc_endpoint's texts).
VekResult<std::optional<vek_core::Config>> usable_config(const std::filesystem::path& file) {
  // The same checks broadcasting applies (a file another user controls is refused).
  auto config = vek_core::Config::load_or_default_from(file);
  if (!config) return std::unexpected(VekLibError::io(std::move(config.error())));
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 && errno == ENOENT) return std::nullopt;  // no file
  std::string text;
  const auto read = vek_core::read_regular_file(AT_FDCWD, file.c_str(), text);
  const std::string shown = vek_core::json_text::one_line(file.native());
  if (!read) {
    return std::unexpected(
        VekLibError::invalid_input("the configuration file " + shown + " is not used: " + read.error()));
  }
  auto user = vek_core::Config::parse(text);
  if (!user) {
    return std::unexpected(
        VekLibError::invalid_input("the configuration file " + shown + " is not used: " + user.error()));
  }
  return std::move(*user);
}

bool timeout_in_range(double seconds) { return std::isfinite(seconds) && seconds > 0 && seconds <= kMaxTimeoutSeconds; }

}  // namespace

VekResult<Endpoint> rpc_endpoint(const vek_core::Chain& chain) {
  const vek_core::Chain* c = &chain;
  const std::filesystem::path file = vek_core::config_file_path();
  Endpoint e{std::string(c->default_rpc_url), "built-in", file.native()};
  VEK_TRY(user, usable_config(file));
  if (*user) {
    if (const auto it = (*user)->rpc.find(std::string(c->chain_id)); it != (*user)->rpc.end()) {
      e.url = it->second;
      e.source = "configuration";
    }
  }
  // A chain given by its id alone has no built-in endpoint; an empty URL is never an endpoint.
  if (e.url.empty()) return std::unexpected(no_endpoint(*c));
  return e;
}

VekResult<double> request_timeout(std::optional<double> given) {
  if (given) {
    if (!timeout_in_range(*given)) {
      return std::unexpected(VekLibError::invalid_input("timeout must be a number of seconds above 0 and at most " +
                                                        seconds_text(kMaxTimeoutSeconds) + ", not " + seconds_text(*given)));
    }
    return *given;
  }
  const std::filesystem::path file = vek_core::config_file_path();
  VEK_TRY(user, usable_config(file));
  if (!*user || !(*user)->timeout) return kDefaultTimeoutSeconds;
  const nlohmann::json& t = *(*user)->timeout;
  if (!t.is_number() || !timeout_in_range(t.get<double>())) {
    return std::unexpected(VekLibError::invalid_input(
        "the configuration file " + vek_core::json_text::one_line(file.native()) +
        " is not used: invalid value for `timeout`: expected a number of seconds above 0 and at most " +
        seconds_text(kMaxTimeoutSeconds) + ", found " + (t.is_number() ? seconds_text(t.get<double>()) : t.type_name())));
  }
  return t.get<double>();
}

VekResult<std::string> public_key(std::string_view name_or_id, std::string_view chain, OptText passphrase,
                                  OptText vault, OptText bip39_passphrase) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(key, wallet_account_key(name_or_id, *c, passphrase, vault, bip39_passphrase));
  auto pk = vek_signer::public_key(vek_signer::signer_for_chain(c->chain_type)->curve(), key->span());
  if (!pk) return std::unexpected(VekLibError(std::move(pk.error())));
  return vek_signer::hex_encode(*pk);
}

}  // namespace vek_lib
