#include "case_model.h"

#include "command_line.h"

namespace bootnote_test {

bool is_block_device(target world) {
  return world == target::loop_device || world == target::by_name_link || world == target::read_only_loop_device ||
         world == target::fault_device;
}

log_world logd(logd_mode mode) { return {.logd = mode}; }
log_world kernel_logger_only() { return {.kernel_logger = true}; }
log_world unopenable_kernel_logger_only() { return {.kernel_logger = true, .kernel_logger_openable = false}; }
log_world no_log() { return {}; }
log_world logd_and_kernel_logger(logd_mode mode) { return {.logd = mode, .kernel_logger = true}; }
log_world with_pmsg(log_world world) {
  world.pmsg = true;
  return world;
}

contents unchanged() { return {contents::unchanged, "", ""}; }
contents begins_with(const std::string& record) { return {contents::begins_with, record, ""}; }
contents file_holds(const std::string& file, const std::string& bytes) { return {contents::file_holds, bytes, file}; }
contents file_missing(const std::string& file) { return {contents::file_missing, "", file}; }

entry info(const std::string& message) { return {priority::info, {message}}; }
entry error(const std::string& message) { return {priority::error, {message}}; }
entry error_one_of(const std::vector<std::string>& messages) { return {priority::error, messages}; }

std::string because(int error) { return reason(arguments().build->library, error); }

}  // namespace bootnote_test
