// The configuration: the default data directory and the RPC endpoint of each chain.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vek_core {

// The per-user data directory: $HOME/.vek; "/tmp/.vek" when HOME is unset or not valid
// UTF-8; the relative path ".vek" when HOME is empty.
[[nodiscard]] std::filesystem::path data_dir();

// The configuration file, data_dir() / "config.json".
[[nodiscard]] std::filesystem::path config_file_path();

struct BackupConfig {
  std::filesystem::path path;
  std::optional<bool> auto_backup;
  std::optional<std::uint32_t> max_backups;

  bool operator==(const BackupConfig&) const = default;
};

struct Config {
  std::filesystem::path vault_path;            // default vault directory
  std::map<std::string, std::string> rpc;      // CAIP-2 chain id -> endpoint URL
  std::map<std::string, nlohmann::json> plugins;
  std::optional<BackupConfig> backup;
  // The file's "timeout" member as given, any JSON value: the application API checks it
  // (vek_lib::request_timeout); the other readers ignore it.
  std::optional<nlohmann::json> timeout;

  // vault_path = data_dir(), rpc = default_rpc(), no plugins, no backup.
  [[nodiscard]] static Config default_config();
  // The twelve built-in public endpoints, one per known chain, keyed by CAIP-2 id.
  [[nodiscard]] static std::map<std::string, std::string> default_rpc();
  // load_or_default_from(config_file_path()).
  [[nodiscard]] static std::expected<Config, std::string> load_or_default();
  // The defaults with the file's rpc entries laid over them (a user entry replaces the
  // default of its key, new keys are added). A file that is missing, unreadable, not a
  // regular file, larger than 64 MiB, not UTF-8 or not a valid configuration yields the
  // defaults unchanged; opening it never blocks. Never prints.
  // Errors: a regular file another user could have written, whose endpoints would decide
  // where signed transactions go (control characters in {path} escaped):
  //   "refusing to read {path}: owned by uid {uid}, not by the calling user (uid {euid})";
  //   "refusing to read {path}: writable by others (mode {mode})" ({mode} in octal, e.g. 0646).
  [[nodiscard]] static std::expected<Config, std::string> load_or_default_from(const std::filesystem::path& path);

  // Parses configuration text on its own (rpc holds only the file's entries).
  // Rules: a JSON object; `vault_path` (string) required; `rpc` an object of strings and
  // `plugins` an object of any values, both optional; `backup` absent, null or an object
  // with a string `path`, an optional boolean `auto_backup` and an optional unsigned
  // 32-bit `max_backups`; unknown keys ignored; a repeated key or trailing text refused.
  // Error: one line, e.g. "missing field `vault_path`", "duplicate field `rpc` at line 3 column 3".
  [[nodiscard]] static std::expected<Config, std::string> parse(std::string_view text);
};

}  // namespace vek_core
