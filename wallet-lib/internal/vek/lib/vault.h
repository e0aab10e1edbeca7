// The vault: a directory of wallet files "{id}.json" below "{vault}/wallets".
//
// Every operation takes the caller's optional vault directory; without one it is the
// data directory of the configuration ($HOME/.vek). Nothing is cached: each call reads
// the directory afresh. Directories are created and kept at mode 0700 and files at 0600;
// a vault or wallets directory another user could change is refused (wallets_dir).
// Warnings go to standard error as single lines starting "warning: " and never change a
// result; paths in warnings and errors show control characters as JSON escapes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
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

// Creates the vault directory with any missing parents and "wallets" inside it (each new
// directory 0700), and sets both to 0700 through descriptors, on failure writing
// "warning: failed to set permissions on {path}: {error}". A directory another user
// could change is refused, so nobody else can swap wallet files or lead the permission
// change to a directory of their choosing.
// Returns: the wallets directory. Errors: Io when a directory cannot be created or
// opened, and Io for each refusal:
//   "refusing to use {path}: owned by uid {uid}, not by the calling user (uid {euid})";
//   "refusing to use {path}: writable by group or others (mode {mode})" (its mode could
//     not be set);
//   "refusing to follow the symbolic link {path}" (the wallets directory as a link, or
//     the vault directory as a link the caller does not own).
[[nodiscard]] VekResult<std::filesystem::path> wallets_dir(VaultPath vault);

// Sets the directory `path` (a final symbolic link not followed) to 0700; on failure
// writes "warning: failed to set permissions on {path}: {error}".
void set_dir_permissions(const std::filesystem::path& path);

// Writes "warning: {path} has permissions {mode}, expected 0700" ({mode} in octal, at
// least four digits) when the permission bits of `path` are not 0700. Silent when its
// metadata cannot be read.
void check_vault_permissions(const std::filesystem::path& path);

// A wallet as the vault holds it: the record and the name of the file in the wallets
// directory it was read from, which need not be "{id}.json" (a copied file, a restored
// backup).
struct StoredWallet {
  vek_core::EncryptedWallet wallet;
  std::string file_name;
};

// Writes `wallet` as `file_name` (by default "{id}.json") in the wallets directory,
// replacing a file that holds the same wallet (the same id and encrypted secret). The
// text goes to a new owner-only temporary file in the same directory, which is flushed
// to disk and then renamed over the wallet file, so a crash or a full disk leaves either
// the old file or the new one, never a partial one.
// Errors: InvalidInput "wallet id is not a plain file name: '{id}'" (empty, "." or "..",
// or containing '/' or a NUL byte); InvalidInput "not a wallet file name: '{file_name}'"
// (not a plain name ending in ".json"); InvalidInput "the wallet file would be larger than the limit of 67108864 bytes" (the
// listing could not read it back); Io "refusing to replace {path}: it holds a different
// wallet" (or nothing readable); Io; Json (a text that is not valid UTF-8); those of
// wallets_dir.
// With `replaced_crypto`, a file holding the same id with that encrypted secret may be
// replaced too: a new envelope for the same secret (a changed passphrase).
[[nodiscard]] VekResult<void> save_encrypted_wallet(const vek_core::EncryptedWallet& wallet, VaultPath vault,
                                                    std::optional<std::string_view> file_name = std::nullopt,
                                                    const nlohmann::json* replaced_crypto = nullptr);

// Every readable wallet file ("*.json") of the vault, newest created_at first (equal
// times keep directory order). A file that cannot be read or parsed is skipped with
// "warning: skipping {path}: {error}". Errors: Io (directory creation or reading).
[[nodiscard]] VekResult<std::vector<vek_core::EncryptedWallet>> list_encrypted_wallets(VaultPath vault);

// The wallet whose id equals `name_or_id` exactly; else the only wallet with that name.
// Errors: WalletNotFound, AmbiguousWallet (two or more wallets with that name), and
// those of list_encrypted_wallets.
[[nodiscard]] VekResult<vek_core::EncryptedWallet> load_wallet_by_name_or_id(std::string_view name_or_id,
                                                                           VaultPath vault);

// load_wallet_by_name_or_id, with the file the wallet was read from.
[[nodiscard]] VekResult<StoredWallet> load_stored_wallet(std::string_view name_or_id, VaultPath vault);

// Whether any wallet's name equals `name` exactly. Errors: those of list_encrypted_wallets.
[[nodiscard]] VekResult<bool> wallet_name_exists(std::string_view name, VaultPath vault);

// Removes "{id}.json" from the wallets directory.
// Errors: WalletNotFound "{id}" when that file's metadata cannot be read, or when `id`
// is not a plain file name (nothing outside the wallets directory is ever touched);
// Io when removal fails; those of wallets_dir.
[[nodiscard]] VekResult<void> delete_wallet_file(std::string_view id, VaultPath vault);

// Removes the file `stored` was read from, if it still holds that wallet (the same id
// and encrypted secret). Errors: WalletNotFound "{id}" when the file is gone; Io
// "refusing to remove {path}: it holds a different wallet" (or nothing readable); Io
// when removal fails; those of wallets_dir.
[[nodiscard]] VekResult<void> delete_stored_wallet(const StoredWallet& stored, VaultPath vault);

}  // namespace vek_lib
