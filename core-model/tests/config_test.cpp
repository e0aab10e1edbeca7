// Configuration: the data directory from HOME, the default endpoints, and which files
// are taken and which are ignored as a whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "vek/core/chain.h"
#include "vek/core/config.h"

namespace {

namespace fs = std::filesystem;
using vek_core::Config;

// Sets HOME for the lifetime of the guard (nullopt unsets it) and restores it after.
class HomeGuard {
 public:
  explicit HomeGuard(const std::optional<std::string>& value) {
    if (const char* old = std::getenv("HOME")) old_ = old;
    if (value) {
      ::setenv("HOME", value->c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }
  ~HomeGuard() {
    if (old_) {
      ::setenv("HOME", old_->c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }

 private:
  std::optional<std::string> old_;
};

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vek-config-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path write(const std::string& text) {
    const fs::path p = dir_ / "config.json";
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  fs::path dir_;
};

TEST(Config, DataDirectoryFromHome) {
  struct Row {
    std::optional<std::string> home;
    const char* dir;
  };
  const Row rows[] = {
      {"/home/u", "/home/u/.vek"},
      {"/home/u/", "/home/u/.vek"},
      {std::nullopt, "/tmp/.vek"},
      {"", ".vek"},
      {"/home/\xff", "/tmp/.vek"},
      {"/home/\xc3\xa9", "/home/\xc3\xa9/.vek"},
  };
  for (const Row& row : rows) {
    HomeGuard home(row.home);
    EXPECT_EQ(vek_core::data_dir().native(), row.dir) << row.home.value_or("<unset>");
    EXPECT_EQ(vek_core::config_file_path(), fs::path(row.dir) / "config.json");
    EXPECT_EQ(Config::default_config().vault_path.native(), row.dir);
  }
}

TEST(Config, DefaultEndpoints) {
  const auto rpc = Config::default_rpc();
  ASSERT_EQ(rpc.size(), 12u);
  // The path after the host of each endpoint is fixed; the host is not.
  const std::pair<const char*, const char*> paths[] = {
      {"ethereum", ""},   {"polygon", ""}, {"arbitrum", "/rpc"}, {"optimism", ""},   {"base", ""},  {"bsc", ""},
      {"avalanche", "/ext/bc/C/rpc"}, {"solana", ""}, {"bitcoin", "/api"}, {"cosmos", ""}, {"tron", ""},
      {"ton", "/api/v2"},
  };
  for (const auto& [name, path] : paths) {
    const auto networks = vek_core::networks();
    const auto chain = std::find_if(networks.begin(), networks.end(), [&](const auto& n) { return n.name == name; });
    ASSERT_NE(chain, networks.end()) << name;
    const auto it = rpc.find(std::string(chain->chain_id));
    ASSERT_NE(it, rpc.end()) << name;
    const std::string& url = it->second;
    ASSERT_EQ(url.rfind("https://", 0), 0u) << url;
    const std::size_t slash = url.find('/', 8);
    const std::string host = url.substr(8, slash == std::string::npos ? std::string::npos : slash - 8);
    EXPECT_FALSE(host.empty()) << url;
    EXPECT_EQ(host.find_first_of(" :?#@"), std::string::npos) << url;
    EXPECT_EQ(slash == std::string::npos ? "" : url.substr(slash), path) << url;
    EXPECT_NE(url.back(), '/') << url;
  }
  const Config c = Config::default_config();
  EXPECT_EQ(c.rpc, rpc);
  EXPECT_TRUE(c.plugins.empty());
  EXPECT_FALSE(c.backup);
}

TEST_F(ConfigFile, MissingFileGivesDefaults) {
  const Config c = Config::load_or_default_from(dir_ / "absent.json").value();
  EXPECT_EQ(c.rpc, Config::default_rpc());
  EXPECT_EQ(c.vault_path, vek_core::data_dir());
}

TEST_F(ConfigFile, UserEndpointsLaidOverDefaults) {
  const Config c = Config::load_or_default_from(
      write(R"({"vault_path":"/elsewhere","rpc":{"eip155:1":"http://localhost:8545","eip155:5":"https://goerli"}})"))
                       .value();
  auto expected = Config::default_rpc();
  expected["eip155:1"] = "http://localhost:8545";
  expected["eip155:5"] = "https://goerli";
  EXPECT_EQ(c.rpc, expected);
  // The file's vault_path is read but the vault location stays the default.
  EXPECT_EQ(c.vault_path, vek_core::data_dir());
}

TEST_F(ConfigFile, AcceptedFiles) {
  const char* const texts[] = {
      R"({"vault_path":"v","rpc":{"eip155:1":"x"}})",
      R"({"vault_path":"v","rpc":{"eip155:1":"x"},"plugins":{"a":[1,{"b":null}]},"backup":null})",
      R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b"}})",
      R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b","auto_backup":true,"max_backups":4294967295}})",
      R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b","auto_backup":null,"max_backups":null,"x":1}})",
      R"({"vault_path":"v","rpc":{"eip155:1":"x"},"extra":{"k":1},"other":[]})",
      " \n{\"vault_path\":\"v\",\"rpc\":{\"eip155:1\":\"x\"}}\n\n",
  };
  for (const char* text : texts) {
    const Config c = Config::load_or_default_from(write(text)).value();
    EXPECT_EQ(c.rpc.at("eip155:1"), "x") << text;
    EXPECT_EQ(c.rpc.size(), 12u) << text;
  }
}

// Each of these files is ignored entirely, valid rpc entries included.
TEST_F(ConfigFile, RefusedFilesAreIgnoredWhole) {
  struct Row {
    std::string text;
    const char* error;
  };
  const Row rows[] = {
      {R"({"rpc":{"eip155:1":"x"}})", "missing field `vault_path`"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"}} x)", "trailing characters at line 1 column 43"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"}}{})", "trailing characters at line 1 column 42"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x","eip155:137":5}})",
       "invalid type for `rpc.eip155:137`: expected a string, found an integer"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x","eip155:1":"y"}})", "duplicate field `eip155:1` at line 1 column 41"},
      {R"({"vault_path":"v","vault_path":"w","rpc":{"eip155:1":"x"}})", "duplicate field `vault_path` at line 1 column 19"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"extra":{"a":1,"a":1}})", "duplicate field `a` at line 1 column 57"},
      {R"({"vault_path":5,"rpc":{"eip155:1":"x"}})", "invalid type for `vault_path`: expected a string, found an integer"},
      {R"({"vault_path":"v","rpc":null})", "invalid type for `rpc`: expected an object, found null"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"plugins":[]})",
       "invalid type for `plugins`: expected an object, found an array"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{}})", "missing field `backup.path`"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":true})",
       "invalid type for `backup`: expected an object, found a boolean"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b","auto_backup":"yes"}})",
       "invalid type for `backup.auto_backup`: expected a boolean, found a string"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b","max_backups":4294967296}})",
       "invalid value for `backup.max_backups`: 4294967296 is outside the unsigned 32-bit range"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b","max_backups":-1}})",
       "invalid value for `backup.max_backups`: -1 is outside the unsigned 32-bit range"},
      {R"({"vault_path":"v","rpc":{"eip155:1":"x"},"backup":{"path":"/b","max_backups":1.5}})",
       "invalid type for `backup.max_backups`: expected an unsigned 32-bit integer, found a floating-point number"},
      {"{\"vault_path\":\"v\xff\",\"rpc\":{\"eip155:1\":\"x\"}}", "invalid UTF-8 in a string at line 1 column 17"},
      {R"(["vault_path"])", "invalid type: an array, expected a configuration object"},
      {"", "unexpected end of input at line 1 column 1"},
  };
  for (const Row& row : rows) {
    auto parsed = Config::parse(row.text);
    ASSERT_FALSE(parsed) << row.text;
    EXPECT_EQ(parsed.error(), row.error) << row.text;
    const Config c = Config::load_or_default_from(write(row.text)).value();
    EXPECT_EQ(c.rpc, Config::default_rpc()) << row.text;
  }
}

TEST_F(ConfigFile, ParseKeepsEveryField) {
  auto c = Config::parse(
      R"({"vault_path":"/v","rpc":{"a":"b"},"plugins":{"p":{"x":[1]}},"backup":{"path":"/b","max_backups":3}})");
  ASSERT_TRUE(c) << c.error();
  EXPECT_EQ(c->vault_path, "/v");
  EXPECT_EQ(c->rpc, (std::map<std::string, std::string>{{"a", "b"}}));
  EXPECT_EQ(c->plugins.at("p"), nlohmann::json::parse(R"({"x":[1]})"));
  EXPECT_EQ(c->backup, (vek_core::BackupConfig{"/b", std::nullopt, 3u}));
}

TEST_F(ConfigFile, UnreadablePathsGiveDefaults) {
  // A directory where the file should be.
  fs::create_directory(dir_ / "dir.json");
  EXPECT_EQ(Config::load_or_default_from(dir_ / "dir.json").value().rpc, Config::default_rpc());
  EXPECT_EQ(Config::load_or_default_from(dir_ / "missing" / "config.json").value().rpc, Config::default_rpc());
}

TEST_F(ConfigFile, FilesThatMayNeverEndGiveDefaults) {
  // A FIFO without a writer (opening it for reading must not wait), a device without
  // end, and a valid configuration padded with white space to one byte above 64 MiB.
  ASSERT_EQ(::mkfifo((dir_ / "fifo.json").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir_ / "zero.json");
  const std::string valid = R"({"vault_path":"v","rpc":{"eip155:1":"https://huge"}})";
  std::ofstream(dir_ / "huge.json") << valid << std::string((std::size_t{64} << 20) + 1 - valid.size(), ' ');
  ASSERT_EQ(fs::file_size(dir_ / "huge.json"), (std::uintmax_t{64} << 20) + 1);
  for (const char* name : {"fifo.json", "zero.json", "huge.json"}) {
    EXPECT_EQ(Config::load_or_default_from(dir_ / name).value().rpc, Config::default_rpc()) << name;
  }
}

TEST_F(ConfigFile, LoadOrDefaultReadsFromHome) {
  HomeGuard home(dir_.native());
  fs::create_directory(dir_ / ".vek");
  std::ofstream(dir_ / ".vek" / "config.json") << R"({"vault_path":"v","rpc":{"tron:mainnet":"https://t"}})";
  EXPECT_EQ(Config::load_or_default().value().rpc.at("tron:mainnet"), "https://t");
}

TEST_F(ConfigFile, EmptyHomeReadsRelativeToWorkingDirectory) {
  const fs::path old = fs::current_path();
  fs::current_path(dir_);
  HomeGuard home(std::string{});
  fs::create_directory(".vek");
  std::ofstream(".vek/config.json") << R"({"vault_path":"v","rpc":{"ton:mainnet":"https://relative"}})";
  const std::string url = Config::load_or_default().value().rpc.at("ton:mainnet");
  fs::current_path(old);
  EXPECT_EQ(url, "https://relative");
}

// The endpoints decide where signed transactions go: a file another user owns or may
// write is refused with an error naming it, not taken and not silently ignored.
TEST_F(ConfigFile, FilesOthersControlAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  const fs::path p = write(R"({"vault_path":"v","rpc":{"eip155:1":"https://mine"}})");
  const std::string shown = dir_.native() + "/config.json";
  ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
  auto c = Config::load_or_default_from(p);
  ASSERT_FALSE(c);
  EXPECT_EQ(c.error(), "refusing to read " + shown + ": owned by uid 65534, not by the calling user (uid " +
                           std::to_string(::geteuid()) + ")");
  ASSERT_EQ(::chown(p.c_str(), ::geteuid(), ::getegid()), 0);
  ASSERT_EQ(::chmod(p.c_str(), 0646), 0);
  c = Config::load_or_default_from(p);
  ASSERT_FALSE(c);
  EXPECT_EQ(c.error(), "refusing to read " + shown + ": writable by others (mode 0646)");
  ASSERT_EQ(::chmod(p.c_str(), 0664), 0);
  EXPECT_EQ(Config::load_or_default_from(p).value().rpc.at("eip155:1"), "https://mine");
}

}  // namespace
