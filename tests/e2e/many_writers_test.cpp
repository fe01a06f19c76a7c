// Many writers on one image at once: the record is one of theirs, never a mix.
#include <unistd.h>

#include <gtest/gtest.h>

#include "command_line.h"
#include "expected.h"
#include "files.h"
#include "logd_fake.h"
#include "sandbox.h"

namespace bootnote_test {
namespace {

TEST(Faults, many_writers_leave_one_whole_record) {
  temp_dir work;
  std::string image(100, 'x');
  write_file(work.path() + "/misc", image);
  constexpr int kWriters = 16;
  std::string script = "for i in $(seq 10 " + std::to_string(9 + kWriters) + "); do \"$@\" misc cmd-$i-abcdefghijk & done; wait";
  std::vector<std::string> argv = {"sh", "-c", script, "sh"};
  std::vector<std::string> tool = tool_argv({});
  argv.insert(argv.end(), tool.begin(), tool.end());
  logd_fake logd(logd_mode::normal);

  sandbox_result run = run_in_sandbox({&logd}, argv, work.path());

  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  std::string expected_out;
  for (int i = 0; i < kWriters; ++i) expected_out += kBanner;
  EXPECT_EQ(run.out, expected_out);
  EXPECT_EQ(run.log.size(), static_cast<size_t>(kWriters));
  std::string bytes = read_file(work.path() + "/misc");
  ASSERT_EQ(bytes.size(), 100u);
  EXPECT_EQ(bytes.substr(14), image.substr(14));
  std::string head = bytes.substr(0, 14);
  bool one_of_them = false;
  for (int i = 10; i < 10 + kWriters; ++i) one_of_them |= head == "cmd-" + std::to_string(i) + "-abcdefg";
  EXPECT_TRUE(one_of_them) << "record is a mix: " << head;
}

}  // namespace
}  // namespace bootnote_test
