// Faults injected around the tool: real and read-only block devices, storage
// that fails one system call on purpose, failing storage, no permission,
// hostile operands, broken output, a broken log, and many writers at once. In each, nothing may be lost: the record is exact or
// the failure is logged, bytes after the record are untouched, stderr stays
// empty and the exit status is 0.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "e2e.h"
#include "fault_device.h"

namespace e2e {
namespace {

using bootnote_test::fault_plan;
using bootnote_test::log_transport;
using bootnote_test::sandbox_options;
using bootnote_test::stdout_mode;

enum class target { file, loop, loop_by_name, loop_read_only, fault_device };

struct fault_case {
  const char* name;
  target where;
  std::vector<std::string> operands;  // "@" stands for the target's path
  sandbox_options options;            // "@W" in bwrap_args: the working dir
  std::string record;                 // the image's first bytes afterwards; "" = unchanged
  std::vector<expected_entry> log;    // "@" in a message: the target's path; "{EIO}": its text
  bool as_nobody = false;             // run as uid/gid 65534, target root-only
  fault_plan plan = {};               // fault_device: how it answers
  std::vector<std::string> requests = {};  // fault_device: what it must be asked, in order
};

const std::string kRecovery = std::string("boot-recovery") + '\0';
const std::string kZero(14, '\0');
const std::string kLongPath = "x/" + std::string(5000, 'p');
const std::string kOddPath = "m\n\"%s%n\".img";
const std::string kOddCommand = "%n%s%x\x01\x1b\xff\x80";
const std::string kHugeCommand(128 * 1024 - 1, 'A');  // the most one operand may hold

sandbox_options with(log_transport transport, stdout_mode out = stdout_mode::pipe, std::string prelude = "",
                     std::vector<std::string> bwrap_args = {}) {
  sandbox_options options;
  options.transport = transport;
  options.out = out;
  options.prelude = prelude;
  options.bwrap_args = bwrap_args;
  return options;
}

// With a stand-in for pstore at /dev/pmsg0.
sandbox_options with_pmsg(log_transport transport) {
  sandbox_options options = with(transport);
  options.pmsg = true;
  return options;
}

// logd restarts once the first entry is in, while the tool waits in its write
// to the FIFO "fifo", which then fails.
sandbox_options restarting_logd() {
  sandbox_options options = with(log_transport::logd);
  options.release_fifo = "fifo";
  return options;
}

std::string cut(const std::string& message) { return message.substr(0, 1023); }

// What a fault device sees of a run that opens it, makes `writes`, and ends
// with the requests in `after`.
std::vector<std::string> asked(std::vector<std::string> writes, std::vector<std::string> after) {
  writes.insert(writes.begin(), "open O_WRONLY");
  writes.insert(writes.end(), after.begin(), after.end());
  return writes;
}
const std::vector<std::string> kSynced = {"fsync", "flush", "release"};
const std::vector<std::string> kUnsynced = {"flush", "release"};
std::vector<std::string> one_byte_writes() {
  std::vector<std::string> writes;
  for (int i = 0; i < 14; ++i) writes.push_back("write " + std::to_string(i) + " " + std::to_string(14 - i) + " = 1");
  return writes;
}
const expected_entry kWriting = {4, write_message("boot-recovery", "@")};
// Plans for the fault device: writes that take at most `max_write` bytes and
// answer the n-th request with errors[n]; fsync and close answered so.
fault_plan writes(size_t max_write, std::vector<int> errors = {}) {
  fault_plan plan;
  plan.max_write = max_write;
  plan.write_errors = errors;
  return plan;
}
fault_plan answers(int fsync_error, int flush_error) {
  fault_plan plan;
  plan.fsync_error = fsync_error;
  plan.flush_error = flush_error;
  return plan;
}
fault_plan writes_taking_nothing() {
  fault_plan plan;
  plan.writes_take_nothing = true;
  return plan;
}
fault_plan refusing_read_opens() {
  fault_plan plan;
  plan.refuse_read_opens = true;
  return plan;
}

const fault_case kFaults[] = {
    {"loop_device_write", target::loop, {"@", "boot-recovery"}, with(log_transport::logd), kRecovery,
     {{4, write_message("boot-recovery", "@")}}},
    {"loop_device_erase", target::loop, {"@"}, with(log_transport::kernel_logger), kZero, {{4, erase_message("@")}}},
    {"by_name_link_write", target::loop_by_name, {"@", "boot-recovery"}, with(log_transport::logd), kRecovery,
     {{4, write_message("boot-recovery", "@")}}},
    {"by_name_link_erase", target::loop_by_name, {"@"}, with(log_transport::logd), kZero, {{4, erase_message("@")}}},
    {"read_only_device", target::loop_read_only, {"@", "boot-recovery"}, with(log_transport::logd), "",
     {{4, write_message("boot-recovery", "@")}, {6, "@"}}},
    {"dev_full", target::file, {"/dev/full", "boot-recovery"}, with(log_transport::logd), "",
     {{4, write_message("boot-recovery", "/dev/full")}, {6, write_failed("/dev/full", "No space left on device")}}},
    {"full_tmpfs", target::file, {"full/misc", "boot-recovery"},
     with(log_transport::logd, stdout_mode::pipe, "cat /dev/zero > full/filler 2>/dev/null",
          {"--size", "65536", "--tmpfs", "@W/full"}),
     "",
     {{4, write_message("boot-recovery", "full/misc")}, {6, write_failed("full/misc", "No space left on device")}}},
    {"no_permission", target::file, {"@", "boot-recovery"}, with(log_transport::logd), "",
     {{4, write_message("boot-recovery", "@")}, {6, not_found("@")}}, true},
    {"path_longer_than_path_max", target::file, {kLongPath}, with(log_transport::logd), "",
     {{4, cut(erase_message(kLongPath))}, {6, cut(not_found(kLongPath))}}},
    {"path_with_newline_quotes_percent", target::file, {kOddPath, "boot-recovery"}, with(log_transport::logd), "",
     {{4, write_message("boot-recovery", kOddPath)}}},
    {"command_with_formats_and_control_bytes", target::file, {"@", kOddCommand}, with(log_transport::kernel_logger),
     kOddCommand + std::string(14 - kOddCommand.size(), '\0'), {{4, write_message(kOddCommand, "@")}}},
    {"command_of_128_KiB", target::file, {"@", kHugeCommand}, with(log_transport::logd), std::string(14, 'A'),
     {{4, write_message(std::string(14, 'A'), "@")}}},
    {"stdout_closed", target::file, {"@", "boot-recovery"}, with(log_transport::logd, stdout_mode::closed),
     kRecovery, {{4, write_message("boot-recovery", "@")}}},
    {"stdout_closed_kernel_logger", target::file, {"@"}, with(log_transport::kernel_logger, stdout_mode::closed),
     kZero, {{4, erase_message("@")}}},
    {"stdout_on_dev_full", target::file, {"@", "boot-recovery"}, with(log_transport::logd, stdout_mode::dev_full),
     kRecovery, {{4, write_message("boot-recovery", "@")}}},
    {"stdout_reader_gone", target::file, {"@", "boot-recovery"},
     with(log_transport::logd, stdout_mode::reader_gone), kRecovery, {{4, write_message("boot-recovery", "@")}}},
    {"no_log_at_all", target::file, {"@", "boot-recovery"}, with(log_transport::none), kRecovery, {}},
    {"logd_queue_full", target::file, {"@", "boot-recovery"}, with(log_transport::logd_full), kRecovery, {}},
    {"kernel_logger_unopenable", target::file, {"@", "boot-recovery"},
     with(log_transport::kernel_logger_unopenable), kRecovery, {}},
    {"logd_read_20_ms_late", target::file, {"@", "boot-recovery"}, with(log_transport::logd_late), kRecovery,
     {kWriting}},
    {"logd_restarts_between_entries", target::file, {"fifo", "boot-recovery"}, restarting_logd(), "",
     {{4, write_message("boot-recovery", "fifo")}, {6, write_failed("fifo", "{EPIPE}")}}},
    {"logd_refuses_with_kernel_logger_there", target::file, {"@", "boot-recovery"},
     with(log_transport::logd_refusing_and_kernel_logger), kRecovery, {}},
    {"pmsg_copy_beside_logd", target::file, {"/dev/full", "boot-recovery"}, with_pmsg(log_transport::logd), "",
     {{4, write_message("boot-recovery", "/dev/full")}, {6, write_failed("/dev/full", "{ENOSPC}")}}},
    {"pmsg_copy_without_logd", target::file, {"@", "boot-recovery"}, with_pmsg(log_transport::none), kRecovery,
     {kWriting}},
    {"logd_and_kernel_logger_both_there", target::file, {"@"}, with(log_transport::logd_and_kernel_logger), kZero,
     {{4, erase_message("@")}}},
    // Storage that answers one request of the write as told.
    {"device_sees_one_write_only_open", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd),
     kRecovery, {kWriting}, false, writes(0), asked({"write 0 14 = 14"}, kSynced)},
    {"device_takes_5_bytes_a_write", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd),
     kRecovery, {kWriting}, false, writes(5), asked({"write 0 14 = 5", "write 5 9 = 5", "write 10 4 = 4"}, kSynced)},
    {"device_takes_1_byte_a_write", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd),
     kRecovery, {kWriting}, false, writes(1), asked(one_byte_writes(), kSynced)},
    {"write_interrupted_once", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd), kRecovery,
     {kWriting}, false, writes(0, {EINTR}), asked({"write 0 14 = EINTR", "write 0 14 = 14"}, kSynced)},
    {"write_fails_EIO", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd), "",
     {kWriting, {6, write_failed("@", "{EIO}")}}, false, writes(0, {EIO}),
     asked({"write 0 14 = EIO"}, kUnsynced)},
    {"write_fails_ENOSPC_after_5_bytes", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd),
     "boot-", {kWriting, {6, write_failed("@", "{ENOSPC}")}}, false, writes(5, {0, ENOSPC}),
     asked({"write 0 14 = 5", "write 5 9 = ENOSPC"}, kUnsynced)},
    {"write_takes_nothing", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd), "",
     {kWriting, {6, write_failed("@", "{EIO}")}}, false, writes_taking_nothing(), asked({"write 0 14 = 0"}, kUnsynced)},
    {"fsync_fails_EIO", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd), kRecovery,
     {kWriting, {6, write_failed("@", "{EIO}")}}, false, answers(EIO, 0),
     asked({"write 0 14 = 14"}, {"fsync = EIO", "flush", "release"})},
    {"fsync_not_supported_EINVAL", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd),
     kRecovery, {kWriting}, false, answers(EINVAL, 0),
     asked({"write 0 14 = 14"}, {"fsync = EINVAL", "flush", "release"})},
    {"close_fails_EIO", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd), kRecovery,
     {kWriting, {6, write_failed("@", "{EIO}")}}, false, answers(0, EIO),
     asked({"write 0 14 = 14"}, {"fsync", "flush = EIO", "release"})},
    {"device_refuses_read_opens", target::fault_device, {"@", "boot-recovery"}, with(log_transport::logd),
     kRecovery, {kWriting}, false, refusing_read_opens(), asked({"write 0 14 = 14"}, kSynced)},
};

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string random_bytes(size_t size) {
  std::mt19937 generator(size);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

// Where two images first differ (their shorter size if one is a prefix).
size_t first_difference(const std::string& a, const std::string& b) {
  return std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
}

// pstore's copy: one record per entry, its header field by field, then the
// entry as logd got it (same thread, same time), or would have.
void expect_pmsg(const bootnote_test::sandbox_result& run, const std::vector<expected_entry>& expected) {
  ASSERT_EQ(run.pmsg.size(), expected.size()) << "records in /dev/pmsg0";
  for (size_t i = 0; i < expected.size(); ++i) {
    const bootnote_test::pmsg_record& record = run.pmsg[i];
    EXPECT_EQ(record.magic, 'l') << "pmsg record " << i;
    EXPECT_EQ(record.length, record.size) << "pmsg record " << i << ": length field";
    EXPECT_EQ(record.uid, geteuid()) << "pmsg record " << i;
    EXPECT_NE(record.pid, 0u) << "pmsg record " << i;
    EXPECT_EQ(record.entry.log_id, 0) << "pmsg record " << i;
    EXPECT_EQ(record.entry.priority, expected[i].priority) << "pmsg record " << i;
    EXPECT_EQ(record.entry.tag, "bootnote") << "pmsg record " << i;
    EXPECT_EQ(record.entry.message, expected[i].message) << "pmsg record " << i;
    if (i < run.log.size()) {
      const bootnote_test::log_record& logd = run.log[i];
      EXPECT_EQ(record.pid, logd.pid & 0xffff) << "pmsg record " << i << " against logd's credentials";
      EXPECT_EQ(record.entry.thread_id, logd.thread_id) << "pmsg record " << i;
      EXPECT_EQ(record.entry.seconds, logd.seconds) << "pmsg record " << i;
      EXPECT_EQ(record.entry.nanoseconds, logd.nanoseconds) << "pmsg record " << i;
    }
  }
}

void PrintTo(const fault_case& c, std::ostream* os) { *os << c.name; }

class Fault : public testing::TestWithParam<fault_case> {};

TEST_P(Fault, LosesNothingAndReportsFailures) {
  const fault_case& c = GetParam();
  bool needs_root = c.where != target::file || c.as_nobody;
  if (needs_root && geteuid() != 0) GTEST_SKIP() << "needs root (loop devices, setpriv)";
  count_fault();

  bootnote_test::temp_dir work;
  chmod(work.path().c_str(), 0755);  // so that only the target's own mode can refuse
  const std::string image_path = work.path() + "/misc";
  const std::string original = c.where == target::file ? image() : random_bytes(64 * 1024);
  std::unique_ptr<bootnote_test::fault_device> device;
  if (c.where == target::fault_device) device = std::make_unique<bootnote_test::fault_device>(original, c.plan);
  std::ofstream(image_path, std::ios::binary) << original;
  if (c.as_nobody) chmod(image_path.c_str(), 0600);
  std::filesystem::create_directory(work.path() + "/full");
  if (!c.options.release_fifo.empty()) mkfifo((work.path() + "/" + c.options.release_fifo).c_str(), 0600);

  sandbox_options options = c.options;
  for (std::string& arg : options.bwrap_args) arg = replace_all(arg, "@W", work.path());
  if (!options.release_fifo.empty()) options.release_fifo = work.path() + "/" + options.release_fifo;
  std::string path = "misc";
  std::unique_ptr<bootnote_test::loop_device> loop;
  if (device) {
    // Bound into the sandbox where a phone keeps its partition links.
    options.bwrap_args.insert(options.bwrap_args.end(), {"--bind", device->mount_point(), "/dev/block/by-name"});
    path = "/dev/block/by-name/misc";
  } else if (c.where != target::file) {
    loop = std::make_unique<bootnote_test::loop_device>(image_path, c.where == target::loop_read_only);
    path = loop->path();
    options.bwrap_args.insert(options.bwrap_args.end(), {"--dev-bind", path, path});
    if (c.where == target::loop_by_name) {
      options.bwrap_args.insert(options.bwrap_args.end(),
                                {"--dir", "/dev/block/by-name", "--symlink", path, "/dev/block/by-name/misc"});
      path = "/dev/block/by-name/misc";
    }
  }
  std::vector<std::string> operands = c.operands;
  for (std::string& operand : operands) operand = operand == "@" ? path : operand;
  std::vector<std::string> argv = tool_argv(operands);
  if (c.as_nobody) {
    // The build tree may lie where uid 65534 cannot reach (under /root):
    // run an unchanged copy of the binary from the working directory.
    std::string copy = work.path() + "/bootnote";
    std::filesystem::copy_file(g_binary, copy);
    std::replace(argv.begin(), argv.end(), g_binary, copy);
    argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }

  bootnote_test::sandbox_result run = bootnote_test::run_in_sandbox(options, argv, work.path());
  loop.reset();  // detached, so the image file holds what reached the device

  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  if (options.out == stdout_mode::pipe) {
    EXPECT_EQ(run.out, kBanner);
  }
  EXPECT_LT(run.seconds, 10.0) << "took too long: a hang?";
  std::string expected_image = c.record.empty() ? original : c.record + original.substr(c.record.size());
  std::string image_after = device ? device->image() : bootnote_test::read_file(image_path);
  EXPECT_TRUE(image_after == expected_image) << "image after the run differs from byte " << first_difference(image_after, expected_image);
  if (device) {
    EXPECT_EQ(device->requests(), c.requests) << "requests the device saw";
  }

  std::vector<expected_entry> expected = c.log;
  for (expected_entry& entry : expected) {
    entry.message = replace_all(entry.message, "@", path);
    entry.message = replace_all(entry.message, "{EIO}", reason(EIO));
    entry.message = replace_all(entry.message, "{ENOSPC}", reason(ENOSPC));
    entry.message = replace_all(entry.message, "{EPIPE}", reason(EPIPE));
  }
  if (options.pmsg) expect_pmsg(run, expected);
  if (options.transport == log_transport::none) expected.clear();  // only pstore has them
  if (expected.size() == 2 && expected[1].message == path) {
    // Whether the open or the write refuses a read-only device is the
    // kernel's choice; either way the error must name the path.
    ASSERT_EQ(run.log.size(), 2u);
    std::string write_failed_prefix = write_failed(path, "");
    write_failed_prefix.pop_back();  // the line feed after the empty reason
    EXPECT_TRUE(run.log[1].message == not_found(path) || run.log[1].message.rfind(write_failed_prefix, 0) == 0)
        << run.log[1].message;
    expected[1] = {6, run.log[1].message};
  }
  expect_log(run.log, expected);
  if (options.transport == log_transport::logd_and_kernel_logger) {
    for (const bootnote_test::log_record& record : run.log)
      EXPECT_EQ(record.log_id, 0) << "an entry went to the kernel logger, not to logd: " << record.message;
  }
}

INSTANTIATE_TEST_SUITE_P(Injected, Fault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Many writers on one image: the record is one of theirs, never a mix.
TEST(Concurrency, ManyWritersLeaveOneWholeRecord) {
  count_fault();
  bootnote_test::temp_dir work;
  std::ofstream(work.path() + "/misc", std::ios::binary) << image();
  constexpr int kWriters = 16;
  std::string script = "for i in $(seq 10 " + std::to_string(9 + kWriters) + "); do \"$@\" misc cmd-$i-abcdefghijk & done; wait";
  std::vector<std::string> argv = {"sh", "-c", script, "sh"};
  std::vector<std::string> tool = tool_argv({});
  argv.insert(argv.end(), tool.begin(), tool.end());

  bootnote_test::sandbox_result run = bootnote_test::run_in_sandbox(with(log_transport::logd), argv, work.path());

  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  std::string expected_out;
  for (int i = 0; i < kWriters; ++i) expected_out += kBanner;
  EXPECT_EQ(run.out, expected_out);
  EXPECT_EQ(run.log.size(), static_cast<size_t>(kWriters));
  std::string bytes = bootnote_test::read_file(work.path() + "/misc");
  ASSERT_EQ(bytes.size(), 100u);
  EXPECT_EQ(bytes.substr(14), image().substr(14));
  std::string head = bytes.substr(0, 14);
  bool one_of_them = false;
  for (int i = 10; i < 10 + kWriters; ++i) one_of_them |= head == "cmd-" + std::to_string(i) + "-abcdefg";
  EXPECT_TRUE(one_of_them) << "record is a mix: " << head;
}

}  // namespace
}  // namespace e2e
