#include "vek/core/support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace vek_core {

std::string os_error_text(int err) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = ::strerror_r(err, buf, sizeof buf);
  return std::string(text) + " (os error " + std::to_string(err) + ")";
}

void warn(std::string_view line) noexcept {
  static constexpr std::string_view kTag = "warning: ";
  try {
    std::string text;
    text.reserve(kTag.size() + line.size() + 1);
    text.append(kTag).append(line).push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
  } catch (const std::bad_alloc&) {
    // Without memory for the whole line, the pieces still get out.
    std::fwrite(kTag.data(), 1, kTag.size(), stderr);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

void UniqueFd::reset() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int UniqueFd::close() noexcept { return ::close(release()); }

int UniqueFd::release() noexcept { return std::exchange(fd_, -1); }

std::string decimal_text(u128 v) {
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  return s;
}

std::string octal_mode(mode_t mode) {
  std::string out(4, '0');
  mode &= 07777;
  for (std::size_t i = 4; i-- > 0; mode >>= 3) out[i] = static_cast<char>('0' + (mode & 7));
  return out;
}

std::expected<void, std::string> read_regular_file(int dirfd, const char* name, std::string& out,
                                                   struct stat* info) {
  if (info != nullptr) *info = {};
  const auto fail = [](std::string why) { return std::unexpected(std::move(why)); };
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
  UniqueFd fd(::openat(dirfd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return fail(os_error_text(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fail(os_error_text(errno));
  if (info != nullptr) *info = st;
  if (S_ISDIR(st.st_mode)) return fail(os_error_text(EISDIR));
  // A FIFO, socket or device (a link to /dev/zero, say) may never end.
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  const auto too_large = [&fail] {
    return fail("larger than the limit of " + std::to_string(kMaxReadFileBytes) + " bytes");
  };
  if (static_cast<std::uint64_t>(st.st_size) > kMaxReadFileBytes) return too_large();
  // One byte of room beyond the size, to see the end of file in the same read.
  out.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t done = 0;
  for (;;) {
    if (done == out.size()) {
      if (done > kMaxReadFileBytes) return too_large();
      out.resize(out.size() * 2);
    }
    const ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(os_error_text(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    // A short read of a regular file is its end: no second call to see zero bytes.
    if (done < out.size()) break;
  }
  out.resize(done);
  return {};
}

}  // namespace vek_core
