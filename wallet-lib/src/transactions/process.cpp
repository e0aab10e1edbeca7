#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <utility>
#include <vector>

#include "vek/core/support.h"

extern char** environ;

namespace vek_lib {
namespace {

using vek_core::UniqueFd;

struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

// The descriptor the child finds run_process's `fd3_text` on.
constexpr int kTextFd = 3;

// Moves `fd` above the descriptors the child gets (0, 1, 2 and kTextFd), so that a dup2
// onto one of them in the child never has source and target equal (which would leave
// close-on-exec set).
[[nodiscard]] std::expected<UniqueFd, int> above_stdio(UniqueFd fd) {
  if (fd.get() > kTextFd) return fd;
  const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, kTextFd + 1);
  if (moved < 0) return std::unexpected(errno);
  return UniqueFd(moved);
}

[[nodiscard]] std::expected<Pipe, int> make_pipe() {
  int fds[2];
  // Close-on-exec from the start, so no other thread's child can inherit these ends.
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::unexpected(errno);
  UniqueFd r(fds[0]);
  UniqueFd w(fds[1]);
  auto rr = above_stdio(std::move(r));
  if (!rr) return std::unexpected(rr.error());
  auto ww = above_stdio(std::move(w));
  if (!ww) return std::unexpected(ww.error());
  return Pipe{std::move(*rr), std::move(*ww)};
}

// A pipe already holding `text`, with its write end closed: the reader gets the text and
// then end of file. E2BIG when the text does not fit in the pipe's buffer.
[[nodiscard]] std::expected<UniqueFd, int> pipe_holding(std::string_view text) {
  auto p = make_pipe();
  if (!p) return std::unexpected(p.error());
  const int capacity = ::fcntl(p->write.get(), F_GETPIPE_SZ);
  if (capacity < 0 || text.size() > static_cast<std::size_t>(capacity)) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX) ||
        ::fcntl(p->write.get(), F_SETPIPE_SZ, static_cast<int>(text.size())) < 0) {
      return std::unexpected(E2BIG);
    }
  }
  // The pipe is empty and large enough, so no write can block.
  while (!text.empty()) {
    const long n = write_without_sigpipe(p->write.get(), text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::unexpected(n < 0 ? errno : EIO);
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return std::move(p->read);
}

[[nodiscard]] int set_nonblocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return errno;
  return 0;
}

// glibc's init functions cannot fail (they only zero the structure).
struct FileActions {
  posix_spawn_file_actions_t actions;
  FileActions() { ::posix_spawn_file_actions_init(&actions); }
  ~FileActions() { ::posix_spawn_file_actions_destroy(&actions); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
};

struct SpawnAttr {
  posix_spawnattr_t attr;
  SpawnAttr() { ::posix_spawnattr_init(&attr); }
  ~SpawnAttr() { ::posix_spawnattr_destroy(&attr); }
  SpawnAttr(const SpawnAttr&) = delete;
  SpawnAttr& operator=(const SpawnAttr&) = delete;
};

// Reaps the child on every path out of run_process, so no zombie is left behind.
class ChildGuard {
 public:
  explicit ChildGuard(pid_t pid) noexcept : pid_(pid) {}
  ChildGuard(const ChildGuard&) = delete;
  ChildGuard& operator=(const ChildGuard&) = delete;
  ~ChildGuard() {
    if (pid_ > 0) (void)wait();
  }
  // Ends the child at once; it is still reaped by wait().
  void kill() const noexcept {
    if (pid_ > 0) (void)::kill(pid_, SIGKILL);
  }
  // The raw wait status; -1 only if waitpid fails for a reason other than EINTR.
  [[nodiscard]] int wait() noexcept {
    if (pid_ <= 0) return status_;
    int status = 0;
    pid_t r;
    do {
      r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    status_ = r < 0 ? -1 : status;
    return status_;
  }
  // Reaps the child if it has ended, without blocking; true once it is reaped.
  [[nodiscard]] bool reaped_now() noexcept {
    if (pid_ <= 0) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) return false;
    pid_ = -1;
    status_ = r < 0 ? -1 : status;
    return true;
  }

 private:
  pid_t pid_;
  int status_ = -1;
};

}  // namespace

// SIGPIPE is blocked for this thread only, and the SIGPIPE that a write to a closed pipe
// raises is taken off the pending set, so a child that exits without reading all of its
// input cannot kill us.
long write_without_sigpipe(int fd, const char* data, std::size_t len) {
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t old_mask;
  ::pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  const bool already_pending = sigismember(&pending, SIGPIPE) == 1;

  const ssize_t n = ::write(fd, data, len);
  const int saved = errno;
  if (n < 0 && saved == EPIPE && !already_pending) {
    // The SIGPIPE is directed at this thread; take it off the pending set.
    const timespec zero{};
    while (::sigtimedwait(&pipe_only, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  errno = saved;
  return n;
}

namespace {

// Appends everything readable now; closes `fd` at end of file or on a read error.
// Returns false as soon as `sink` holds more than `limit` bytes (at most one read past it).
[[nodiscard]] bool drain(UniqueFd& fd, std::string& sink, std::size_t limit) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n > 0) {
      sink.append(buf, static_cast<std::size_t>(n));
      if (sink.size() > limit) return false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    fd.reset();  // end of file, or an error after which nothing more can be read
    return true;
  }
}

// How often a wait with a keep_waiting check wakes up to call it.
constexpr int kCheckIntervalMs = 50;

}  // namespace

std::size_t max_single_argument_bytes() noexcept {
  // MAX_ARG_STRLEN is 32 pages and counts the terminating NUL.
  const long page = ::sysconf(_SC_PAGESIZE);
  return static_cast<std::size_t>(page > 0 ? page : 4096) * 32 - 1;
}

namespace {

// The pipes between us and the child: its standard output and error, its standard input
// when it gets `input`, and the pipe already holding the text for its descriptor 3.
struct ChildPipes {
  Pipe out;
  Pipe err;
  Pipe in;
  UniqueFd text;
};

std::expected<ChildPipes, int> open_child_pipes(bool with_input, std::optional<std::string_view> fd3_text) {
  ChildPipes p;
  auto out = make_pipe();
  if (!out) return std::unexpected(out.error());
  p.out = std::move(*out);
  auto err = make_pipe();
  if (!err) return std::unexpected(err.error());
  p.err = std::move(*err);
  if (fd3_text) {
    auto t = pipe_holding(*fd3_text);
    if (!t) return std::unexpected(t.error());
    p.text = std::move(*t);
  }
  if (with_input) {
    auto in = make_pipe();
    if (!in) return std::unexpected(in.error());
    p.in = std::move(*in);
  }
  return p;
}

// Starts argv[0] (looked up on PATH) on the child's ends of `pipes`: standard input from
// its pipe when `with_input`, else /dev/null. Returns its pid, or an error number.
std::expected<pid_t, int> spawn_child(std::span<const std::string> argv, const ChildPipes& pipes, bool with_input) {
  // Each posix_spawn set-up call returns 0 or an error number (ENOMEM, EBADF).
  int setup = 0;
  const auto check = [&setup](int rc) {
    if (setup == 0) setup = rc;
  };
  FileActions fa;
  if (with_input) {
    check(::posix_spawn_file_actions_adddup2(&fa.actions, pipes.in.read.get(), STDIN_FILENO));
  } else {
    check(::posix_spawn_file_actions_addopen(&fa.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
  }
  check(::posix_spawn_file_actions_adddup2(&fa.actions, pipes.out.write.get(), STDOUT_FILENO));
  check(::posix_spawn_file_actions_adddup2(&fa.actions, pipes.err.write.get(), STDERR_FILENO));
  if (pipes.text.valid()) check(::posix_spawn_file_actions_adddup2(&fa.actions, pipes.text.get(), kTextFd));

  // The child starts with no blocked signals and with SIGPIPE and SIGXFSZ at their
  // defaults, even when the host (a Python interpreter, say) ignores them.
  SpawnAttr sa;
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  sigset_t empty_mask;
  sigemptyset(&empty_mask);
  check(::posix_spawnattr_setsigdefault(&sa.attr, &defaults));
  check(::posix_spawnattr_setsigmask(&sa.attr, &empty_mask));
  check(::posix_spawnattr_setflags(&sa.attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
  if (setup != 0) return std::unexpected(setup);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &fa.actions, &sa.attr, args.data(), environ);
  if (rc != 0) return std::unexpected(rc);
  return pid;
}

// Our ends of the child's streams while they are open.
struct Streams {
  UniqueFd& out;
  UniqueFd& err;
  UniqueFd& in;
  std::string_view to_send;
};

// Writes what `in` can take of the input; closes it when all is sent or the child stops reading.
void feed(Streams& s, short revents) {
  if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    s.in.reset();  // the child closed its standard input
    return;
  }
  const long n = write_without_sigpipe(s.in.get(), s.to_send.data(), s.to_send.size());
  if (n > 0) {
    s.to_send.remove_prefix(static_cast<std::size_t>(n));
    if (s.to_send.empty()) s.in.reset();  // end of input for the child
  } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
    s.in.reset();  // EPIPE: the child no longer reads
  }
}

// The poll timeout until the next check is due: the check interval when there is a
// keep_waiting check or a cancel descriptor that may not exist, the time to the deadline,
// or -1 (none).
int poll_timeout(const WaitLimits& limits) {
  int ms = limits.keep_waiting != nullptr ? kCheckIntervalMs : -1;
  if (limits.deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*limits.deadline - std::chrono::steady_clock::now());
    const int until = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 60'000));
    ms = ms < 0 ? until : std::min(ms, until);
  }
  return ms;
}

// Whether a limit other than the streams' ends the wait now (result.stopped set).
bool limit_reached(const WaitLimits& limits, bool cancel_readable, ProcessOutput& result) {
  if (cancel_readable) {
    result.stopped = ProcessStop::Cancelled;
  } else if (limits.keep_waiting != nullptr && !limits.keep_waiting()) {
    // A signal handler of the host (Ctrl-C, an alarm) gets its say here, however long
    // the child takes and whether or not it writes anything.
    result.stopped = ProcessStop::Interrupted;
  } else if (limits.deadline && std::chrono::steady_clock::now() >= *limits.deadline) {
    result.stopped = ProcessStop::TimedOut;
  }
  return result.stopped != ProcessStop::None;
}

// One poll loop serves the three streams until they are all closed or a limit or the
// check stops it (result.stopped).
void pump(Streams& s, const WaitLimits& limits, ProcessOutput& result) {
  while (result.stopped == ProcessStop::None && (s.out.valid() || s.err.valid() || s.in.valid())) {
    pollfd fds[4];
    UniqueFd* owners[3];
    nfds_t count = 0;
    for (auto [fd, events] : {std::pair{&s.out, POLLIN}, std::pair{&s.err, POLLIN}, std::pair{&s.in, POLLOUT}}) {
      if (!fd->valid()) continue;
      fds[count] = {fd->get(), static_cast<short>(events), 0};
      owners[count++] = fd;
    }
    const nfds_t streams = count;
    if (limits.cancel_fd >= 0) fds[count++] = {limits.cancel_fd, POLLIN, 0};
    const int ready = ::poll(fds, count, poll_timeout(limits));
    if (ready < 0 && errno != EINTR) break;  // cannot happen with valid descriptors; the child is still reaped
    const bool cancelled = limits.cancel_fd >= 0 && ready > 0 && fds[streams].revents != 0;
    if (limit_reached(limits, cancelled, result)) break;
    if (ready <= 0) continue;
    for (nfds_t i = 0; i < streams && result.stopped == ProcessStop::None; ++i) {
      if (fds[i].revents == 0) continue;
      UniqueFd& fd = *owners[i];
      if (&fd == &s.in) {
        feed(s, fds[i].revents);
      } else if (&fd == &s.out) {
        if (!drain(fd, result.out, limits.max_out)) result.stopped = ProcessStop::OutputLimit;
      } else if (!drain(fd, result.err, limits.max_err)) {
        result.stopped = ProcessStop::ErrorLimit;
      }
    }
  }
}

// A child can close its output and still not exit; the limits keep their say until it does.
void await_exit(ChildGuard& child, const WaitLimits& limits, ProcessOutput& result) {
  const bool limited = limits.keep_waiting != nullptr || limits.cancel_fd >= 0 || limits.deadline;
  while (result.stopped == ProcessStop::None && limited && !child.reaped_now()) {
    pollfd cancel{limits.cancel_fd, POLLIN, 0};
    const int wait = poll_timeout(limits);
    // Reaping is looked at every interval; a signal cuts the wait short, which is what is wanted.
    const int interval = wait < 0 ? kCheckIntervalMs : std::min(wait, kCheckIntervalMs);
    const int ready = ::poll(&cancel, limits.cancel_fd >= 0 ? 1 : 0, interval);
    if (limit_reached(limits, ready > 0 && cancel.revents != 0, result)) break;
  }
}

}  // namespace

std::expected<ProcessOutput, int> run_process(std::span<const std::string> argv,
                                              std::optional<std::string_view> input, const WaitLimits& limits,
                                              std::optional<std::string_view> fd3_text) {
  auto pipes = open_child_pipes(input.has_value(), fd3_text);
  if (!pipes) return std::unexpected(pipes.error());
  auto pid = spawn_child(argv, *pipes, input.has_value());
  if (!pid) return std::unexpected(pid.error());
  ChildGuard child(*pid);

  // Only the child keeps these ends; holding them would keep our reads from ever
  // seeing end of file.
  pipes->in.read.reset();
  pipes->text.reset();
  pipes->out.write.reset();
  pipes->err.write.reset();

  ProcessOutput result;
  Streams streams{pipes->out.read, pipes->err.read, pipes->in.write, input.value_or(std::string_view{})};
  if (streams.in.valid() && streams.to_send.empty()) streams.in.reset();
  // Non-blocking ends on our side let one poll loop serve all three streams.
  for (UniqueFd* fd : {&streams.out, &streams.err, &streams.in}) {
    if (fd->valid() && set_nonblocking(fd->get()) != 0) fd->reset();
  }
  pump(streams, limits, result);
  await_exit(child, limits, result);
  if (result.stopped != ProcessStop::None) child.kill();
  streams.out.reset();
  streams.err.reset();
  streams.in.reset();

  const int status = child.wait();
  result.exited_ok = result.stopped == ProcessStop::None && status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (status >= 0 && WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
  if (status >= 0 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

}  // namespace vek_lib
