#include "vek/lib/interchange.h"

#include <cstdio>
#include <string>

#include "refusal.h"
#include "secret/secret_text.h"
#include "vek/core/json_reader.h"
#include "vek/core/utf8.h"
#include "vek/core/wallet_file.h"
#include "vek/lib/secrets.h"
#include "vek/lib/vault.h"

namespace vek_lib {

using vek_core::KeyType;

VekResult<std::string> export_wallet(std::string_view name_or_id, OptText passphrase, OptText vault) {
  VEK_TRY(wallet, load_wallet_by_name_or_id(name_or_id, vault));
  VEK_TRY(plain, decrypt_wallet(*wallet, passphrase));
  if (vek_core::utf8_error(text_of(*plain))) {
    return invalid(wallet->key_type == KeyType::PrivateKey ? "wallet contains invalid key data"
                                                           : "wallet contains invalid UTF-8 mnemonic");
  }
  // A tampered file never blocks the backup: the secret is returned, with a warning.
  // Accounts derived under a BIP-39 passphrase cannot be checked without it.
  if (auto checked = wallet->bip39_passphrase ? VekResult<void>() : check_stored_accounts(*wallet, *plain); !checked) {
    const VekLibError& e = checked.error();
    const bool mismatch = e.code == VekLibErrorKind::InvalidInput || e.code == VekLibErrorKind::Json;
    const std::string line = "warning: the stored accounts of wallet '" + vek_core::json_text::one_line(wallet->name) + "' " +
                             (mismatch ? "do not match its secret" : "could not be checked against its secret: " +
                                                                         e.display()) +
                             "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  return std::string(text_of(*plain));
}

}  // namespace vek_lib
