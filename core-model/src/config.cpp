#include "vek/core/config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>

#include "json_text.h"
#include "vek/core/chain.h"
#include "vek/core/error.h"
#include "vek/core/support.h"
#include "vek/core/utf8.h"

namespace vek_core {
namespace {

using nlohmann::json;

std::string wrong_type(std::string_view field, std::string_view expected, const json& v) {
  return "invalid type for `" + std::string(field) + "`: expected " + std::string(expected) + ", found " +
         std::string(json_text::found(v));
}

// Why a configuration file is not to be trusted, if it is not: its endpoints decide where
// signed transactions go, so it must be the caller's and not writable by others.
std::optional<std::string> untrusted(const struct stat& st, const std::filesystem::path& path) {
  const std::string shown = json_text::one_line(path.native());
  if (st.st_uid != ::geteuid()) {
    return "refusing to read " + shown + ": owned by uid " + std::to_string(st.st_uid) +
           ", not by the calling user (uid " + std::to_string(::geteuid()) + ")";
  }
  if ((st.st_mode & S_IWOTH) != 0) {
    return "refusing to read " + shown + ": writable by others (mode " + octal_mode(st.st_mode) + ")";
  }
  return std::nullopt;
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
  if (utf8_error(h)) return std::filesystem::path("/tmp") / ".vek";
  // An empty HOME joins to the relative ".vek", resolved against the working directory.
  return std::filesystem::path(h) / ".vek";
}

std::filesystem::path config_file_path() { return data_dir() / "config.json"; }

std::map<std::string, std::string> Config::default_rpc() {
  std::map<std::string, std::string> rpc;
  // The mainnets with a built-in endpoint (the test networks' endpoints are used only
  // when a chain is asked for by name).
  for (const Network& n : networks()) {
    if (!n.testnet && !n.rpc.empty()) rpc.emplace(n.chain_id, n.rpc);
  }
  return rpc;
}

Config Config::default_config() {
  Config c;
  c.vault_path = data_dir();
  c.rpc = default_rpc();
  return c;
}

std::expected<Config, std::string> Config::parse(std::string_view text) {
  VEK_TRY(doc, json_text::parse(text));
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
  if (const auto timeout = v.find("timeout"); timeout != v.end()) c.timeout = *timeout;
  if (const auto backup = v.find("backup"); backup != v.end() && !backup->is_null()) {
    VEK_TRY(b, parse_backup(*backup));
    c.backup = std::move(*b);
  }
  return c;
}

std::expected<Config, std::string> Config::load_or_default_from(const std::filesystem::path& path) {
  Config config = default_config();
  // A FIFO, a device or a file above the size limit is ignored like an unreadable file;
  // a regular file another user controls is refused, whatever it holds.
  std::string text;
  struct stat st {};
  const auto read = read_regular_file(AT_FDCWD, path.c_str(), text, &st);
  if (S_ISREG(st.st_mode)) {
    if (auto why = untrusted(st, path)) return std::unexpected(std::move(*why));
  }
  if (!read) return config;
  auto user = parse(text);
  if (!user) return config;
  // Only the endpoints are taken over; the file's other members must parse but are not used.
  for (auto& [key, url] : user->rpc) config.rpc.insert_or_assign(key, std::move(url));
  return config;
}

std::expected<Config, std::string> Config::load_or_default() { return load_or_default_from(config_file_path()); }

}  // namespace vek_core
