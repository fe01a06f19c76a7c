// Judges what a guest reported for one ABI's device binary booted on a real
// kernel (run_guest.sh): every case of guest_cases.cpp here, the boot as a
// whole (load addresses, the disks after the power cut) in guest_boot_test.cpp.
// The guest only runs the cases and reports raw facts (guest_init.sh).
//
//   guest_check --abi NAME --cases
//       prints the cases the guest runs for that ABI, one a line:
//       NAME LOG RUN DISK COMMAND ("-" for none), as guest_init.sh reads them
//   guest_check --abi NAME --console FILE --disks DIR [gtest flags]
//       checks the console's lines for that ABI, and its disks after the
//       power cut: DIR/phone.img and DIR/readonly.img against
//       DIR/original.img, which all three disks were copies of
#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <stdexcept>

#include "files.h"
#include "guest_cases.h"
#include "guest_check.h"
#include "test_main.h"

namespace bootnote_test {

namespace {

guest_check_input g_input;  // set once, in main

// The first 32 bytes of the phone disk's misc before the boot.
std::string misc_before() {
  std::string original = read_file(g_input.disks + "/original.img");
  size_t at = static_cast<size_t>(g_input.report.phone_misc_sector) * 512;
  return original.size() >= at + 32 ? original.substr(at, 32) : "";
}

void expect_entries(const guest_case& c, const case_report& got) {
  ASSERT_EQ(got.log.size(), c.logged.size()) << c.name << ": log entries";
  for (size_t i = 0; i < c.logged.size(); ++i) {
    const guest_logged& e = got.log[i];
    EXPECT_EQ(e.malformed, "") << c.name << ": entry " << i << " could not be taken apart";
    EXPECT_EQ(e.transport, name_of(c.log_to)) << c.name << ": entry " << i << " arrived by";
    EXPECT_EQ(e.priority, static_cast<int>(c.logged[i].level)) << c.name << ": entry " << i << " priority";
    EXPECT_EQ(e.tag, kTag) << c.name << ": entry " << i << " tag";
    EXPECT_EQ(e.message, c.logged[i].message) << c.name << ": entry " << i << " message";
    if (c.log_to != guest_log::logd) continue;
    EXPECT_EQ(e.log_id, "0") << c.name << ": entry " << i << " log id (main)";
    EXPECT_EQ(e.tid, got.pid) << c.name << ": entry " << i << " thread id";
    // The guest's clock is the host's: a stamp that is not real time (a
    // failed clock call leaves zero) is far from now.
    long seconds = std::stol(e.seconds), now = static_cast<long>(time(nullptr));
    EXPECT_LT(labs(now - seconds), 3600) << c.name << ": entry " << i << " time " << seconds << ", now " << now;
  }
}

// From the tool's execve on (the helper's own calls come before), the calls
// must be the ABI's list under its old kernel's table.
void expect_calls(const guest_case& c, const case_report& got) {
  const std::vector<long>& want = g_input.build->old_kernel_write_calls;
  ASSERT_TRUE(got.calls_logged) << c.name << ": the guest reported no calls";
  ASSERT_FALSE(want.empty()) << g_input.build->name << " has no old-kernel call list";
  auto exec = std::find(got.calls.begin(), got.calls.end(), want.front());
  EXPECT_EQ(testing::PrintToString(std::vector<long>(exec, got.calls.end())), testing::PrintToString(want))
      << c.name << ": calls under Linux " << g_input.build->old_kernel << "'s table, all logged: "
      << testing::PrintToString(got.calls);
}

class guest_case_test : public testing::Test {
 public:
  explicit guest_case_test(guest_case c) : c_(std::move(c)) {}

  void TestBody() override {
    auto found = g_input.report.cases.find(c_.name);
    ASSERT_TRUE(found != g_input.report.cases.end() && found->second.ran) << "the guest reported no run of " << c_.name;
    const case_report& got = found->second;
    EXPECT_EQ(got.status, 0) << c_.name << ": exit status";
    EXPECT_EQ(got.out, c_.out) << c_.name << ": standard output";
    EXPECT_EQ(got.err, "") << c_.name << ": standard error";
    ASSERT_TRUE(c_.path == guest_disk::none || g_input.report.paths.count(name_of(c_.path)))
        << c_.name << ": the guest named no path for " << name_of(c_.path);
    expect_entries(c_, got);
    if (c_.misc != misc_after::unread) {
      ASSERT_TRUE(got.misc_read) << c_.name << ": the guest did not report misc's bytes";
      std::string before = misc_before();
      std::string expected = c_.misc == misc_after::record ? c_.record + before.substr(14) : before;
      EXPECT_EQ(hex(got.misc), hex(expected)) << c_.name << ": misc's first 32 bytes";
    }
    if (c_.calls_checked) expect_calls(c_, got);
  }

 private:
  guest_case c_;
};

}  // namespace

const guest_check_input& guest_input() { return g_input; }

}  // namespace bootnote_test

int main(int argc, char** argv) {
  using namespace bootnote_test;
  testing::InitGoogleTest(&argc, argv);
  std::string abi_name, console;
  bool list = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--abi" && i + 1 < argc) abi_name = argv[++i];
    else if (arg == "--console" && i + 1 < argc) console = argv[++i];
    else if (arg == "--disks" && i + 1 < argc) g_input.disks = argv[++i];
    else if (arg == "--cases") list = true;
    else abi_name = "";  // a wrong command line: usage below
  }
  try {
    g_input.build = &find_abi(abi_name);
    if (!list && (console.empty() || g_input.disks.empty())) throw std::invalid_argument("--console and --disks needed");
  } catch (const std::invalid_argument& wrong) {
    fprintf(stderr, "guest_check: %s\nusage: guest_check --abi NAME (--cases | --console FILE --disks DIR)\n",
            wrong.what());
    return 2;
  }
  if (list) {
    for (const guest_case& c : guest_cases(*g_input.build, {}))
      printf("%s %s %s %s %s\n", c.name.c_str(), name_of(c.log_to), name_of(c.run), name_of(c.path),
             c.command ? c.command->c_str() : "-");
    return 0;
  }
  g_input.report = read_console(console, abi_name);
  for (const guest_case& c : guest_cases(*g_input.build, g_input.report.paths))
    testing::RegisterTest("GuestCase", c.name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                          [c]() -> testing::Test* { return new guest_case_test(c); });
  return run_all_tests();
}
