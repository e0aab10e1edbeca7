// Vault: where files go and with which modes, what a listing takes and skips (and the
// warnings it writes), lookup rules, atomic replacement, and ids that are not file names.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "vek/lib/vault.h"

namespace {

namespace fs = std::filesystem;
using vek_core::EncryptedWallet;
using vek_core::KeyType;
using vek_lib::VekLibErrorKind;

// Captures what is written to file descriptor 2 while it lives.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    saved_ = ::dup(2);
    file_ = std::tmpfile();
    ::dup2(::fileno(file_), 2);
  }
  ~StderrCapture() { restore(); }
  std::string text() {
    restore();
    std::rewind(file_);
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  int saved_ = -1;
  std::FILE* file_ = nullptr;
};

class HomeGuard {
 public:
  explicit HomeGuard(const std::string& value) {
    if (const char* old = std::getenv("HOME")) old_ = old;
    ::setenv("HOME", value.c_str(), 1);
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

unsigned mode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

EncryptedWallet wallet(std::string id, std::string name, std::string created_at = "2025-01-01T00:00:00+00:00") {
  EncryptedWallet w = EncryptedWallet::make_new(std::move(id), std::move(name),
                                                {{"evm-0", "0xabc", "eip155:1", "m/44'/60'/0'/0/0"}},
                                                nlohmann::json{{"cipher", "aes-256-gcm"}}, KeyType::Mnemonic);
  w.created_at = std::move(created_at);
  return w;
}

std::vector<std::string> ids(const std::vector<EncryptedWallet>& ws) {
  std::vector<std::string> out;
  for (const auto& w : ws) out.push_back(w.id);
  return out;
}

class Vault : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vek-vault-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    vault_ = (root_ / "vault").native();
    wallets_ = root_ / "vault" / "wallets";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  void save(const EncryptedWallet& w) {
    auto r = vek_lib::save_encrypted_wallet(w, vault_);
    ASSERT_TRUE(r) << r.error().display();
  }
  std::vector<EncryptedWallet> list() {
    auto r = vek_lib::list_encrypted_wallets(vault_);
    EXPECT_TRUE(r) << r.error().display();
    return r ? std::move(*r) : std::vector<EncryptedWallet>{};
  }
  void put(const std::string& name, const std::string& text) {
    fs::create_directories(wallets_);
    std::ofstream(wallets_ / name, std::ios::binary) << text;
  }
  fs::path root_;
  std::string vault_;
  fs::path wallets_;
};

TEST_F(Vault, DefaultLocationAndModes) {
  HomeGuard home((root_ / "home").native());
  const mode_t old_umask = ::umask(0);  // modes must not depend on the umask
  auto r = vek_lib::save_encrypted_wallet(wallet("w1", "main"), std::nullopt);
  ::umask(old_umask);
  ASSERT_TRUE(r) << r.error().display();
  const fs::path file = root_ / "home" / ".vek" / "wallets" / "w1.json";
  ASSERT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(mode_of(root_ / "home" / ".vek"), 0700u);
  EXPECT_EQ(mode_of(root_ / "home" / ".vek" / "wallets"), 0700u);
  EXPECT_EQ(mode_of(file), 0600u);
  EXPECT_EQ(slurp(file), vek_core::wallet_to_json_text(wallet("w1", "main")).value());
  EXPECT_EQ(vek_lib::resolve_vault_path(std::nullopt), root_ / "home" / ".vek");

  // A restrictive umask still ends at exactly 0600, and a loose vault mode is repaired.
  ::chmod((root_ / "home" / ".vek").c_str(), 0755);
  const mode_t old = ::umask(0277);
  auto r2 = vek_lib::save_encrypted_wallet(wallet("w2", "second"), std::nullopt);
  ::umask(old);
  ASSERT_TRUE(r2);
  EXPECT_EQ(mode_of(root_ / "home" / ".vek" / "wallets" / "w2.json"), 0600u);
  EXPECT_EQ(mode_of(root_ / "home" / ".vek"), 0700u);
}

TEST_F(Vault, TildeIsTakenLiterally) {
  const fs::path old = fs::current_path();
  fs::current_path(root_);
  EXPECT_EQ(vek_lib::resolve_vault_path("~/wallets"), fs::path("~/wallets"));
  auto dir = vek_lib::wallets_dir("~/wallets");
  fs::current_path(old);
  ASSERT_TRUE(dir);
  EXPECT_EQ(*dir, fs::path("~/wallets/wallets"));
  EXPECT_TRUE(fs::is_directory(root_ / "~" / "wallets" / "wallets"));
}

TEST_F(Vault, EmptyAndMissingVaults) {
  StderrCapture err;
  EXPECT_TRUE(list().empty());  // the vault does not exist yet: created, then empty
  EXPECT_TRUE(fs::is_directory(wallets_));
  EXPECT_EQ(mode_of(wallets_), 0700u);
  EXPECT_TRUE(list().empty());
  EXPECT_EQ(err.text(), "");
}

TEST_F(Vault, ListingSkipsWhatIsNotAWallet) {
  save(wallet("good", "main"));
  put("notes.txt", "not json");
  put("x.JSON", "{");
  put(".json", "{");
  put("json", "{");
  put(".good.json.tmp-0011", "{");
  put("broken.json", "{");
  put("nokey.json", R"({"vek_version":2,"id":"n","name":"n","created_at":"t","accounts":[],"crypto":{}})");
  put("latin1.json", "{\"name\":\"caf\xe9\"}");
  fs::create_directory(wallets_ / "sub.json");
  StderrCapture err;
  const auto ws = list();
  EXPECT_EQ(ids(ws), std::vector<std::string>{"good"});
  std::vector<std::string> lines;
  std::istringstream in(err.text());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  const std::string w = wallets_.native();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "warning: skipping " + w + "/broken.json: unexpected end of input at line 1 column 2",
                       "warning: skipping " + w + "/latin1.json: invalid utf-8 sequence of 1 bytes from index 12",
                       "warning: skipping " + w + "/nokey.json: missing field `key_type` at line 1 column 80",
                       "warning: skipping " + w + "/sub.json: Is a directory (os error 21)",
                   }));
}

TEST_F(Vault, NewestFirstAndStableForEqualTimes) {
  save(wallet("old", "a", "2024-05-01T10:00:00+00:00"));
  save(wallet("newest", "b", "2025-05-01T10:00:00.5+00:00"));
  save(wallet("mid", "c", "2025-05-01T10:00:00+00:00"));
  for (int i = 0; i < 6; ++i) save(wallet("same" + std::to_string(i), "s", "2024-12-24T00:00:00+00:00"));
  // Wallets with equal times keep the order in which the directory lists their files.
  std::vector<std::string> dir_order;
  DIR* d = ::opendir(wallets_.c_str());
  ASSERT_NE(d, nullptr);
  while (const dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n.rfind("same", 0) == 0) dir_order.push_back(n.substr(0, n.size() - 5));
  }
  ::closedir(d);
  std::vector<std::string> expected = {"newest", "mid"};
  expected.insert(expected.end(), dir_order.begin(), dir_order.end());
  expected.push_back("old");
  EXPECT_EQ(ids(list()), expected);
}

TEST_F(Vault, CreatedOneAfterTheOtherListsSecondFirst) {
  save(EncryptedWallet::make_new("first", "one", {}, nullptr, KeyType::Mnemonic));
  save(EncryptedWallet::make_new("second", "two", {}, nullptr, KeyType::Mnemonic));
  EXPECT_EQ(ids(list()), (std::vector<std::string>{"second", "first"}));
}

TEST_F(Vault, LookupByIdThenName) {
  save(wallet("id-1", "main"));
  save(wallet("id-2", "main"));
  save(wallet("id-3", "id-1"));  // a name equal to another wallet's id
  save(wallet("id-4", "solo"));

  struct Row {
    const char* query;
    const char* id;       // expected wallet, or
    const char* message;  // expected error
  };
  const Row rows[] = {
      {"id-1", "id-1", nullptr},
      {"id-2", "id-2", nullptr},
      {"solo", "id-4", nullptr},
      {"main", nullptr, "ambiguous wallet name 'main' matches 2 wallets; use the wallet ID instead"},
      {"Main", nullptr, "wallet not found: 'Main'"},
      {"SOLO", nullptr, "wallet not found: 'SOLO'"},
      {"", nullptr, "wallet not found: ''"},
  };
  for (const Row& row : rows) {
    auto w = vek_lib::load_wallet_by_name_or_id(row.query, vault_);
    if (row.id != nullptr) {
      ASSERT_TRUE(w) << row.query << ": " << w.error().display();
      EXPECT_EQ(w->id, row.id);
    } else {
      ASSERT_FALSE(w) << row.query;
      EXPECT_EQ(w.error().display(), row.message);
    }
  }
  auto amb = vek_lib::load_wallet_by_name_or_id("main", vault_);
  EXPECT_EQ(amb.error().code, VekLibErrorKind::AmbiguousWallet);
  EXPECT_EQ(amb.error().value, 2u);

  EXPECT_TRUE(vek_lib::wallet_name_exists("main", vault_).value());
  EXPECT_TRUE(vek_lib::wallet_name_exists("id-1", vault_).value());
  EXPECT_FALSE(vek_lib::wallet_name_exists("id-2", vault_).value());
  EXPECT_FALSE(vek_lib::wallet_name_exists("Solo", vault_).value());
}

TEST_F(Vault, FileNameDifferentFromId) {
  put("other.json", vek_core::wallet_to_json_text(wallet("abc", "renamed")).value());
  auto w = vek_lib::load_wallet_by_name_or_id("abc", vault_);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->name, "renamed");
  auto del = vek_lib::delete_wallet_file("abc", vault_);
  ASSERT_FALSE(del);
  EXPECT_EQ(del.error().display(), "wallet not found: 'abc'");
  EXPECT_TRUE(fs::exists(wallets_ / "other.json"));
}

TEST_F(Vault, DeleteRemovesTheFile) {
  save(wallet("gone", "x"));
  save(wallet("kept", "y"));
  ASSERT_TRUE(vek_lib::delete_wallet_file("gone", vault_));
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"kept.json"});
  auto again = vek_lib::delete_wallet_file("gone", vault_);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().code, VekLibErrorKind::WalletNotFound);
  EXPECT_EQ(again.error().display(), "wallet not found: 'gone'");
  // A directory with a wallet's file name cannot be unlinked: an I/O error, not success.
  fs::create_directory(wallets_ / "dir.json");
  auto dir = vek_lib::delete_wallet_file("dir", vault_);
  ASSERT_FALSE(dir);
  EXPECT_EQ(dir.error().code, VekLibErrorKind::Io);
  EXPECT_TRUE(fs::is_directory(wallets_ / "dir.json"));
}

TEST_F(Vault, ReplaceLeavesOnlyTheWalletFile) {
  save(wallet("w", "before"));
  EncryptedWallet after = wallet("w", "after");
  save(after);
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"w.json"});
  EXPECT_EQ(slurp(wallets_ / "w.json"), vek_core::wallet_to_json_text(after).value());
  EXPECT_EQ(mode_of(wallets_ / "w.json"), 0600u);
}

TEST_F(Vault, FailedWriteKeepsTheOldFile) {
  save(wallet("w", "before"));
  const std::string before = slurp(wallets_ / "w.json");
  EncryptedWallet big = wallet("w", std::string(4096, 'x'));

  // A file size limit makes the write fail part-way, as a full disk would.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 1024;
  auto* old_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  auto r = vek_lib::save_encrypted_wallet(big, vault_);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, old_handler);

  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), "I/O error: File too large (os error 27)");
  EXPECT_EQ(slurp(wallets_ / "w.json"), before);
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"w.json"});
}

TEST_F(Vault, FailedRenameRemovesTheTemporaryFile) {
  fs::create_directories(wallets_ / "w.json" / "inside");
  auto r = vek_lib::save_encrypted_wallet(wallet("w", "x"), vault_);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().code, VekLibErrorKind::Io);
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"w.json"});
  EXPECT_TRUE(fs::is_directory(wallets_ / "w.json" / "inside"));
}

TEST_F(Vault, SerialisationFailureIsJsonError) {
  auto r = vek_lib::save_encrypted_wallet(wallet("w", "bad \xff"), vault_);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), "JSON error: invalid UTF-8 in the text of `name`");
  EXPECT_TRUE(names_in(wallets_).empty());
}

// An id is used as a file name; one that is not a plain name must never reach outside
// the wallets directory.
TEST_F(Vault, IdsThatAreNotFileNames) {
  save(wallet("ok", "ok"));
  for (const std::string& id : {std::string("../outside"), std::string(""), std::string("."), std::string(".."),
                               std::string("a/b"), std::string("a\0b", 3), std::string("/tmp/x")}) {
    auto r = vek_lib::save_encrypted_wallet(wallet(id, "evil"), vault_);
    ASSERT_FALSE(r) << id;
    EXPECT_EQ(r.error().code, VekLibErrorKind::InvalidInput);
    EXPECT_EQ(r.error().display(), "invalid input: wallet id is not a plain file name: '" + id + "'");
  }
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"ok.json"});
  EXPECT_EQ(names_in(root_ / "vault"), std::vector<std::string>{"wallets"});

  // A file whose id points outside is still listed and found, but deleting by that id
  // must not remove "{vault}/outside.json".
  std::ofstream(root_ / "vault" / "outside.json") << "sentinel";
  put("hostile.json", vek_core::wallet_to_json_text(wallet("../outside", "hostile")).value());
  auto w = vek_lib::load_wallet_by_name_or_id("../outside", vault_);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->name, "hostile");
  for (const std::string& id : {std::string("../outside"), std::string(".."), std::string(""), std::string("a\0b", 3)}) {
    auto del = vek_lib::delete_wallet_file(id, vault_);
    ASSERT_FALSE(del);
    EXPECT_EQ(del.error().display(), "wallet not found: '" + id + "'");
  }
  EXPECT_EQ(slurp(root_ / "vault" / "outside.json"), "sentinel");
  EXPECT_TRUE(fs::exists(wallets_ / "hostile.json"));
  // Saving the loaded wallet back (as a rename would) is refused, not redirected.
  auto back = vek_lib::save_encrypted_wallet(*w, vault_);
  ASSERT_FALSE(back);
  EXPECT_EQ(back.error().code, VekLibErrorKind::InvalidInput);
  EXPECT_EQ(slurp(root_ / "vault" / "outside.json"), "sentinel");
}

TEST_F(Vault, PermissionWarnings) {
  fs::create_directories(wallets_);
  {
    StderrCapture err;
    ::chmod(wallets_.c_str(), 0755);
    vek_lib::check_vault_permissions(wallets_);
    ::chmod(wallets_.c_str(), 0700);
    vek_lib::check_vault_permissions(wallets_);
    ::chmod(wallets_.c_str(), 0711);
    vek_lib::check_vault_permissions(wallets_);
    vek_lib::check_vault_permissions(root_ / "absent");
    EXPECT_EQ(err.text(), "warning: " + wallets_.native() + " has permissions 0755, expected 0700\n" +
                              "warning: " + wallets_.native() + " has permissions 0711, expected 0700\n");
  }
  {
    StderrCapture err;
    vek_lib::set_dir_permissions(root_ / "absent");
    vek_lib::set_dir_permissions(wallets_);
    EXPECT_EQ(err.text(), "warning: failed to set permissions on " + (root_ / "absent").native() +
                              ": No such file or directory (os error 2)\n");
    EXPECT_EQ(mode_of(wallets_), 0700u);
  }
}

TEST_F(Vault, VaultPathThatIsAFile) {
  std::ofstream(root_ / "file") << "x";
  const std::string vault = (root_ / "file").native();
  const std::string expected = "I/O error: Not a directory (os error 20)";
  EXPECT_EQ(vek_lib::wallets_dir(vault).error().display(), expected);
  EXPECT_EQ(vek_lib::list_encrypted_wallets(vault).error().display(), expected);
  EXPECT_EQ(vek_lib::load_wallet_by_name_or_id("x", vault).error().display(), expected);
  EXPECT_EQ(vek_lib::wallet_name_exists("x", vault).error().display(), expected);
  EXPECT_EQ(vek_lib::save_encrypted_wallet(wallet("w", "n"), vault).error().display(), expected);
  EXPECT_EQ(vek_lib::delete_wallet_file("w", vault).error().display(), expected);
}


// The display text of a failure, or a text no expected message equals.
template <typename T>
std::string error_of(const vek_lib::VekResult<T>& r) {
  return r ? std::string("(succeeded)") : r.error().display();
}

// Directories another user controls could have their wallet files swapped, or lead the
// permission change elsewhere (a root caller would chmod any directory): refused and
// left untouched. New directories are owner-only from the start.
TEST_F(Vault, DirectoriesOthersControlAreRefused) {
  const mode_t old_umask = ::umask(0);
  auto deep = vek_lib::wallets_dir((root_ / "a" / "b").native());
  ::umask(old_umask);
  ASSERT_TRUE(deep) << deep.error().display();
  EXPECT_EQ(mode_of(root_ / "a"), 0700u);
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give directories to another user";

  const fs::path vault = root_ / "vault";
  const std::string caller = ", not by the calling user (uid " + std::to_string(::geteuid()) + ")";
  fs::create_directories(wallets_);
  ASSERT_EQ(::chmod(vault.c_str(), 0755), 0);
  ASSERT_EQ(::chown(vault.c_str(), 65534, 65534), 0);
  EXPECT_EQ(error_of(vek_lib::list_encrypted_wallets(vault_)),
            "I/O error: refusing to use " + vault_ + ": owned by uid 65534" + caller);
  EXPECT_EQ(mode_of(vault), 0755u);
  ASSERT_EQ(::chown(vault.c_str(), ::geteuid(), ::getegid()), 0);
  ASSERT_EQ(::chown(wallets_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(error_of(vek_lib::save_encrypted_wallet(wallet("w", "n"), vault_)),
            "I/O error: refusing to use " + wallets_.native() + ": owned by uid 65534" + caller);
  fs::remove(wallets_);

  // A link in place of the wallets directory is refused even when it leads to the caller's
  // own directory; the vault directory may be the caller's own link, not another user's.
  const fs::path elsewhere = root_ / "elsewhere";
  fs::create_directory(elsewhere);
  ASSERT_EQ(::chmod(elsewhere.c_str(), 0755), 0);
  fs::create_directory_symlink(elsewhere, wallets_);
  EXPECT_EQ(error_of(vek_lib::save_encrypted_wallet(wallet("w", "n"), vault_)),
            "I/O error: refusing to follow the symbolic link " + wallets_.native());
  fs::remove(wallets_);
  const fs::path link = root_ / "link";
  fs::create_directory_symlink(elsewhere, link);
  ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
  EXPECT_EQ(error_of(vek_lib::list_encrypted_wallets(link.native())),
            "I/O error: refusing to follow the symbolic link " + link.native());
  EXPECT_EQ(mode_of(elsewhere), 0755u);
  EXPECT_TRUE(fs::is_empty(elsewhere));
  ASSERT_EQ(::lchown(link.c_str(), ::geteuid(), ::getegid()), 0);
  ASSERT_TRUE(vek_lib::list_encrypted_wallets(link.native()));
  EXPECT_EQ(mode_of(elsewhere), 0700u);
}

// A write never replaces, and a removal never deletes, a file that holds another wallet
// (another id, or the same id with another encrypted secret, as a copied file has).
TEST_F(Vault, FilesHoldingAnotherWalletAreNeitherReplacedNorRemoved) {
  EncryptedWallet alice = wallet("a", "alice");
  EncryptedWallet bob = wallet("a", "bob");
  bob.crypto = nlohmann::json{{"cipher", "other"}};
  save(alice);
  put("copy.json", vek_core::wallet_to_json_text(bob).value());
  const std::string alice_text = slurp(wallets_ / "a.json");

  auto found = vek_lib::load_stored_wallet("bob", vault_);
  ASSERT_TRUE(found) << found.error().display();
  EXPECT_EQ(found->file_name, "copy.json");

  // Written where it was read from; refused over the file of the other secret.
  found->wallet.name = "carol";
  ASSERT_TRUE(vek_lib::save_encrypted_wallet(found->wallet, vault_, found->file_name));
  EXPECT_EQ(slurp(wallets_ / "copy.json"), vek_core::wallet_to_json_text(found->wallet).value());
  auto over = vek_lib::save_encrypted_wallet(found->wallet, vault_, "a.json");
  ASSERT_FALSE(over);
  EXPECT_EQ(over.error().display(),
            "I/O error: refusing to replace " + (wallets_ / "a.json").native() + ": it holds a different wallet");
  EXPECT_EQ(slurp(wallets_ / "a.json"), alice_text);

  vek_lib::StoredWallet stale{found->wallet, "a.json"};
  auto del = vek_lib::delete_stored_wallet(stale, vault_);
  ASSERT_FALSE(del);
  EXPECT_EQ(del.error().display(),
            "I/O error: refusing to remove " + (wallets_ / "a.json").native() + ": it holds a different wallet");
  ASSERT_TRUE(vek_lib::delete_stored_wallet(*found, vault_));
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"a.json"});
  EXPECT_EQ(slurp(wallets_ / "a.json"), alice_text);
}

// A file above the read limit would vanish from every listing: refused, the old file kept.
TEST_F(Vault, WalletTooLargeToReadBackIsNotWritten) {
  save(wallet("w", "before"));
  const std::string before = slurp(wallets_ / "w.json");
  auto r = vek_lib::save_encrypted_wallet(wallet("w", std::string(std::size_t{64} << 20, 'x')), vault_);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), "invalid input: the wallet file would be larger than the limit of 67108864 bytes");
  EXPECT_EQ(names_in(wallets_), std::vector<std::string>{"w.json"});
  EXPECT_EQ(slurp(wallets_ / "w.json"), before);
}

// A file name with terminal control sequences cannot rewrite the terminal through a warning.
TEST_F(Vault, WarningsEscapeControlCharactersInPaths) {
  const fs::path wallets = root_ / "v\x1b[2J" / "wallets";
  fs::create_directories(wallets);
  std::ofstream(wallets / "evil\x1b]0;owned\x07\r\n.json") << "{";
  StderrCapture err;
  ASSERT_TRUE(vek_lib::list_encrypted_wallets((root_ / "v\x1b[2J").native()));
  ::chmod(wallets.c_str(), 0750);
  vek_lib::check_vault_permissions(wallets);
  const std::string shown = root_.native() + "/v\\u001b[2J/wallets";
  EXPECT_EQ(err.text(), "warning: skipping " + shown +
                            "/evil\\u001b]0;owned\\u0007\\r\\n.json: unexpected end of input at line 1 column 2\n"
                            "warning: " + shown + " has permissions 0750, expected 0700\n");
}

}  // namespace
