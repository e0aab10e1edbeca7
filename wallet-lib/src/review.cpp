// The endpoint a transaction would go to, and the public key an account signs with.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "secret/stored_key.h"
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

VekResult<Endpoint> rpc_endpoint(const vek_core::Chain& chain) {
  const vek_core::Chain* c = &chain;
  const std::filesystem::path file = vek_core::config_file_path();
  // The same checks broadcasting applies (a file another user controls is refused).
  auto config = vek_core::Config::load_or_default_from(file);
  if (!config) return std::unexpected(VekLibError::io(std::move(config.error())));
  Endpoint e{std::string(c->default_rpc_url), "built-in", file.native()};
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 && errno == ENOENT) {  // no file: the built-in endpoints
    // A chain given by its id alone has none; an empty URL is never an endpoint.
    if (e.url.empty()) return std::unexpected(no_endpoint(*c));
    return e;
  }
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
  if (const auto it = user->rpc.find(std::string(c->chain_id)); it != user->rpc.end()) {
    e.url = it->second;
    e.source = "configuration";
  }
  if (e.url.empty()) return std::unexpected(no_endpoint(*c));
  return e;
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
