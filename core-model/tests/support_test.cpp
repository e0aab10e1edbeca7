// The shared support pieces: whole-file reading and its refusals (which neither block on
// a FIFO nor read without end), the system's error text, owned descriptors, warnings.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "vek/core/support.h"

namespace {

namespace fs = std::filesystem;
using vek_core::read_regular_file;
using vek_core::UniqueFd;

class ReadRegularFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vek-support-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  // The error of reading `name` in the test directory, or "" when it was read.
  std::string error_of(const std::string& name) {
    UniqueFd dirfd(::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string out;
    auto r = read_regular_file(dirfd.get(), name.c_str(), out);
    return r ? "" : r.error();
  }
  fs::path dir_;
};

TEST_F(ReadRegularFile, ReadsWholeFilesOfAnySize) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{200000}}) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
    std::ofstream(dir_ / "f", std::ios::binary | std::ios::trunc) << text;
    std::string out = "stale content of an earlier read";
    ASSERT_TRUE(read_regular_file(AT_FDCWD, (dir_ / "f").c_str(), out)) << size;
    EXPECT_EQ(out, text) << size;
  }
}

TEST_F(ReadRegularFile, RefusesWhatIsNotAReadableRegularFile) {
  fs::create_directory(dir_ / "directory");
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);  // no writer: a blocking open would hang
  fs::create_symlink("/dev/zero", dir_ / "zero");           // never ends
  fs::create_symlink("loop", dir_ / "loop");
  {
    // Sparse: one byte past the limit costs no disk space.
    UniqueFd fd(::open((dir_ / "sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::ftruncate(fd.get(), static_cast<off_t>(vek_core::kMaxReadFileBytes) + 1), 0);
  }
  EXPECT_EQ(error_of("directory"), "Is a directory (os error 21)");
  EXPECT_EQ(error_of("fifo"), "not a regular file");
  EXPECT_EQ(error_of("zero"), "not a regular file");
  EXPECT_EQ(error_of("loop"), "Too many levels of symbolic links (os error 40)");
  EXPECT_EQ(error_of("absent"), "No such file or directory (os error 2)");
  EXPECT_EQ(error_of("sparse"), "larger than the limit of 67108864 bytes");
}

TEST(OsErrorText, SystemTextAndNumber) {
  EXPECT_EQ(vek_core::os_error_text(EACCES), std::string(std::strerror(EACCES)) + " (os error 13)");
  EXPECT_EQ(vek_core::os_error_text(ENOENT), "No such file or directory (os error 2)");
}

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, OwnsOneDescriptorThroughMoves) {
  const int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(raw, 0);
  {
    UniqueFd a(raw);
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
    EXPECT_EQ(b.get(), raw);
    UniqueFd c;
    c = std::move(b);
    EXPECT_EQ(c.get(), raw);
    EXPECT_TRUE(is_open(raw));
  }
  EXPECT_FALSE(is_open(raw));  // closed once, by the last owner

  UniqueFd d(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int fd = d.get();
  EXPECT_EQ(d.close(), 0);
  EXPECT_FALSE(d.valid());
  EXPECT_FALSE(is_open(fd));
}

TEST(Warn, OneTaggedLineOnStandardError) {
  ::testing::internal::CaptureStderr();
  vek_core::warn("disk is 90% full");
  vek_core::warn("");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "warning: disk is 90% full\nwarning: \n");
}

}  // namespace
