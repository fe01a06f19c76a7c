#include "log_files.h"

#include <sys/stat.h>

#include <stdexcept>

namespace bootnote_test {

kernel_logger::kernel_logger(bool openable) : openable_(openable) {
  chmod(dir_.path().c_str(), 0755);
  std::string main = dir_.path() + "/main";
  if (openable) {
    write_file(main, "");
    chmod(main.c_str(), 0666);
  } else {
    mkdir(main.c_str(), 0755);
  }
}

void kernel_logger::set_up(sandbox_setup& setup) {
  setup.bwrap_args.insert(setup.bwrap_args.end(), {"--bind", dir_.path(), "/dev/log"});
}

void kernel_logger::collect(run_state& run) {
  if (!openable_) return;
  std::string error;
  if (!parse_kernel_log(read_file(dir_.path() + "/main"), run.log, error))
    throw std::runtime_error("malformed kernel log: " + error);
}

pmsg::pmsg() {
  write_file(dir_.path() + "/pmsg0", "");
  chmod((dir_.path() + "/pmsg0").c_str(), 0666);
}

void pmsg::set_up(sandbox_setup& setup) {
  setup.bwrap_args.insert(setup.bwrap_args.end(), {"--bind", dir_.path() + "/pmsg0", "/dev/pmsg0"});
}

void pmsg::collect(run_state& run) {
  std::string error;
  if (!parse_pmsg(read_file(dir_.path() + "/pmsg0"), run.pmsg, error))
    throw std::runtime_error("malformed pmsg: " + error);
}

}  // namespace bootnote_test
