#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "boot_command_record.h"

namespace {

// A new directory, removed with all it holds when the test ends.
class temp_dir {
 public:
  temp_dir() : path_(std::filesystem::temp_directory_path() / "bootnote-unit-XXXXXX") {
    if (mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp: " << strerror(errno);
  }
  ~temp_dir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
  return bytes;
}

TEST(WriteBootCommandRecord, ChangesOnlyTheFirstFourteenBytes) {
  temp_dir dir;
  const std::string z(1, '\0');
  struct {
    const char* name;
    const char* command;
    std::string before;
    std::string after;
  } cases[] = {
      {"write over 100 bytes", "boot-recovery", pattern(100),
       "boot-recovery" + z + pattern(100).substr(14)},
      {"erase over 100 bytes", nullptr, pattern(100),
       std::string(14, '\0') + pattern(100).substr(14)},
      {"write over 5 bytes", "bootonce-bootl", pattern(5), "bootonce-bootl"},
      {"write over empty file", "x", "", "x" + std::string(13, '\0')},
  };
  for (const auto& c : cases) {
    std::string path = dir.path() + "/misc";
    write_file(path, c.before);
    boot_command_write_result result =
        write_boot_command_record(path.c_str(), make_boot_command_record(c.command));
    EXPECT_EQ(result.status, BOOT_COMMAND_WRITTEN) << c.name;
    EXPECT_EQ(result.error, 0) << c.name;
    EXPECT_EQ(read_file(path), c.after) << c.name;
  }
}

TEST(WriteBootCommandRecord, CreatesAMissingFileWithTheUmasksMode) {
  temp_dir dir;
  for (mode_t mask : {0022, 0077, 0000}) {
    std::string path = dir.path() + "/misc-" + std::to_string(mask);
    mode_t old_mask = umask(mask);
    boot_command_write_result result =
        write_boot_command_record(path.c_str(), make_boot_command_record("boot"));
    umask(old_mask);
    EXPECT_EQ(result.status, BOOT_COMMAND_WRITTEN) << "umask " << mask;
    struct stat st = {};
    ASSERT_EQ(stat(path.c_str(), &st), 0) << "umask " << mask;
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << mask;
    EXPECT_EQ(read_file(path), "boot" + std::string(10, '\0')) << "umask " << mask;
  }
}

TEST(WriteBootCommandRecord, ReportsWhatFailed) {
  temp_dir dir;
  std::string missing_dir = dir.path() + "/no/such/dir";
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0) << strerror(errno);
  struct {
    std::string path;
    boot_command_write_status status;
    int error;
  } cases[] = {
      {missing_dir + "/misc", BOOT_COMMAND_NOT_OPENED, ENOENT},
      {dir.path(), BOOT_COMMAND_NOT_OPENED, EISDIR},
      // Cannot be synced (EINVAL), and need not be: still written.
      {"/dev/null", BOOT_COMMAND_WRITTEN, 0},
      {"/proc/self/fd/" + std::to_string(pipe_ends[1]), BOOT_COMMAND_WRITTEN, 0},
  };
  for (const auto& c : cases) {
    boot_command_write_result result =
        write_boot_command_record(c.path.c_str(), make_boot_command_record("boot"));
    EXPECT_EQ(result.status, c.status) << c.path;
    EXPECT_EQ(result.error, c.error) << c.path;
  }
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/no")) << "a failed open created something";
}

}  // namespace
