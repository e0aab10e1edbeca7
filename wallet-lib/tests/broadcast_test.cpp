// Broadcasting through a stand-in `curl`: a shell script put first on PATH that records
// its argument vector and standard input and answers from files the test writes.
#include "vek/lib/broadcast.h"
#include "vek/lib/caller.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../src/transactions/process.h"
#include "vek/core/config.h"
#include "vek/lib/signing.h"
#include "vek/signer/chains.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"

namespace fs = std::filesystem;
using vek_core::ChainType;
using vek_lib::VekLibErrorKind;

namespace {

constexpr const char* kFakeCurl = R"sh(#!/bin/sh
d=$(dirname "$0")
echo x >> "$d/calls"
printf '%s\0' "$@" > "$d/argv"
cat > "$d/stdin"
if [ -f "$d/err_first" ]; then cat "$d/err_first" >&2; fi
if [ -f "$d/out" ]; then cat "$d/out"; fi
if [ -f "$d/err" ]; then cat "$d/err" >&2; fi
if [ -f "$d/kill" ]; then kill -9 $$; fi
if [ -f "$d/delay" ]; then sleep "$(cat "$d/delay")"; fi
if [ -f "$d/hang" ]; then exec sleep 1000; fi
if [ -f "$d/quiet_hang" ]; then exec sleep 1000 >&- 2>&-; fi
if [ -f "$d/endless_out" ]; then exec yes; fi
if [ -f "$d/endless_err" ]; then exec yes 1>&2; fi
exit $(cat "$d/status" 2>/dev/null || echo 0)
)sh";

void write_file(const fs::path& p, std::string_view content) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(f.good()) << p;
}

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::string> split_nul(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\0') {
      parts.emplace_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::vector<std::string> curl_argv(std::string_view body, std::string_view url) {
  return {"-fsSL", "-X", "POST", "-H", "Content-Type: application/json", "-d", std::string(body), std::string(url)};
}

// The vector for a body that curl reads from its standard input.
std::vector<std::string> stdin_argv(std::string_view url) {
  return {"-fsSL", "-X", "POST", "-H", "Content-Type: application/json", "--data-binary", "@-", std::string(url)};
}

std::size_t open_fd_count() {
  std::size_t n = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  ::closedir(dir);
  return n;
}

std::span<const std::uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Saves and restores one environment variable.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
  }
  ~EnvGuard() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class FakeCurlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vek-broadcast-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    bin_ = root_ / "bin";
    fs::create_directory(bin_);
    write_file(bin_ / "curl", kFakeCurl);
    fs::permissions(bin_ / "curl", fs::perms::owner_all);
    ::setenv("PATH", (bin_.string() + ":" + current_path()).c_str(), 1);
    fs::create_directory(root_ / "home");
    ::setenv("HOME", (root_ / "home").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  void set(const char* name, std::string_view content) { write_file(bin_ / name, content); }
  [[nodiscard]] bool called() const { return fs::exists(bin_ / "calls"); }
  [[nodiscard]] std::size_t call_count() const { return split_lines(read_file(bin_ / "calls")); }
  [[nodiscard]] std::vector<std::string> argv() const { return split_nul(read_file(bin_ / "argv")); }
  [[nodiscard]] std::string child_stdin() const { return read_file(bin_ / "stdin"); }

  static std::size_t split_lines(const std::string& s) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')); }

  static std::string current_path() {
    const char* v = std::getenv("PATH");
    return v ? v : "/usr/bin:/bin";
  }
  EnvGuard path_{"PATH"};
  EnvGuard home_{"HOME"};
  fs::path root_;
  fs::path bin_;
};

// ---- curl_post_json and the process runner -------------------------------------------------

TEST_F(FakeCurlTest, PassesExactArgumentsWithoutShellAndEmptyStdin) {
  // Hostile text in both body and URL: any shell on the way would run or split it.
  const std::string body = R"({"x":"$(touch pwned) `touch pwned2`; 'q' "w" \n)" "\nline2 *";
  const std::string url = "http://127.0.0.1:1/a b?c=$HOME&d=*";
  set("out", "  0xabc\n");

  // Our own standard input carries data: the child must not inherit it.
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ASSERT_EQ(::write(p[1], "leak", 4), 4);
  ::close(p[1]);
  const int saved_stdin = ::dup(STDIN_FILENO);
  ::dup2(p[0], STDIN_FILENO);
  ::close(p[0]);
  auto reply = vek_lib::curl_post_json(url, body);
  ::dup2(saved_stdin, STDIN_FILENO);
  ::close(saved_stdin);

  ASSERT_TRUE(reply) << reply.error().display();
  EXPECT_EQ(*reply, "  0xabc\n");  // untrimmed
  EXPECT_EQ(argv(), curl_argv(body, url));
  EXPECT_EQ(child_stdin(), "");
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(bin_ / "pwned"));
}

TEST_F(FakeCurlTest, LargeOutputOnBothStreamsDoesNotDeadlock) {
  ::alarm(120);  // a deadlock fails the test instead of hanging the run
  // Standard error is kept up to 64 KiB, as much as one pipe buffer holds: the child
  // can fill its stderr pipe both before and after a stdout far larger than a pipe.
  const std::string out(4 << 20, 'o');
  const std::string err1(40000, 'e');
  const std::string err2(65536 - 40000, 'f');
  set("out", out);
  set("err_first", err1);  // written before stdout
  set("err", err2);        // and after it
  auto ok = vek_lib::curl_post_json("http://u", "{}");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->size(), out.size());
  EXPECT_EQ(*ok, out);

  set("status", "3");
  auto failed = vek_lib::curl_post_json("http://u", "{}");
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().code, VekLibErrorKind::BroadcastFailed);
  EXPECT_EQ(failed.error().detail, err1 + err2);
  ::alarm(0);
}

TEST_F(FakeCurlTest, UnsuccessfulExitReportsStderrUntrimmed) {
  struct Case {
    const char* status;
    bool kill;
    std::string err;
    std::string display;
  } cases[] = {
      {"22", false, "curl: (22) The requested URL returned error: 500\n",
       "broadcast failed: curl: (22) The requested URL returned error: 500\n"},
      {"7", false, "", "broadcast failed: "},
      {"1", false, "  spaced \n\n", "broadcast failed:   spaced \n\n"},
      // Killed by a signal: what it wrote before is incomplete, the signal says why.
      {"0", true, "dying\n", "broadcast failed: curl was terminated by signal 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display);
    set("status", c.status);
    set("err", c.err);
    set("out", R"({"result":"0xabc"})");
    if (c.kill) set("kill", "");
    auto r = vek_lib::curl_post_json("http://x", "{}");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, VekLibErrorKind::BroadcastFailed);
    EXPECT_EQ(r.error().display(), c.display);
    fs::remove(bin_ / "kill");
  }
}

TEST_F(FakeCurlTest, InvalidUtf8IsReplacedOnBothStreams) {
  set("out", "a\xff" "b\xe2\x82" "c\xf0\x9f\x98");
  auto ok = vek_lib::curl_post_json("http://u", "{}");
  ASSERT_TRUE(ok);
  EXPECT_EQ(*ok, "a\uFFFD" "b\uFFFD" "c\uFFFD");

  set("err", "bad \xc3(\n");
  set("status", "6");
  auto failed = vek_lib::curl_post_json("http://u", "{}");
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().display(), "broadcast failed: bad \uFFFD(\n");
}

TEST(Utf8Lossy, ReplacesMaximalInvalidSubparts) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"plain ascii", "plain ascii"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"},  // valid 2- and 4-byte sequences kept
      {"\xc0\x80", "\uFFFD\uFFFD"},                                     // overlong lead is never valid
      {"\xe0\x80\x80", "\uFFFD\uFFFD\uFFFD"},                           // overlong 3-byte form
      {"\xed\xa0\x80", "\uFFFD\uFFFD\uFFFD"},                           // UTF-16 surrogate
      {"\xf4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},                 // above U+10FFFF
      {"\xf0\x9f\x98x", "\uFFFDx"},                                     // truncated, then ASCII
      {"\xe2\x82", "\uFFFD"},                                           // truncated at the end
      {"\x80\xbf", "\uFFFD\uFFFD"},                                     // lone continuation bytes
      {"\xf5\xff", "\uFFFD\uFFFD"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vek_lib::utf8_lossy(c.in), c.out) << vek_signer::hex_encode(bytes(c.in));
  }
}

TEST_F(FakeCurlTest, BodyTooLongForOneArgumentGoesOnStdin) {
  const std::size_t limit = vek_lib::max_single_argument_bytes();
  ASSERT_EQ(limit, static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) * 32 - 1);
  set("out", "ok");

  // The longest body that still fits as one argument keeps the usual vector.
  const std::string at_limit(limit, 'a');
  auto r1 = vek_lib::curl_post_json("http://n/", at_limit);
  ASSERT_TRUE(r1) << r1.error().display();
  EXPECT_EQ(argv(), curl_argv(at_limit, "http://n/"));
  EXPECT_EQ(child_stdin(), "");

  for (std::size_t size : {limit + 1, std::size_t{200'000}, std::size_t{3'000'000}}) {
    SCOPED_TRACE(size);
    std::string body(size, 'b');
    body.front() = '{';
    body.back() = '}';
    auto r = vek_lib::curl_post_json("http://n/", body);
    ASSERT_TRUE(r) << r.error().display();
    EXPECT_EQ(*r, "ok");
    EXPECT_EQ(argv(), stdin_argv("http://n/"));
    EXPECT_EQ(child_stdin(), body);
  }
}

TEST(WriteWithoutSigpipe, PipeWithoutReaderFailsWithEpipe) {
  // SIGPIPE at its default action would end this process on an unguarded write.
  struct sigaction dfl {}, old {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &dfl, &old);
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ::close(p[0]);
  sigset_t before;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &before);
  errno = 0;
  EXPECT_EQ(vek_lib::write_without_sigpipe(p[1], "abc", 3), -1);
  EXPECT_EQ(errno, EPIPE);
  sigset_t after, pending;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &after);
  ::sigpending(&pending);
  EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
  ::close(p[1]);
  ::sigaction(SIGPIPE, &old, nullptr);
}

TEST_F(FakeCurlTest, LeavesNoDescriptorsOrChildrenBehind) {
  const std::size_t fds_before = open_fd_count();
  set("out", "x");
  EXPECT_TRUE(vek_lib::curl_post_json("http://u", "{}"));
  EXPECT_TRUE(vek_lib::curl_post_json("http://u", std::string(300'000, 'q')));
  set("status", "9");
  EXPECT_FALSE(vek_lib::curl_post_json("http://u", "{}"));
  {
    EnvGuard path("PATH");
    ::setenv("PATH", (root_ / "home").c_str(), 1);
    EXPECT_FALSE(vek_lib::curl_post_json("http://u", "{}"));
    EXPECT_FALSE(vek_lib::curl_post_json("http://u", std::string(300'000, 'q')));
  }
  EXPECT_EQ(open_fd_count(), fds_before);
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(FakeCurlTest, MissingCurlIsReportedWithTheSystemText) {
  ::setenv("PATH", (root_ / "home").c_str(), 1);  // a directory without curl
  auto r = vek_lib::curl_post_json("http://x", "{}");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().code, VekLibErrorKind::BroadcastFailed);
  EXPECT_EQ(r.error().display(), "broadcast failed: failed to run curl: No such file or directory (os error 2)");

  // A file named curl that cannot be executed is a start failure too, not a curl failure.
  write_file(root_ / "home" / "curl", "#!/bin/sh\n");
  fs::permissions(root_ / "home" / "curl", fs::perms::owner_read | fs::perms::owner_write);
  auto denied = vek_lib::curl_post_json("http://x", "{}");
  ASSERT_FALSE(denied);
  EXPECT_EQ(denied.error().display(), "broadcast failed: failed to run curl: Permission denied (os error 13)");
}

TEST_F(FakeCurlTest, OutputIsCappedAndCurlEndedPastTheCap) {
  ::alarm(120);  // an uncapped endless writer fails the test instead of hanging the run
  const std::size_t cap = std::size_t{16} << 20;
  set("out", std::string(cap, 'o'));
  auto at_cap = vek_lib::curl_post_json("http://n/", "{}");
  ASSERT_TRUE(at_cap) << at_cap.error().display();
  EXPECT_EQ(at_cap->size(), cap);

  set("out", std::string(cap + 1, 'o'));
  auto past = vek_lib::curl_post_json("http://n/", "{}");
  ASSERT_FALSE(past);
  EXPECT_EQ(past.error().code, VekLibErrorKind::BroadcastFailed);
  EXPECT_EQ(past.error().display(), "broadcast failed: reply larger than 16777216 bytes");

  // Writers that never stop are ended, on either stream.
  fs::remove(bin_ / "out");
  set("endless_out", "");
  EXPECT_EQ(vek_lib::curl_post_json("http://n/", "{}").error().display(),
            "broadcast failed: reply larger than 16777216 bytes");
  fs::remove(bin_ / "endless_out");
  set("endless_err", "");
  EXPECT_EQ(vek_lib::curl_post_json("http://n/", "{}").error().display(),
            "broadcast failed: curl wrote more than 65536 bytes to standard error");
  ::alarm(0);
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);  // every curl was reaped
  EXPECT_EQ(errno, ECHILD);
}

int g_checks = 0;
std::chrono::steady_clock::time_point g_stop_at;

TEST_F(FakeCurlTest, WaitCheckCanEndAHungCurl) {
  ::alarm(60);
  // A check that lets the wait go on is called while curl runs, and changes nothing.
  set("delay", "0.3");
  set("out", "ok");
  g_checks = 0;
  {
    const vek_lib::ScopedBroadcastCheck scope([] { return ++g_checks > 0; });
    auto r = vek_lib::curl_post_json("http://n/", "{}");
    ASSERT_TRUE(r) << r.error().display();
    EXPECT_EQ(*r, "ok");
  }
  EXPECT_GE(g_checks, 2);

  // One that says stop ends curl, however long it would have run.
  fs::remove(bin_ / "delay");
  set("hang", "");
  g_checks = 0;
  {
    const vek_lib::ScopedBroadcastCheck scope([] { return ++g_checks < 3; });
    auto r = vek_lib::curl_post_json("http://n/", "{}");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "broadcast failed: interrupted while waiting for curl");
  }
  EXPECT_EQ(g_checks, 3);

  // Also once curl has closed its output but not exited.
  fs::remove(bin_ / "hang");
  set("quiet_hang", "");
  g_stop_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  {
    const vek_lib::ScopedBroadcastCheck scope([] { return std::chrono::steady_clock::now() < g_stop_at; });
    EXPECT_EQ(vek_lib::curl_post_json("http://n/", "{}").error().display(),
              "broadcast failed: interrupted while waiting for curl");
  }
  fs::remove(bin_ / "quiet_hang");
  ::alarm(0);
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  // The scope is gone: the next call is not checked.
  g_checks = 0;
  EXPECT_TRUE(vek_lib::curl_post_json("http://n/", "{}"));
  EXPECT_EQ(g_checks, 0);
}

TEST_F(FakeCurlTest, OnlyHttpAndHttpsEndpointsReachCurl) {
  set("out", "ok");
  for (std::string url : {"file:///etc/passwd", "FILE:///etc/passwd", "gopher://127.0.0.1:25/_HELO", "dict://127.0.0.1:11211/stats",
                          "telnet://127.0.0.1:23", "ftp://x/", "ldap://x", "", "u", "127.0.0.1:8545", "//host/",
                          "-K/tmp/conf", "--config=/tmp/conf", "http:/x", "http:x", " http://x", "httpx://x",
                          "https:/x", "http\n://x"}) {
    SCOPED_TRACE(url);
    auto r = vek_lib::curl_post_json(url, "{}");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, VekLibErrorKind::InvalidInput);
    EXPECT_EQ(r.error().display(), "invalid input: RPC URL must start with http:// or https://: '" + url + "'");
  }
  EXPECT_FALSE(called());
  for (std::string url : {"http://a", "https://a/b?c", "HTTP://A", "HtTpS://x:1/", "http://"}) {
    SCOPED_TRACE(url);
    auto r = vek_lib::curl_post_json(url, "{}");
    ASSERT_TRUE(r) << r.error().display();
    EXPECT_EQ(argv(), curl_argv("{}", url));
  }
}

// ---- extract_json_field --------------------------------------------------------------------

TEST(ExtractJsonField, ReadsResultOrReportsWhyNot) {
  struct Case {
    std::string text;
    std::string field;
    std::optional<std::string> value;
    std::string display;
  } cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"result":"0xdeadbeef"})", "result", "0xdeadbeef", ""},
      {R"({"result":"caf\u00e9"})", "result", "caf\xc3\xa9", ""},
      {R"({"result":""})", "result", "", ""},
      {R"({"other":"v","result":7})", "other", "v", ""},
      // Any error member wins, even beside a result, and is printed compactly with sorted keys.
      {R"({"jsonrpc":"2.0","id":1,"result":"0x1","error":{"message":"nonce too low","code":-32000}})", "result",
       std::nullopt, R"(broadcast failed: RPC error: {"code":-32000,"message":"nonce too low"})"},
      {"{ \"error\" : { \"code\" : 3 , \"data\" : [ 1 , \"x\" ] } }", "result", std::nullopt,
       R"(broadcast failed: RPC error: {"code":3,"data":[1,"x"]})"},
      {R"({"error":null,"result":"0x1"})", "result", std::nullopt, "broadcast failed: RPC error: null"},
      {R"({"error":"boom"})", "result", std::nullopt, R"(broadcast failed: RPC error: "boom")"},
      {R"({"result":5})", "result", std::nullopt, R"(broadcast failed: no 'result' in response: {"result":5})"},
      {R"({"result":null})", "result", std::nullopt, R"(broadcast failed: no 'result' in response: {"result":null})"},
      {R"({"result":["0x1"]})", "result", std::nullopt,
       R"(broadcast failed: no 'result' in response: {"result":["0x1"]})"},
      {" {\"id\": 1}\n", "result", std::nullopt, "broadcast failed: no 'result' in response:  {\"id\": 1}\n"},
      {R"("0xabc")", "result", std::nullopt, R"(broadcast failed: no 'result' in response: "0xabc")"},
      {R"([{"error":1}])", "result", std::nullopt, R"(broadcast failed: no 'result' in response: [{"error":1}])"},
      {R"({"Result":"x"})", "result", std::nullopt, R"(broadcast failed: no 'result' in response: {"Result":"x"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = vek_lib::extract_json_field(c.text, c.field);
    if (c.value) {
      ASSERT_TRUE(r) << r.error().display();
      EXPECT_EQ(*r, *c.value);
    } else {
      ASSERT_FALSE(r);
      EXPECT_EQ(r.error().code, VekLibErrorKind::BroadcastFailed);
      EXPECT_EQ(r.error().display(), c.display);
    }
  }
}

TEST(ExtractJsonField, NonJsonIsAJsonError) {
  for (std::string text : {"", "not json", "<html>502 Bad Gateway</html>", R"({"result":"0x1"} trailing)",
                           R"({"result":"0x1")", "{\"result\":\"\xff\"}"}) {
    SCOPED_TRACE(text);
    auto r = vek_lib::extract_json_field(text, "result");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, VekLibErrorKind::Json);
    EXPECT_EQ(r.error().display().rfind("JSON error: [json.exception.parse_error.", 0), 0u) << r.error().display();
  }
  EXPECT_EQ(vek_lib::extract_json_field("nope", "result").error().display(),
            "JSON error: [json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
            "parsing value - invalid literal; last read: 'no'");
}

// ---- broadcast: request bodies -------------------------------------------------------------

TEST_F(FakeCurlTest, RequestBodiesAreExactJsonRpcEnvelopes) {
  struct Case {
    ChainType family;
    std::vector<std::uint8_t> signed_tx;
    std::string body;
  } cases[] = {
      {ChainType::Evm, {0x02, 0xAB, 0xCD, 0xEF, 0x00, 0x9F},
       R"({"id":1,"jsonrpc":"2.0","method":"eth_sendRawTransaction","params":["0x02abcdef009f"]})"},
      {ChainType::Evm, {}, R"({"id":1,"jsonrpc":"2.0","method":"eth_sendRawTransaction","params":["0x"]})"},
      // Standard alphabet (+ and /) with padding: fb ef ff -> "++//", 01 -> "AQ==". Nodes
      // read a transaction as base58 unless the options object names base64.
      {ChainType::Solana, {0xFB, 0xEF, 0xFF, 0x01},
       R"({"id":1,"jsonrpc":"2.0","method":"sendTransaction","params":["++//AQ==",{"encoding":"base64"}]})"},
      {ChainType::Solana, {0x00, 0x01},
       R"({"id":1,"jsonrpc":"2.0","method":"sendTransaction","params":["AAE=",{"encoding":"base64"}]})"},
  };
  const std::string url = "https://node.example/path/";  // used unchanged, trailing slash included
  set("out", R"({"jsonrpc":"2.0","result":"0xhash","id":1})");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    auto r = vek_lib::broadcast(c.family, url, c.signed_tx);
    ASSERT_TRUE(r) << r.error().display();
    EXPECT_EQ(*r, "0xhash");
    EXPECT_EQ(argv(), curl_argv(c.body, url));
  }
}

TEST_F(FakeCurlTest, BroadcastPassesReplyErrorsThrough) {
  set("out", R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"invalid params"}})");
  auto rpc = vek_lib::broadcast(ChainType::Evm, "http://u", bytes("\x02"));
  ASSERT_FALSE(rpc);
  EXPECT_EQ(rpc.error().display(), R"(broadcast failed: RPC error: {"code":-32602,"message":"invalid params"})");

  set("out", "Internal Server Error");
  auto json = vek_lib::broadcast(ChainType::Solana, "http://u", bytes("\x01"));
  ASSERT_FALSE(json);
  EXPECT_EQ(json.error().code, VekLibErrorKind::Json);

  set("status", "22");
  set("err", "curl: (22) The requested URL returned error: 500\n");
  auto http = vek_lib::broadcast(ChainType::Evm, "http://u", bytes("\x02"));
  ASSERT_FALSE(http);
  EXPECT_EQ(http.error().display(), "broadcast failed: curl: (22) The requested URL returned error: 500\n");
}

TEST_F(FakeCurlTest, BroadcastRefusesFamiliesWithoutARequestFormat) {
  for (ChainType t : {ChainType::Cosmos, ChainType::Bitcoin, ChainType::Tron, ChainType::Ton}) {
    auto r = vek_lib::broadcast(t, "http://u", bytes("\x01"));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "invalid input: no broadcast method for chain family '" +
                                       std::string(vek_core::chain_type_name(t)) + "'");
  }
  EXPECT_FALSE(called());
}

// ---- sign_and_assemble, then send_signed (what the one-call sign_and_send does) --------------

const std::vector<std::uint8_t> kKey(32, 0x11);

vek_lib::VekResult<std::string> sign_encode_and_broadcast(std::span<const std::uint8_t> key, std::string_view chain,
                                                          std::span<const std::uint8_t> tx,
                                                          std::optional<std::string_view> url) {
  auto c = vek_lib::resolve_chain(chain);
  if (!c) return std::unexpected(c.error());
  auto assembled = vek_lib::sign_and_assemble(key, *c, tx);
  if (!assembled) return std::unexpected(assembled.error());
  return vek_lib::send_signed(*c, assembled->signed_tx, url);
}

TEST_F(FakeCurlTest, FamiliesThatCannotAssembleAreRefusedBeforeAnyRequest) {
  for (const char* chain : {"cosmos", "bitcoin", "tron", "ton", "cosmos:cosmoshub-4", "TON"}) {
    for (const std::optional<std::string_view> url : {std::optional<std::string_view>("http://127.0.0.1:9/"),
                                                       std::optional<std::string_view>()}) {
      SCOPED_TRACE(chain);
      auto r = sign_encode_and_broadcast(kKey, chain, bytes("\x01\x02\x03"), url);
      ASSERT_FALSE(r);
      EXPECT_EQ(r.error().code, VekLibErrorKind::InvalidTransaction);
      const std::string family(vek_core::chain_type_name(vek_signer::parse_chain(chain)->chain_type));
      EXPECT_EQ(r.error().display(), "invalid transaction: encode_signed_transaction not implemented for " + family);
    }
  }
  EXPECT_FALSE(called());
}

TEST_F(FakeCurlTest, UnknownChainAndSignerFailuresStopBeforeAnyRequest) {
  auto unknown = sign_encode_and_broadcast(kKey, "dogecoin", bytes("\x02\xc0"), "http://u");
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().code, VekLibErrorKind::InvalidInput);
  EXPECT_EQ(unknown.error().display(), "invalid input: " + vek_signer::parse_chain("dogecoin").error());

  // A legacy (untyped) EVM transaction cannot be assembled.
  auto legacy = sign_encode_and_broadcast(kKey, "ethereum", bytes("\xc0"), "http://u");
  ASSERT_FALSE(legacy);
  EXPECT_EQ(legacy.error().code, VekLibErrorKind::InvalidTransaction);

  // A Solana transaction without a message after its slots has nothing to sign.
  auto short_sol = sign_encode_and_broadcast(kKey, "solana", std::vector<std::uint8_t>(65, 1), "http://u");
  ASSERT_FALSE(short_sol);
  EXPECT_EQ(short_sol.error().display(),
            "invalid transaction: transaction too short for declared signature slots");
  EXPECT_FALSE(called());
}

// 0x02 || rlp([chain_id 1, nonce 0, tip 1, max fee 2, gas 21000, to 0x11.., value 0, data "", access list []])
std::vector<std::uint8_t> eip1559_tx() {
  return *vek_signer::hex_decode("02df0180010282520894" + std::string(40, '1') + "8080c0");
}

std::string evm_body_for(std::span<const std::uint8_t> tx) {
  const auto signer = vek_signer::signer_for_chain(ChainType::Evm);
  auto sig = signer->sign_transaction(kKey, tx);
  auto signed_tx = signer->encode_signed_transaction(tx, *sig);
  return R"({"id":1,"jsonrpc":"2.0","method":"eth_sendRawTransaction","params":["0x)" +
         vek_signer::hex_encode(*signed_tx) + R"("]})";
}

TEST_F(FakeCurlTest, EvmBytesAfterTheTransactionAreRefused) {
  // They would be signed but never sent, and the node would see a signature over other
  // bytes: one that recovers to an unrelated sender.
  std::vector<std::uint8_t> tx = eip1559_tx();
  tx.push_back(0x00);
  auto one = sign_encode_and_broadcast(kKey, "ethereum", tx, "http://n/");
  ASSERT_FALSE(one);
  EXPECT_EQ(one.error().display(), "invalid input: 1 byte follows the transaction's RLP list");
  tx.insert(tx.end(), {0xc0, 0x80});
  auto three = sign_encode_and_broadcast(kKey, "polygon", tx, std::nullopt);
  ASSERT_FALSE(three);
  EXPECT_EQ(three.error().code, VekLibErrorKind::InvalidInput);
  EXPECT_EQ(three.error().display(), "invalid input: 3 bytes follow the transaction's RLP list");
  EXPECT_FALSE(called());
}

TEST_F(FakeCurlTest, EvmTransactionGoesToTheChosenEndpoint) {
  const auto tx = eip1559_tx();
  const std::string body = evm_body_for(tx);
  ASSERT_EQ(body.find("\"params\":[\"0x02"), body.find("\"params\""));
  set("out", R"({"jsonrpc":"2.0","id":1,"result":"0x5c504ed432cb51138bcf09aa5e8a410dd4a1e204ef84bfed1be16dfba1b22060"})");

  // An explicit URL wins, even an empty one (which is then refused), and the
  // configuration is not consulted.
  fs::create_directories(root_ / "home" / ".vek");
  write_file(root_ / "home" / ".vek" / "config.json",
             R"({"vault_path":"/tmp/v","rpc":{"eip155:1":"http://configured.example","eip155:137":"http://poly"}})");
  auto r = sign_encode_and_broadcast(kKey, "ethereum", tx, "http://given.example:8545/");
  ASSERT_TRUE(r) << r.error().display();
  EXPECT_EQ(*r, "0x5c504ed432cb51138bcf09aa5e8a410dd4a1e204ef84bfed1be16dfba1b22060");
  EXPECT_EQ(argv(), curl_argv(body, "http://given.example:8545/"));
  auto empty = sign_encode_and_broadcast(kKey, "ethereum", tx, "");
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error().display(), "invalid input: RPC URL must start with http:// or https://: ''");

  // Without one, the configured endpoint for the chain's CAIP-2 id, read on every call.
  ASSERT_TRUE(sign_encode_and_broadcast(kKey, "ethereum", tx, std::nullopt));
  EXPECT_EQ(argv(), curl_argv(body, "http://configured.example"));
  ASSERT_TRUE(sign_encode_and_broadcast(kKey, "polygon", tx, std::nullopt));
  EXPECT_EQ(argv(), curl_argv(body, "http://poly"));
  ASSERT_TRUE(sign_encode_and_broadcast(kKey, "arbitrum", tx, std::nullopt));
  EXPECT_EQ(argv(), curl_argv(body, vek_core::Config::default_rpc().at("eip155:42161")));

  write_file(root_ / "home" / ".vek" / "config.json", R"({"rpc":{"eip155:1":"http://ignored"}})");
  ASSERT_TRUE(sign_encode_and_broadcast(kKey, "ethereum", tx, std::nullopt));
  EXPECT_EQ(argv(), curl_argv(body, vek_core::Config::default_rpc().at("eip155:1")));

  fs::remove(root_ / "home" / ".vek" / "config.json");
  ASSERT_TRUE(sign_encode_and_broadcast(kKey, "eip155:1", tx, std::nullopt));
  EXPECT_EQ(argv(), curl_argv(body, vek_core::Config::default_rpc().at("eip155:1")));
  EXPECT_EQ(call_count(), 6u);
}

// A configuration file another user may write would choose where the signed transaction
// goes: refused before any request.
TEST_F(FakeCurlTest, ConfigurationWritableByOthersIsRefused) {
  const fs::path config = root_ / "home" / ".vek" / "config.json";
  fs::create_directories(config.parent_path());
  write_file(config, R"({"vault_path":"v","rpc":{"eip155:1":"http://planted.example"}})");
  fs::permissions(config, fs::perms(0646));
  auto r = sign_encode_and_broadcast(kKey, "ethereum", eip1559_tx(), std::nullopt);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), "I/O error: refusing to read " + config.native() + ": writable by others (mode 0646)");
  EXPECT_FALSE(called());
}

struct PkeyDeleter {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct MdCtxDeleter {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

// The signed Solana transaction computed independently with OpenSSL's Ed25519.
std::string solana_signed_base64(std::span<const std::uint8_t> tx) {
  std::unique_ptr<EVP_PKEY, PkeyDeleter> pkey(
      EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, kKey.data(), kKey.size()));
  std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
  EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get());
  std::vector<std::uint8_t> signed_tx(tx.begin(), tx.end());
  std::size_t sig_len = 64;
  EVP_DigestSign(ctx.get(), signed_tx.data() + 1, &sig_len, tx.data() + 65, tx.size() - 65);
  std::string b64(4 * ((signed_tx.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(b64.data()), signed_tx.data(),
                                static_cast<int>(signed_tx.size()));
  b64.resize(static_cast<std::size_t>(n));
  return b64;
}

TEST_F(FakeCurlTest, SolanaTransactionIsSignedIntoSlotZeroAndSentAsBase64) {
  // One signature slot (zeroed), then a message.
  std::vector<std::uint8_t> tx(1 + 64, 0);
  tx[0] = 1;
  for (int b : {0x01, 0x00, 0x01, 0x03, 0xFE, 0xFF, 0x3E, 0x3F}) tx.push_back(static_cast<std::uint8_t>(b));
  set("out", R"({"jsonrpc":"2.0","result":"5VERv8NMvzbJMEkV8xnrLkEaWRtSz9CosKDYjCJjBRnbJLgp8uirBgmQpjKhoR4tjF3ZpRzrFmBV6UjKdiSZkQUW","id":1})");
  auto r = sign_encode_and_broadcast(kKey, "Solana", tx, "http://sol/");
  ASSERT_TRUE(r) << r.error().display();
  EXPECT_EQ(*r, "5VERv8NMvzbJMEkV8xnrLkEaWRtSz9CosKDYjCJjBRnbJLgp8uirBgmQpjKhoR4tjF3ZpRzrFmBV6UjKdiSZkQUW");
  EXPECT_EQ(argv(), curl_argv(R"({"id":1,"jsonrpc":"2.0","method":"sendTransaction","params":[")" +
                                  solana_signed_base64(tx) + R"(",{"encoding":"base64"}]})",
                              "http://sol/"));
}

// ---- broadcast: a transaction signed elsewhere -----------------------------------------------

// The reply and what the quiet request's --write-out adds: the status, the bytes uploaded, no redirect.
std::string quiet_reply(std::string_view body) { return std::string(body) + "\n200\n0\n"; }

TEST_F(FakeCurlTest, BroadcastSubmitsSignedBytesAndChecksTheNodesHash) {
  // A signed Solana transaction: its first signature names it. The message: one signer,
  // a zero blockhash, no instructions.
  std::vector<std::uint8_t> sol(1 + 64, 0x42);
  sol[0] = 1;
  for (int b : {0x01, 0x00, 0x00, 0x01}) sol.push_back(static_cast<std::uint8_t>(b));
  sol.insert(sol.end(), 64, 0x11);
  sol.push_back(0);
  const std::string sol_hash = vek_signer::base58_encode(std::span<const std::uint8_t>(sol).subspan(1, 64));
  set("out", quiet_reply(R"({"result":")" + sol_hash + R"("})"));
  auto r = vek_lib::broadcast("solana", sol, "http://sol/");
  ASSERT_TRUE(r) << r.error().display();
  EXPECT_EQ(*r, sol_hash);
  // The body travels on standard input, the endpoint in the configuration on descriptor 3.
  EXPECT_EQ(child_stdin(), R"({"id":1,"jsonrpc":"2.0","method":"sendTransaction","params":[")" +
                               vek_signer::base64_encode(sol) + R"(",{"encoding":"base64"}]})");
  EXPECT_EQ(argv(), (std::vector<std::string>{"-q", "-K", "/dev/fd/3"}));

  // EVM: the hash is that of the bytes; the node may write it in upper case.
  const std::vector<std::uint8_t> evm = {0x02, 0xc1, 0x80};
  std::string evm_hash = "0x" + vek_signer::hex_encode(vek_signer::keccak256(evm));
  std::string shouted = evm_hash;
  std::transform(shouted.begin() + 2, shouted.end(), shouted.begin() + 2, [](char c) { return static_cast<char>(std::toupper(c)); });
  set("out", quiet_reply(R"({"result":")" + shouted + R"("})"));
  auto e = vek_lib::broadcast(*vek_signer::parse_chain("polygon"), evm, "http://evm/");
  ASSERT_TRUE(e) << e.error().display();
  EXPECT_EQ(*e, shouted);

  // Another transaction's hash is not taken for this one's.
  set("out", quiet_reply(R"({"result":")" + sol_hash + R"("})"));
  auto other = vek_lib::broadcast("ethereum", evm, "http://evm/");
  ASSERT_FALSE(other);
  EXPECT_EQ(other.error().display(), "broadcast failed: the node answered transaction hash " + sol_hash +
                                         ", but the transaction sent has hash " + evm_hash);
}

TEST_F(FakeCurlTest, BroadcastRefusesWhatItCannotSubmitBeforeAnyRequest) {
  auto unknown = vek_lib::broadcast("dogecoin", bytes("\x01"), "http://u/");
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().display(), "invalid input: " + vek_signer::parse_chain("dogecoin").error());
  auto bitcoin = vek_lib::broadcast("bitcoin", bytes("\x01"), "http://u/");
  ASSERT_FALSE(bitcoin);
  EXPECT_EQ(bitcoin.error().display(), "invalid input: no broadcast method for chain family 'bitcoin'");
  auto file = vek_lib::broadcast("solana", bytes("\x01"), "file:///etc/passwd");
  ASSERT_FALSE(file);
  EXPECT_EQ(file.error().code, VekLibErrorKind::InvalidInput);
  // A Solana transaction whose second signer has not signed yet.
  std::vector<std::uint8_t> partial(1 + 128, 0x42);
  partial[0] = 2;
  for (int b : {0x02, 0x00, 0x00, 0x02}) partial.push_back(static_cast<std::uint8_t>(b));
  partial.insert(partial.end(), 64, 0x11);
  partial.insert(partial.end(), 32, 0);
  partial.push_back(0);
  std::fill_n(partial.begin() + 65, 64, 0);
  auto missing = vek_lib::broadcast("solana", partial, "http://u/");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().display(), "invalid input: the transaction is missing 1 of its 2 required signatures (from " +
                                           vek_signer::base58_encode(std::vector<std::uint8_t>(32, 0x11)) + ")");
  EXPECT_FALSE(called());
}

// ---- the real curl against a local HTTP listener -------------------------------------------

// Answers one HTTP request on 127.0.0.1 with a fixed status and body, and keeps what came in.
class OneRequestServer {
 public:
  OneRequestServer(int status, std::string reply) : status_(status), reply_(std::move(reply)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_fd_, 1) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      std::abort();
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~OneRequestServer() {
    thread_.join();
    ::close(listen_fd_);
  }
  OneRequestServer(const OneRequestServer&) = delete;
  OneRequestServer& operator=(const OneRequestServer&) = delete;

  [[nodiscard]] std::string url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  // Valid after the call that made the request has returned.
  std::string head;
  std::string body;

 private:
  void serve() {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::string data;
    char buf[65536];
    std::size_t header_end;
    while ((header_end = data.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      data.append(buf, static_cast<std::size_t>(n));
    }
    if (header_end == std::string::npos) {
      ::close(fd);
      return;
    }
    head = data.substr(0, header_end);
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t cl = lower.find("content-length: ");
    const std::size_t want = cl == std::string::npos ? 0 : std::stoul(lower.substr(cl + 16));
    if (lower.find("expect: 100-continue") != std::string::npos) send_all(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    body = data.substr(header_end + 4);
    while (body.size() < want) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      body.append(buf, static_cast<std::size_t>(n));
    }
    send_all(fd, "HTTP/1.1 " + std::to_string(status_) + " Canned\r\nContent-Type: application/json\r\n"
                 "Content-Length: " + std::to_string(reply_.size()) + "\r\nConnection: close\r\n\r\n" + reply_);
    ::close(fd);
  }
  static void send_all(int fd, std::string_view s) {
    while (!s.empty()) {
      const ssize_t n = ::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      s.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  int status_;
  std::string reply_;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

bool real_curl_available() { return ::access("/usr/bin/curl", X_OK) == 0 || ::access("/bin/curl", X_OK) == 0; }

TEST(RealCurl, PostsTheBodyByteForByteOnBothPaths) {
  if (!real_curl_available()) GTEST_SKIP() << "curl is not installed";
  // Newlines, a carriage return and UTF-8 must arrive unchanged, including when curl reads
  // the body from its standard input.
  std::string big = "{\"a\":\"x\"}\r\n";
  big += std::string(vek_lib::max_single_argument_bytes() + 1000, 'y');
  big += "\n\xc3\xa9";
  for (const std::string& body : {std::string("{\"id\":1}\n\"caf\xc3\xa9\""), big}) {
    SCOPED_TRACE(body.size());
    OneRequestServer server(200, "{\"result\":\"0xok\"}\n");
    auto r = vek_lib::curl_post_json(server.url("/rpc/v2?key=a%20b"), body);
    ASSERT_TRUE(r) << r.error().display();
    EXPECT_EQ(*r, "{\"result\":\"0xok\"}\n");
    EXPECT_EQ(server.head.rfind("POST /rpc/v2?key=a%20b HTTP/1.1\r\n", 0), 0u) << server.head;
    EXPECT_NE(server.head.find("\r\nContent-Type: application/json\r\n"), std::string::npos) << server.head;
    EXPECT_EQ(server.body, body);
  }
}

TEST(RealCurl, HttpErrorStatusAndRefusedConnectionCarryCurlsMessage) {
  if (!real_curl_available()) GTEST_SKIP() << "curl is not installed";
  std::string url;
  {
    OneRequestServer server(500, "{\"result\":\"0xnot-read\"}");
    url = server.url("/");
    auto r = vek_lib::broadcast(ChainType::Evm, url, bytes("\x02"));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "broadcast failed: curl: (22) The requested URL returned error: 500\n");
  }
  // The listener is gone now: nothing accepts on that port.
  auto refused = vek_lib::curl_post_json(url, "{}");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, VekLibErrorKind::BroadcastFailed);
  EXPECT_EQ(refused.error().detail.rfind("curl: (7) Failed to connect to 127.0.0.1 port", 0), 0u)
      << refused.error().detail;
}

}  // namespace

TEST_F(FakeCurlTest, QuietRequestsEndAtTheDeadlineOrWhenCancelledAndSayWhetherTheyWentOut) {
  using Clock = std::chrono::steady_clock;
  ::alarm(60);
  set("hang", "");
  // The stand-in ignores curl's own --max-time: the kill a second later ends it.
  auto started = Clock::now();
  vek_lib::RequestLimits limits{Clock::now() + std::chrono::milliseconds(200), 0.2, nullptr};
  auto late = vek_lib::post_json_quietly("http://n/", "{}", limits);
  ASSERT_FALSE(late);
  EXPECT_EQ(late.error().display(), "not known whether the transaction was sent: no answer within 0.2 s");
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));

  // Another thread's cancel ends the wait at once, with no deadline at all.
  vek_lib::CancelToken token;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    token.cancel();
  });
  started = Clock::now();
  auto cancelled = vek_lib::post_json_quietly("http://n/", "{}", {std::nullopt, 0, &token});
  canceller.join();
  ASSERT_FALSE(cancelled);
  EXPECT_EQ(cancelled.error().code, vek_core::ErrorCode::SendOutcomeUnknown);
  EXPECT_EQ(cancelled.error().detail, "cancelled while waiting for the node");
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));
  fs::remove(bin_ / "hang");
  ::alarm(0);
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);  // every curl was reaped
  EXPECT_EQ(errno, ECHILD);

  // A token raised before: nothing runs.
  set("out", quiet_reply(R"({"result":"0x1"})"));
  auto before = vek_lib::post_json_quietly("http://n/", "{}", {std::nullopt, 0, &token});
  EXPECT_EQ(before.error().display(), "transaction not sent: cancelled before the request was made");

  // curl's failures: by its status, and by how much of the body it sent (write-out).
  const vek_lib::CancelToken unused;
  const struct {
    const char* status;
    const char* out;
    vek_core::ErrorCode code;
  } cases[] = {
      {"7", "\n000\n0\n", vek_core::ErrorCode::NotSent},            // could not connect
      {"56", "\n000\n1\n", vek_core::ErrorCode::NotSent},           // lost before the whole body went out
      {"56", "\n000\n2\n", vek_core::ErrorCode::SendOutcomeUnknown},  // lost after it
      {"22", "\n429\n2\n", vek_core::ErrorCode::NotSent},           // refused
      {"22", "\n503\n2\n", vek_core::ErrorCode::SendOutcomeUnknown},
      {"7", "", vek_core::ErrorCode::NotSent},                       // no write-out: by the status alone
      {"52", "", vek_core::ErrorCode::SendOutcomeUnknown},
  };
  set("err", "curl: (n) what curl says\n");
  for (const auto& c : cases) {
    set("status", c.status);
    set("out", c.out);
    auto r = vek_lib::post_json_quietly("http://n/", "{}", {std::nullopt, 0, &unused});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, c.code) << c.status << " " << c.out;
    EXPECT_EQ(r.error().detail, "curl: (n) what curl says");  // one line, without the line break
  }
}
