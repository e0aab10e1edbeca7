// Changing a wallet's passphrase in place: the same secret in a new envelope.
#include <utility>

#include "vek/lib/ops.h"
#include "vek/lib/vault.h"
#include "vek/signer/crypto.h"
#include "vek/signer/crypto_json.h"

namespace vek_lib {

VekResult<void> change_passphrase(std::string_view name_or_id, OptText old_passphrase, OptText new_passphrase,
                                  OptText vault) {
  VEK_TRY(stored, load_stored_wallet(name_or_id, vault));
  vek_core::EncryptedWallet& wallet = stored->wallet;
  VEK_TRY(plain, decrypt_wallet(wallet, old_passphrase));
  // A secret that does not give the listed accounts is not sealed again: the new
  // envelope would vouch for addresses that are not the secret's. Accounts derived under
  // a BIP-39 passphrase cannot be checked without it; the phrase itself is.
  if (wallet.bip39_passphrase && wallet.key_type == vek_core::KeyType::Mnemonic) {
    if (auto phrase = parse_mnemonic_secret(*plain); !phrase) return std::unexpected(std::move(phrase.error()));
  } else if (auto checked = check_stored_accounts(wallet, *plain); !checked) {
    return std::unexpected(std::move(checked.error()));
  }
  auto envelope = vek_signer::encrypt(plain->span(), new_passphrase.value_or(""));
  if (!envelope) return std::unexpected(VekLibError(std::move(envelope.error())));
  nlohmann::json replaced = std::exchange(wallet.crypto, vek_signer::envelope_to_json(*envelope));
  return save_encrypted_wallet(wallet, vault, stored->file_name, &replaced);
}

}  // namespace vek_lib
