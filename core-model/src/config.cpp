#include "vek/core/config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "json_text.h"

namespace vek_core {
namespace {

using nlohmann::json;

std::string wrong_type(std::string_view field, std::string_view expected, const json& v) {
  return "invalid type for `" + std::string(field) + "`: expected " + std::string(expected) + ", found " +
         std::string(json_text::found(v));
}

// The longest configuration file read; it is a few hundred bytes.
constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

// Why a configuration file is not to be trusted, if it is not: its endpoints decide where
// signed transactions go, so it must be the caller's and not writable by others.
std::optional<std::string> untrusted(const struct stat& st, const std::filesystem::path& path) {
  const std::string shown = json_text::one_line(path.native());
  if (st.st_uid != ::geteuid()) {
    return "refusing to read " + shown + ": owned by uid " + std::to_string(st.st_uid) +
           ", not by the calling user (uid " + std::to_string(::geteuid()) + ")";
  }
  if ((st.st_mode & S_IWOTH) != 0) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "refusing to read " + shown + ": writable by others (mode " + mode + ")";
  }
  return std::nullopt;
}

// The text of the regular file at `path`: nullopt when there is none to take (missing,
// unreadable, not a regular file, larger than the limit); an error when it is untrusted.
std::expected<std::optional<std::string>, std::string> read_file(const std::filesystem::path& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::expected<std::optional<std::string>, std::string> out = std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    if (auto why = untrusted(st, path)) {
      out = std::unexpected(std::move(*why));
    } else if (static_cast<std::uint64_t>(st.st_size) <= kMaxFileBytes) {
      // One byte of room beyond the size, to see a file that grew past the limit.
      std::string text(static_cast<std::size_t>(st.st_size) + 1, '\0');
      std::size_t done = 0;
      bool ok = true;
      while (ok && done < text.size()) {
        const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          ok = n == 0;
          break;
        }
        done += static_cast<std::size_t>(n);
        if (done == text.size() && done <= kMaxFileBytes) text.resize(std::min(2 * done, kMaxFileBytes + 1));
      }
      if (ok && done <= kMaxFileBytes) {
        text.resize(done);
        out = std::move(text);
      }
    }
  }
  ::close(fd);
  return out;
}

std::expected<BackupConfig, std::string> parse_backup(const json& v) {
  if (!v.is_object()) return std::unexpected(wrong_type("backup", "an object", v));
  BackupConfig b;
  const auto path = v.find("path");
  if (path == v.end()) return std::unexpected(std::string("missing field `backup.path`"));
  if (!path->is_string()) return std::unexpected(wrong_type("backup.path", "a string", *path));
  b.path = path->get_ref<const std::string&>();
  if (const auto a = v.find("auto_backup"); a != v.end() && !a->is_null()) {
    if (!a->is_boolean()) return std::unexpected(wrong_type("backup.auto_backup", "a boolean", *a));
    b.auto_backup = a->get<bool>();
  }
  if (const auto m = v.find("max_backups"); m != v.end() && !m->is_null()) {
    if (m->is_number_unsigned() && m->get<std::uint64_t>() <= std::numeric_limits<std::uint32_t>::max()) {
      b.max_backups = static_cast<std::uint32_t>(m->get<std::uint64_t>());
    } else if (m->is_number_integer() || m->is_number_unsigned()) {
      return std::unexpected("invalid value for `backup.max_backups`: " + m->dump() +
                             " is outside the unsigned 32-bit range");
    } else {
      return std::unexpected(wrong_type("backup.max_backups", "an unsigned 32-bit integer", *m));
    }
  }
  return b;
}

}  // namespace

std::filesystem::path data_dir() {
  const char* home = std::getenv("HOME");
  if (home == nullptr) return std::filesystem::path("/tmp") / ".vek";
  const std::string_view h(home);
  if (json_text::utf8_valid_prefix(h) != h.size()) return std::filesystem::path("/tmp") / ".vek";
  // An empty HOME joins to the relative ".vek", resolved against the working directory.
  return std::filesystem::path(h) / ".vek";
}

std::filesystem::path config_file_path() { return data_dir() / "config.json"; }

std::map<std::string, std::string> Config::default_rpc() {
  return {
      {"eip155:1", "https://eth.llamarpc.com"},
      {"eip155:137", "https://polygon-rpc.com"},
      {"eip155:42161", "https://arb1.arbitrum.io/rpc"},
      {"eip155:10", "https://mainnet.optimism.io"},
      {"eip155:8453", "https://mainnet.base.org"},
      {"eip155:56", "https://bsc-dataseed.bnbchain.org"},
      {"eip155:43114", "https://api.avax.network/ext/bc/C/rpc"},
      {"solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", "https://api.mainnet-beta.solana.com"},
      {"bip122:000000000019d6689c085ae165831e93", "https://blockstream.info/api"},
      {"cosmos:cosmoshub-4", "https://cosmos-rest.publicnode.com"},
      {"tron:mainnet", "https://api.trongrid.io"},
      {"ton:mainnet", "https://toncenter.com/api/v2"},
  };
}

Config Config::default_config() {
  Config c;
  c.vault_path = data_dir();
  c.rpc = default_rpc();
  return c;
}

std::expected<Config, std::string> Config::parse(std::string_view text) {
  auto doc = json_text::parse(text);
  if (!doc) return std::unexpected(std::move(doc.error()));
  const json& v = *doc;
  if (!v.is_object()) {
    return std::unexpected("invalid type: " + std::string(json_text::found(v)) + ", expected a configuration object");
  }
  Config c;
  const auto vault = v.find("vault_path");
  if (vault == v.end()) return std::unexpected(std::string("missing field `vault_path`"));
  if (!vault->is_string()) return std::unexpected(wrong_type("vault_path", "a string", *vault));
  c.vault_path = vault->get_ref<const std::string&>();

  if (const auto rpc = v.find("rpc"); rpc != v.end()) {
    if (!rpc->is_object()) return std::unexpected(wrong_type("rpc", "an object", *rpc));
    for (const auto& [key, url] : rpc->items()) {
      if (!url.is_string()) return std::unexpected(wrong_type(json_text::one_line("rpc." + key), "a string", url));
      c.rpc.emplace(key, url.get_ref<const std::string&>());
    }
  }
  if (const auto plugins = v.find("plugins"); plugins != v.end()) {
    if (!plugins->is_object()) return std::unexpected(wrong_type("plugins", "an object", *plugins));
    for (const auto& [key, value] : plugins->items()) c.plugins.emplace(key, value);
  }
  if (const auto backup = v.find("backup"); backup != v.end() && !backup->is_null()) {
    auto b = parse_backup(*backup);
    if (!b) return std::unexpected(std::move(b.error()));
    c.backup = std::move(*b);
  }
  return c;
}

std::expected<Config, std::string> Config::load_or_default_from(const std::filesystem::path& path) {
  Config config = default_config();
  auto text = read_file(path);
  if (!text) return std::unexpected(std::move(text.error()));
  if (!*text) return config;
  auto user = parse(**text);
  if (!user) return config;
  // Only the endpoints are taken over; the file's other members must parse but are not used.
  for (auto& [key, url] : user->rpc) config.rpc.insert_or_assign(key, std::move(url));
  return config;
}

std::expected<Config, std::string> Config::load_or_default() { return load_or_default_from(config_file_path()); }

}  // namespace vek_core
