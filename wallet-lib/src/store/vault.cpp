#include "vek/lib/vault.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "vek/core/utf8.h"
#include "vek/lib/ops.h"
#include "vek/core/config.h"
#include "vek/core/json_reader.h"
#include "vek/core/support.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

namespace vek_lib {
namespace {

namespace fs = std::filesystem;
using vek_core::EncryptedWallet;
using vek_core::UniqueFd;
using vek_core::octal_mode;
using vek_core::os_error_text;
using vek_core::warn;

constexpr mode_t kDirMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr std::size_t kNameMax = 255;  // longest file name on common Linux file systems

struct DirClose {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirClose>;

// A wallet id names its file "{id}.json" directly inside the wallets directory; an id
// that is empty, a dot entry, or holds a separator or NUL would name something else.
bool is_plain_file_name(std::string_view id) noexcept {
  return !id.empty() && id != "." && id != ".." && id.find('/') == std::string_view::npos &&
         id.find('\0') == std::string_view::npos;
}

bool is_dir(const fs::path& p) noexcept {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; every directory it makes is owner-only from the start (the umask can only
// take bits away), so none is ever open to others. An existing directory is not an error.
int create_dir_all(const fs::path& p) {
  if (p.empty()) return 0;
  if (::mkdir(p.c_str(), kDirMode) == 0) return 0;
  int err = errno;
  if (err != ENOENT) return is_dir(p) ? 0 : err;
  const fs::path parent = p.parent_path();
  if (parent == p) return err;
  if (const int e = create_dir_all(parent); e != 0) return e;
  if (::mkdir(p.c_str(), kDirMode) == 0) return 0;
  err = errno;
  return is_dir(p) ? 0 : err;
}

// A path as warnings and errors show it: a file name may hold any byte but '/' and NUL,
// and its control characters must not split the line or drive the terminal.
std::string shown(const fs::path& p) { return vek_core::json_text::one_line(p.native()); }

std::unexpected<VekLibError> refuse_dir(const fs::path& path, const std::string& why) {
  return std::unexpected(VekLibError::io("refusing to use " + shown(path) + ": " + why));
}

// Opens the directory `name` of `at` without following a final symbolic link, so that a
// link planted in place of a directory cannot lead the permission change elsewhere. With
// `own_link_ok` a link the caller owns is followed (a vault directory kept on another
// disk); the directory it leads to is checked like any other.
VekResult<UniqueFd> open_dir(int at, const char* name, const fs::path& path, bool own_link_ok) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(at, name, kFlags);
  if (fd >= 0) return UniqueFd(fd);
  int err = errno;
  struct stat st {};
  if ((err == ENOTDIR || err == ELOOP) && ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    if (!own_link_ok || st.st_uid != ::geteuid()) {
      return std::unexpected(VekLibError::io("refusing to follow the symbolic link " + shown(path)));
    }
    fd = ::openat(at, name, kFlags & ~O_NOFOLLOW);
    if (fd >= 0) return UniqueFd(fd);
    err = errno;
  }
  return std::unexpected(VekLibError::io_errno(err));
}

// Sets the open directory `fd` to 0700 and checks that no other user can change it: it
// must be the caller's, and not writable by group or others if its mode could not be set.
VekResult<void> secure_dir(int fd, const fs::path& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::unexpected(VekLibError::io_errno(errno));
  const uid_t me = ::geteuid();
  if (st.st_uid != me) {
    return refuse_dir(path, "owned by uid " + std::to_string(st.st_uid) + ", not by the calling user (uid " +
                                std::to_string(me) + ")");
  }
  if (::fchmod(fd, kDirMode) == 0) return {};
  warn("failed to set permissions on " + shown(path) + ": " + os_error_text(errno));
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return refuse_dir(path, "writable by group or others (mode " + octal_mode(st.st_mode) + ")");
  }
  return {};
}

// The wallets directory of a vault: its path and a descriptor every later step uses, so
// that what was checked is what is written to and read from.
struct WalletsDir {
  fs::path path;
  UniqueFd fd;
};

// Whether this thread's reads create a missing vault (ScopedCreateOnWrite).
thread_local bool t_reads_create = true;

// The wallets directory, created with the vault directory when missing if `create`;
// otherwise none when either does not exist.
VekResult<std::optional<WalletsDir>> open_wallets_dir(VaultPath vault, bool create) {
  const fs::path root = resolve_vault_path(vault);
  if (root.native().find('\0') != std::string::npos) return std::unexpected(VekLibError::io_errno(EINVAL));
  // An empty vault path names the working directory.
  const char* root_name = root.empty() ? "." : root.c_str();
  struct stat st {};
  if (::lstat(root_name, &st) != 0) {
    if (errno != ENOENT) return std::unexpected(VekLibError::io_errno(errno));
    if (!create) return std::nullopt;
    if (const int err = create_dir_all(root); err != 0) return std::unexpected(VekLibError::io_errno(err));
  }
  VEK_TRY(root_fd, open_dir(AT_FDCWD, root_name, root, true));
  if (auto ok = secure_dir(root_fd->get(), root); !ok) return std::unexpected(std::move(ok.error()));
  // Made only inside a vault directory that passed the checks.
  fs::path wallets = root / "wallets";
  if (!create) {
    if (::fstatat(root_fd->get(), "wallets", &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) return std::nullopt;
  } else if (::mkdirat(root_fd->get(), "wallets", kDirMode) != 0) {
    const int err = errno;
    if (err != EEXIST || (::fstatat(root_fd->get(), "wallets", &st, 0) == 0 && !S_ISDIR(st.st_mode))) {
      return std::unexpected(VekLibError::io_errno(err));
    }
  }
  VEK_TRY(fd, open_dir(root_fd->get(), "wallets", wallets, false));
  if (auto ok = secure_dir(fd->get(), wallets); !ok) return std::unexpected(std::move(ok.error()));
  return WalletsDir{std::move(wallets), std::move(*fd)};
}

// The wallets directory for writing: created when missing.
VekResult<WalletsDir> open_wallets_dir(VaultPath vault) {
  VEK_TRY(dir, open_wallets_dir(vault, true));
  return std::move(**dir);
}

// The wallets directory for reading: none when missing and this thread's reads create nothing.
VekResult<std::optional<WalletsDir>> open_wallets_dir_to_read(VaultPath vault) {
  return open_wallets_dir(vault, t_reads_create);
}

// The file name a listing takes: an extension of exactly "json" after a non-empty stem
// (".json" alone is a hidden file without extension).
bool has_json_extension(std::string_view name) noexcept {
  return name.size() > 5 && name.substr(name.size() - 5) == ".json";
}

// True when all of `text` is ASCII, checked a word at a time (wallet files nearly always are).
bool all_ascii(std::string_view text) noexcept {
  std::size_t i = 0;
  std::uint64_t acc = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    acc |= w;
  }
  for (; i < text.size(); ++i) acc |= static_cast<unsigned char>(text[i]);
  return (acc & 0x8080808080808080ull) == 0;
}

// Writes all of `data` to `fd`. Returns 0 or the errno.
int write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

// A temporary name in the wallets directory that the listing never takes (it does not
// end in ".json") and that no other writer picks.
VekResult<std::string> temp_name(std::string_view id) {
  std::uint8_t rnd[8];
  if (auto r = vek_signer::os_random(rnd); !r) return std::unexpected(VekLibError::io(r.error()));
  std::string name;
  name.reserve(id.size() + 32);
  name.push_back('.');
  // Too long a name would fail where "{id}.json" itself would not.
  name.append(id.size() + 27 > kNameMax ? std::string_view("wallet") : id);
  name.append(".json.tmp-");
  name.append(vek_signer::hex_encode(rnd));
  return name;
}

// Whether the file `name` of `dirfd` may be replaced or removed on behalf of `wallet`:
// it is missing, or it holds the same wallet (the same id and encrypted secret, or the
// secret `replaced_crypto` when given). A file with another secret under the same id (a
// copy, a restored backup) is never lost.
bool missing_or_same_wallet(int dirfd, const std::string& name, const EncryptedWallet& wallet,
                            const nlohmann::json* replaced_crypto = nullptr) {
  struct stat st {};
  if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) return true;
  std::string text;
  if (!vek_core::read_regular_file(dirfd, name.c_str(), text)) return false;
  const auto held = vek_core::wallet_from_json_text(text);
  return held && held->id == wallet.id &&
         (held->crypto == wallet.crypto || (replaced_crypto != nullptr && held->crypto == *replaced_crypto));
}

// Writes `text` to a new temporary file and renames it over `final_name`, in `dirfd`.
VekResult<void> replace_file_at(int dirfd, const fs::path& dir, const std::string& final_name, std::string_view text,
                                std::string_view id) {
  VEK_TRY(tmp, temp_name(id));
  // Created owner-only: the secret's envelope is never readable by others, not even briefly.
  UniqueFd fd(::openat(dirfd, tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kFileMode));
  if (fd.get() < 0) return std::unexpected(VekLibError::io_errno(errno));
  const auto fail = [&](int err) -> VekResult<void> {
    ::unlinkat(dirfd, tmp->c_str(), 0);
    return std::unexpected(VekLibError::io_errno(err));
  };
  if (const int err = write_all(fd.get(), text); err != 0) return fail(err);
  // The umask may have taken bits away; make the mode exactly 0600.
  if (::fchmod(fd.get(), kFileMode) != 0) {
    warn("failed to set permissions on " + shown(dir / final_name) + ": " + os_error_text(errno));
  }
  // The data must be on disk before the rename makes it the wallet file.
  if (::fsync(fd.get()) != 0) return fail(errno);
  if (fd.close() != 0) return fail(errno);
  if (::renameat(dirfd, tmp->c_str(), dirfd, final_name.c_str()) != 0) return fail(errno);
  // Make the rename itself durable. The new file is in place whatever this reports, so
  // a failure here is not turned into an error.
  (void)::fsync(dirfd);
  return {};
}

}  // namespace

ScopedCreateOnWrite::ScopedCreateOnWrite() noexcept : previous_(t_reads_create) { t_reads_create = false; }
ScopedCreateOnWrite::~ScopedCreateOnWrite() { t_reads_create = previous_; }

fs::path resolve_vault_path(VaultPath vault) {
  if (vault) return fs::path(std::string(*vault));
  return vek_core::data_dir();
}

VekResult<fs::path> wallets_dir(VaultPath vault) {
  VEK_TRY(dir, open_wallets_dir(vault));
  return std::move(dir->path);
}

void set_dir_permissions(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0 || ::fchmod(fd.get(), kDirMode) != 0) {
    warn("failed to set permissions on " + shown(path) + ": " + os_error_text(errno));
  }
}

void check_vault_permissions(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  if ((st.st_mode & 0777) != kDirMode) {
    warn(shown(path) + " has permissions " + octal_mode(st.st_mode & 0777) + ", expected 0700");
  }
}

VekResult<void> save_encrypted_wallet(const EncryptedWallet& wallet, VaultPath vault,
                                      std::optional<std::string_view> file_name,
                                      const nlohmann::json* replaced_crypto) {
  if (!is_plain_file_name(wallet.id)) {
    return std::unexpected(VekLibError::invalid_input("wallet id is not a plain file name: '" + wallet.id + "'"));
  }
  const std::string name = file_name ? std::string(*file_name) : wallet.id + ".json";
  if (!is_plain_file_name(name) || !has_json_extension(name)) {
    return std::unexpected(VekLibError::invalid_input("not a wallet file name: '" + name + "'"));
  }
  VEK_TRY(dir, open_wallets_dir(vault));
  auto text = vek_core::wallet_to_json_text(wallet);
  if (!text) return std::unexpected(VekLibError::json(std::move(text.error())));
  // A file the listing cannot read back would make the wallet vanish.
  if (text->size() > vek_core::kMaxReadFileBytes) {
    return std::unexpected(VekLibError::invalid_input("the wallet file would be larger than the limit of " +
                                                      std::to_string(vek_core::kMaxReadFileBytes) + " bytes"));
  }
  if (!missing_or_same_wallet(dir->fd.get(), name, wallet, replaced_crypto)) {
    return std::unexpected(VekLibError::io("refusing to replace " + shown(dir->path / name) +
                                           ": it holds a different wallet"));
  }
  return replace_file_at(dir->fd.get(), dir->path, name, *text, wallet.id);
}

namespace {

// Every readable wallet file of the vault with its file name, newest created_at first.
VekResult<std::vector<StoredWallet>> list_stored_wallets(VaultPath vault) {
  VEK_TRY(opened, open_wallets_dir_to_read(vault));
  if (!*opened) return std::vector<StoredWallet>{};  // no vault yet: no wallets
  const WalletsDir* dir = &**opened;
  check_vault_permissions(dir->path);

  std::vector<StoredWallet> wallets;
  // The descriptor that was checked, read through a duplicate the listing owns.
  const int listing_fd = ::fcntl(dir->fd.get(), F_DUPFD_CLOEXEC, 0);
  if (listing_fd < 0) return std::unexpected(VekLibError::io_errno(errno));
  DirHandle d(::fdopendir(listing_fd));
  if (!d) {
    const int err = errno;
    ::close(listing_fd);
    return std::unexpected(VekLibError::io_errno(err));
  }
  const int dirfd = listing_fd;
  std::string text;  // reused for every file
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(d.get());
    if (entry == nullptr) {
      if (errno != 0) return std::unexpected(VekLibError::io_errno(errno));
      break;
    }
    const std::string_view name(entry->d_name);
    if (!has_json_extension(name)) continue;
    if (auto read = vek_core::read_regular_file(dirfd, entry->d_name, text); !read) {
      warn("skipping " + shown(dir->path / entry->d_name) + ": " + read.error());
      continue;
    }
    if (!all_ascii(text)) {
      if (auto bad = vek_core::utf8_error(text)) {
        warn("skipping " + shown(dir->path / entry->d_name) + ": " + *bad);
        continue;
      }
    }
    auto wallet = vek_core::wallet_from_json_text(text);
    if (!wallet) {
      warn("skipping " + shown(dir->path / entry->d_name) + ": " + wallet.error());
      continue;
    }
    wallets.push_back(StoredWallet{std::move(*wallet), std::string(name)});
  }
  // RFC 3339 texts with the fixed +00:00 offset order by time byte-wise.
  std::stable_sort(wallets.begin(), wallets.end(), [](const StoredWallet& a, const StoredWallet& b) {
    return a.wallet.created_at > b.wallet.created_at;
  });
  return wallets;
}

}  // namespace

VekResult<std::vector<EncryptedWallet>> list_encrypted_wallets(VaultPath vault) {
  VEK_TRY(stored, list_stored_wallets(vault));
  std::vector<EncryptedWallet> wallets;
  wallets.reserve(stored->size());
  for (StoredWallet& s : *stored) wallets.push_back(std::move(s.wallet));
  return wallets;
}

VekResult<StoredWallet> load_stored_wallet(std::string_view name_or_id, VaultPath vault) {
  VEK_TRY(wallets, list_stored_wallets(vault));
  for (StoredWallet& s : *wallets) {
    if (s.wallet.id == name_or_id) return std::move(s);
  }
  StoredWallet* match = nullptr;
  std::uint64_t count = 0;
  for (StoredWallet& s : *wallets) {
    if (s.wallet.name == name_or_id) {
      if (match == nullptr) match = &s;
      ++count;
    }
  }
  if (count == 0) return std::unexpected(VekLibError::wallet_not_found(std::string(name_or_id)));
  if (count > 1) return std::unexpected(VekLibError::ambiguous_wallet(std::string(name_or_id), count));
  return std::move(*match);
}

VekResult<EncryptedWallet> load_wallet_by_name_or_id(std::string_view name_or_id, VaultPath vault) {
  VEK_TRY(stored, load_stored_wallet(name_or_id, vault));
  return std::move(stored->wallet);
}

VekResult<bool> wallet_name_exists(std::string_view name, VaultPath vault) {
  VEK_TRY(wallets, list_encrypted_wallets(vault));
  return std::any_of(wallets->begin(), wallets->end(), [&](const EncryptedWallet& w) { return w.name == name; });
}

VekResult<void> delete_wallet_file(std::string_view id, VaultPath vault) {
  VEK_TRY(opened, open_wallets_dir_to_read(vault));
  if (!*opened || !is_plain_file_name(id)) return std::unexpected(VekLibError::wallet_not_found(std::string(id)));
  const WalletsDir* dir = &**opened;
  const std::string name = std::string(id) + ".json";
  struct stat st {};
  if (::fstatat(dir->fd.get(), name.c_str(), &st, 0) != 0) {
    return std::unexpected(VekLibError::wallet_not_found(std::string(id)));
  }
  if (::unlinkat(dir->fd.get(), name.c_str(), 0) != 0) return std::unexpected(VekLibError::io_errno(errno));
  return {};
}

VekResult<void> delete_stored_wallet(const StoredWallet& stored, VaultPath vault) {
  VEK_TRY(opened, open_wallets_dir_to_read(vault));
  const WalletsDir* dir = *opened ? &**opened : nullptr;
  const std::string& name = stored.file_name;
  struct stat st {};
  // A wallet whose id could not name its own file is not removed, as by delete_wallet_file.
  if (dir == nullptr || !is_plain_file_name(stored.wallet.id) || !is_plain_file_name(name) ||
      ::fstatat(dir->fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::unexpected(VekLibError::wallet_not_found(stored.wallet.id));
  }
  if (!missing_or_same_wallet(dir->fd.get(), name, stored.wallet)) {
    return std::unexpected(VekLibError::io("refusing to remove " + shown(dir->path / name) +
                                           ": it holds a different wallet"));
  }
  if (::unlinkat(dir->fd.get(), name.c_str(), 0) != 0) return std::unexpected(VekLibError::io_errno(errno));
  return {};
}

}  // namespace vek_lib
