// Checks of a guest's boot as a whole: every case ran, two load addresses,
// the disks after the power cut.
#include <algorithm>

#include "files.h"
#include "guest_cases.h"
#include "guest_check.h"
#include "test_main.h"

namespace bootnote_test {
namespace {

TEST(Guest, FinishedEveryCase) {
  EXPECT_TRUE(guest_input().report.done) << "the guest did not report the end of its run";
  std::vector<guest_case> cases = guest_cases(*guest_input().build, guest_input().report.paths);
  for (const auto& [name, report] : guest_input().report.cases) {
    bool known = std::any_of(cases.begin(), cases.end(), [&](const guest_case& c) { return c.name == name; });
    EXPECT_TRUE(known) << "the guest ran " << name << ", which is no case here";
  }
}

TEST(Guest, LoadsTheBinaryAtAnotherAddressEachRun) {
  const std::vector<std::string>& bases = guest_input().report.bases;
  ASSERT_EQ(bases.size(), 2u) << guest_input().build->name << ": load addresses reported";
  EXPECT_NE(bases[0], bases[1]) << guest_input().build->name << ": both runs loaded at " << bases[0];
}

// The power cut came right after power_cut's write: the disk holds its
// record, and no other byte of the disk changed in the whole boot, GPT
// copies and other partitions included.
TEST(Guest, DiskAfterThePowerCutHoldsTheRecordAndNothingElseChanged) {
  std::string before = read_file(guest_input().disks + "/original.img");
  std::string after = read_file(guest_input().disks + "/phone.img");
  ASSERT_EQ(after.size(), before.size()) << "phone.img";
  ASSERT_GT(guest_input().report.phone_misc_sector, 0) << "the guest named no misc partition on the phone disk";
  size_t misc = static_cast<size_t>(guest_input().report.phone_misc_sector) * 512;
  ASSERT_LE(misc + 32, before.size()) << "phone.img: misc starts at byte " << misc;
  EXPECT_EQ(hex(after.substr(misc, 14)), hex(std::string("boot-powercut\0", 14))) << "phone.img: misc's record";
  after.replace(misc, 14, before, misc, 14);  // the record's bytes, checked above
  auto differ = std::mismatch(before.begin(), before.end(), after.begin());
  EXPECT_TRUE(differ.first == before.end())
      << "phone.img: byte " << (differ.first - before.begin()) << " changed (misc starts at " << misc << ")";
}

TEST(Guest, ReadOnlyDiskUnchanged) {
  EXPECT_TRUE(read_file(guest_input().disks + "/readonly.img") == read_file(guest_input().disks + "/original.img"))
      << "readonly.img differs from original.img";
}

}  // namespace
}  // namespace bootnote_test
