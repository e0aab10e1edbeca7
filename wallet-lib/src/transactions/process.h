// Running an external program with captured output, without a shell.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "vek/core/utf8.h"

namespace vek_lib {

// Why run_process ended the child itself rather than letting it finish.
enum class ProcessStop : std::uint8_t {
  None,          // the child ran to its end
  OutputLimit,   // it wrote more than WaitLimits::max_out bytes to standard output
  ErrorLimit,    // it wrote more than WaitLimits::max_err bytes to standard error
  Interrupted,   // WaitLimits::keep_waiting returned false
  Cancelled,     // WaitLimits::cancel_fd became readable
  TimedOut,      // WaitLimits::deadline passed
};

// Bounds on one run. The defaults bound nothing and wait for as long as the child runs.
struct WaitLimits {
  std::size_t max_out = SIZE_MAX;
  std::size_t max_err = SIZE_MAX;
  // When set, called on the waiting thread about every 50 ms and whenever a signal
  // interrupts the wait; returning false ends the child.
  bool (*keep_waiting)() = nullptr;
  // When not -1, a descriptor polled with the child's streams: once it is readable the
  // child is ended (a CancelToken's, cancel.h). It is never read.
  int cancel_fd = -1;
  // When set, the child is ended once this time has passed.
  std::optional<std::chrono::steady_clock::time_point> deadline;
};

// What a finished child left behind. `exited_ok` is true only for a normal exit with
// status 0 (a child killed by a signal is a failure too); `term_signal` is the signal
// that ended it, 0 otherwise. When `stopped` is not None the child was ended here (with
// SIGKILL) and the streams hold only what was read until then. The captured streams are
// raw bytes, possibly not UTF-8.
struct ProcessOutput {
  bool exited_ok = false;
  int exit_code = -1;  // the status of a normal exit, -1 otherwise
  int term_signal = 0;
  ProcessStop stopped = ProcessStop::None;
  std::string out;
  std::string err;
};

// Runs `argv[0]`, looked up on the search path like execvp, with exactly `argv` as its
// argument vector and the caller's environment and working directory. No shell is
// involved, so no argument is ever interpreted.
//
// Standard input: /dev/null when `input` is absent; otherwise a pipe through which
// `input` is written, then closed. If the child stops reading early, the rest of the
// input is dropped without raising SIGPIPE in this process.
// Standard output and standard error are read whole, concurrently with feeding the
// input, so a child writing megabytes to either stream never deadlocks against us.
// Waits for the child to exit (no time-out of its own) and always reaps it; a child that
// passes one of `limits` is killed first. Every descriptor opened here is close-on-exec
// and closed before returning.
//
// With `fd3_text`, the child also finds descriptor 3 open on a pipe that already holds
// that text, written whole (and the pipe's write end closed) before the child starts, so
// it reads the text and then end of file. The text must fit in a pipe's buffer (64 KiB,
// or more where the system lets the pipe grow): otherwise E2BIG and nothing is started.
//
// `argv` must not be empty. Error: the errno that kept the child from starting
// (for example ENOENT when the program is not on the search path, E2BIG when the
// arguments are too long), or of a failed pipe.
[[nodiscard]] std::expected<ProcessOutput, int> run_process(std::span<const std::string> argv,
                                                            std::optional<std::string_view> input,
                                                            const WaitLimits& limits = {},
                                                            std::optional<std::string_view> fd3_text = std::nullopt);

// write(2) that cannot raise SIGPIPE: a write to a pipe without readers fails with
// EPIPE instead of killing the process, even where SIGPIPE has its default action. The
// calling thread's signal mask is left as it was, and a SIGPIPE that was already pending
// before the call stays pending. Returns write()'s result, with errno kept.
[[nodiscard]] long write_without_sigpipe(int fd, const char* data, std::size_t len);

// The longest single argument (in bytes, without its terminating NUL) that execve
// accepts on this system. Linux caps each argument string at 32 pages, NUL included.
[[nodiscard]] std::size_t max_single_argument_bytes() noexcept;

// Output of the child is decoded with the shared lossy UTF-8 decoder.
using vek_core::utf8_lossy;

}  // namespace vek_lib
