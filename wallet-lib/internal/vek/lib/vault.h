// The vault: a directory of wallet files "{id}.json" below "{vault}/wallets".
//
// Every operation takes the caller's optional vault directory; without one it is the
// data directory of the configuration ($HOME/.vek). Nothing is cached: each call reads
// the directory afresh. Directories are kept at mode 0700 and files at 0600. Warnings
// go to standard error as single lines starting "warning: " and never change a result.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "vek/core/wallet_file.h"
#include "vek/lib/error.h"

namespace vek_lib {

// The caller's vault directory, or none for the default.
using VaultPath = std::optional<std::string_view>;

// The vault directory: `vault` taken literally (no ~ or variable expansion), else
// vek_core::data_dir(). Cannot fail.
[[nodiscard]] std::filesystem::path resolve_vault_path(VaultPath vault);

// Creates "{vault}/wallets" with any missing parents, then sets the vault directory and
// the wallets directory to 0700 (set_dir_permissions).
// Returns: the wallets directory. Error: Io when a directory cannot be created.
[[nodiscard]] VekResult<std::filesystem::path> wallets_dir(VaultPath vault);

// Sets `path` to 0700; on failure writes
// "warning: failed to set permissions on {path}: {error}".
void set_dir_permissions(const std::filesystem::path& path);

// Writes "warning: {path} has permissions {mode}, expected 0700" ({mode} in octal, at
// least four digits) when the permission bits of `path` are not 0700. Silent when its
// metadata cannot be read.
void check_vault_permissions(const std::filesystem::path& path);

// Writes `wallet` as "{id}.json" in the wallets directory, replacing a file of the same
// id. The text goes to a new owner-only temporary file in the same directory, which is
// flushed to disk and then renamed over the wallet file, so a crash or a full disk
// leaves either the old file or the new one, never a partial one.
// Errors: InvalidInput "wallet id is not a plain file name: '{id}'" (empty, "." or "..",
// or containing '/' or a NUL byte), Io, Json (a text that is not valid UTF-8).
[[nodiscard]] VekResult<void> save_encrypted_wallet(const vek_core::EncryptedWallet& wallet, VaultPath vault);

// Every readable wallet file ("*.json") of the vault, newest created_at first (equal
// times keep directory order). A file that cannot be read or parsed is skipped with
// "warning: skipping {path}: {error}". Errors: Io (directory creation or reading).
[[nodiscard]] VekResult<std::vector<vek_core::EncryptedWallet>> list_encrypted_wallets(VaultPath vault);

// The wallet whose id equals `name_or_id` exactly; else the only wallet with that name.
// Errors: WalletNotFound, AmbiguousWallet (two or more wallets with that name), and
// those of list_encrypted_wallets.
[[nodiscard]] VekResult<vek_core::EncryptedWallet> load_wallet_by_name_or_id(std::string_view name_or_id,
                                                                           VaultPath vault);

// Whether any wallet's name equals `name` exactly. Errors: those of list_encrypted_wallets.
[[nodiscard]] VekResult<bool> wallet_name_exists(std::string_view name, VaultPath vault);

// Removes "{id}.json" from the wallets directory.
// Errors: WalletNotFound "{id}" when that file's metadata cannot be read, or when `id`
// is not a plain file name (nothing outside the wallets directory is ever touched);
// Io when removal fails; those of wallets_dir.
[[nodiscard]] VekResult<void> delete_wallet_file(std::string_view id, VaultPath vault);

}  // namespace vek_lib
