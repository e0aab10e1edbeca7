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
#include <string>

#include "vek/core/utf8.h"
#include "vek/core/config.h"
#include "vek/core/support.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

namespace vek_lib {
namespace {

namespace fs = std::filesystem;
using vek_core::EncryptedWallet;
using vek_core::UniqueFd;
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

// mkdir -p with mode 0777 before the umask; an existing directory is not an error.
int create_dir_all(const fs::path& p) {
  if (p.empty()) return 0;
  if (::mkdir(p.c_str(), 0777) == 0) return 0;
  int err = errno;
  if (err != ENOENT) return is_dir(p) ? 0 : err;
  const fs::path parent = p.parent_path();
  if (parent == p) return err;
  if (const int e = create_dir_all(parent); e != 0) return e;
  if (::mkdir(p.c_str(), 0777) == 0) return 0;
  err = errno;
  return is_dir(p) ? 0 : err;
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

// Writes `text` to a new temporary file and renames it over `final_name`, in `dirfd`.
VekResult<void> replace_file_at(int dirfd, const fs::path& dir, const std::string& final_name, std::string_view text,
                                std::string_view id) {
  auto tmp = temp_name(id);
  if (!tmp) return std::unexpected(std::move(tmp.error()));
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
    warn("failed to set permissions on " + (dir / final_name).native() + ": " + os_error_text(errno));
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

fs::path resolve_vault_path(VaultPath vault) {
  if (vault) return fs::path(std::string(*vault));
  return vek_core::data_dir();
}

VekResult<fs::path> wallets_dir(VaultPath vault) {
  const fs::path root = resolve_vault_path(vault);
  if (root.native().find('\0') != std::string::npos) return std::unexpected(VekLibError::io_errno(EINVAL));
  fs::path wallets = root / "wallets";
  if (const int err = create_dir_all(wallets); err != 0) return std::unexpected(VekLibError::io_errno(err));
  set_dir_permissions(root);
  set_dir_permissions(wallets);
  return wallets;
}

void set_dir_permissions(const fs::path& path) {
  if (::chmod(path.c_str(), kDirMode) != 0) {
    warn("failed to set permissions on " + path.native() + ": " + os_error_text(errno));
  }
}

void check_vault_permissions(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  const unsigned mode = st.st_mode & 0777;
  if (mode != kDirMode) {
    char octal[16];
    std::snprintf(octal, sizeof octal, "%04o", mode);
    warn(path.native() + " has permissions " + octal + ", expected 0700");
  }
}

VekResult<void> save_encrypted_wallet(const EncryptedWallet& wallet, VaultPath vault) {
  if (!is_plain_file_name(wallet.id)) {
    return std::unexpected(VekLibError::invalid_input("wallet id is not a plain file name: '" + wallet.id + "'"));
  }
  auto dir = wallets_dir(vault);
  if (!dir) return std::unexpected(std::move(dir.error()));
  auto text = vek_core::wallet_to_json_text(wallet);
  if (!text) return std::unexpected(VekLibError::json(std::move(text.error())));

  UniqueFd dirfd(::open(dir->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirfd.get() < 0) return std::unexpected(VekLibError::io_errno(errno));
  return replace_file_at(dirfd.get(), *dir, wallet.id + ".json", *text, wallet.id);
}

VekResult<std::vector<EncryptedWallet>> list_encrypted_wallets(VaultPath vault) {
  auto dir = wallets_dir(vault);
  if (!dir) return std::unexpected(std::move(dir.error()));
  check_vault_permissions(*dir);

  std::vector<EncryptedWallet> wallets;
  DirHandle d(::opendir(dir->c_str()));
  if (!d) {
    if (errno == ENOENT) return wallets;
    return std::unexpected(VekLibError::io_errno(errno));
  }
  const int dirfd = ::dirfd(d.get());
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
      warn("skipping " + (*dir / entry->d_name).native() + ": " + read.error());
      continue;
    }
    if (!all_ascii(text)) {
      if (auto bad = vek_core::utf8_error(text)) {
        warn("skipping " + (*dir / entry->d_name).native() + ": " + *bad);
        continue;
      }
    }
    auto wallet = vek_core::wallet_from_json_text(text);
    if (!wallet) {
      warn("skipping " + (*dir / entry->d_name).native() + ": " + wallet.error());
      continue;
    }
    wallets.push_back(std::move(*wallet));
  }
  // RFC 3339 texts with the fixed +00:00 offset order by time byte-wise.
  std::stable_sort(wallets.begin(), wallets.end(),
                   [](const EncryptedWallet& a, const EncryptedWallet& b) { return a.created_at > b.created_at; });
  return wallets;
}

VekResult<EncryptedWallet> load_wallet_by_name_or_id(std::string_view name_or_id, VaultPath vault) {
  auto wallets = list_encrypted_wallets(vault);
  if (!wallets) return std::unexpected(std::move(wallets.error()));
  for (EncryptedWallet& w : *wallets) {
    if (w.id == name_or_id) return std::move(w);
  }
  EncryptedWallet* match = nullptr;
  std::uint64_t count = 0;
  for (EncryptedWallet& w : *wallets) {
    if (w.name == name_or_id) {
      if (match == nullptr) match = &w;
      ++count;
    }
  }
  if (count == 0) return std::unexpected(VekLibError::wallet_not_found(std::string(name_or_id)));
  if (count > 1) return std::unexpected(VekLibError::ambiguous_wallet(std::string(name_or_id), count));
  return std::move(*match);
}

VekResult<bool> wallet_name_exists(std::string_view name, VaultPath vault) {
  auto wallets = list_encrypted_wallets(vault);
  if (!wallets) return std::unexpected(std::move(wallets.error()));
  return std::any_of(wallets->begin(), wallets->end(), [&](const EncryptedWallet& w) { return w.name == name; });
}

VekResult<void> delete_wallet_file(std::string_view id, VaultPath vault) {
  auto dir = wallets_dir(vault);
  if (!dir) return std::unexpected(std::move(dir.error()));
  if (!is_plain_file_name(id)) return std::unexpected(VekLibError::wallet_not_found(std::string(id)));
  const fs::path file = *dir / (std::string(id) + ".json");
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::unexpected(VekLibError::wallet_not_found(std::string(id)));
  if (::unlink(file.c_str()) != 0) return std::unexpected(VekLibError::io_errno(errno));
  return {};
}

}  // namespace vek_lib
