// Small support pieces every layer shares: the system's error text, an owned file
// descriptor, whole-file reading with the guards hostile files need, warnings on
// standard error, and the hexadecimal digits.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

namespace vek_core {

// Lower-case hexadecimal digits, indexed by nibble.
inline constexpr char kHexDigits[] = "0123456789abcdef";

// The system's text for an error number: "{strerror} (os error {n})".
[[nodiscard]] std::string os_error_text(int err);

// GCC's 128-bit unsigned integer, for products of counts that cannot overflow it.
__extension__ using u128 = unsigned __int128;

// Decimal text of a 128-bit count.
[[nodiscard]] std::string decimal_text(u128 v);

// Permission bits in octal, at least four digits ("0755").
[[nodiscard]] std::string octal_mode(mode_t mode);

// Writes "warning: {line}\n" to standard error in a single write, so that lines of
// concurrent callers do not interleave.
void warn(std::string_view line) noexcept;

// Owns one file descriptor (-1 for none) and closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  [[nodiscard]] int get() const noexcept { return fd_; }
  [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
  // Closes the descriptor, if any. close() is not retried on EINTR: on Linux the
  // descriptor is released either way.
  void reset() noexcept;
  // Closes now and returns close()'s result (0, or -1 with errno set): closing can
  // report a deferred write error.
  [[nodiscard]] int close() noexcept;

 private:
  int release() noexcept;
  int fd_ = -1;
};

// The longest file read_regular_file reads. The files read are a few kilobytes; the
// bound keeps one hostile file (a huge sparse file, say) from exhausting memory.
inline constexpr std::size_t kMaxReadFileBytes = std::size_t{64} << 20;

// Reads the whole regular file `name` (relative to the directory `dirfd`, or to the
// working directory with AT_FDCWD) into `out`, with one open, one fstat and, for a file
// that does not grow meanwhile, one read. The open does not block, so a FIFO cannot
// stall the caller. `info`, when given, receives the fstat of the file opened (zeroed
// when the open or fstat failed), also when the read then fails, so that the caller can
// judge who controls it. On failure `out` holds nothing useful and the error says why:
//   the open, fstat or read error as os_error_text(errno), a directory as EISDIR's text;
//   "not a regular file" (a FIFO, socket or device, which may never end);
//   "larger than the limit of 67108864 bytes".
[[nodiscard]] std::expected<void, std::string> read_regular_file(int dirfd, const char* name, std::string& out,
                                                                 struct stat* info = nullptr);

}  // namespace vek_core
