// The log's device files as regular files the test reads afterwards: the
// kernel logger's /dev/log/main (Android 4.3 and 4.4) and pstore's
// /dev/pmsg0.
#ifndef BOOTNOTE_TESTS_LOG_FILES_H_
#define BOOTNOTE_TESTS_LOG_FILES_H_

#include <string>

#include "files.h"
#include "world.h"

namespace bootnote_test {

// /dev/log/main: a file every user may write, whose entries are added to
// the run's log after logd's; or, when not `openable`, a directory there.
class kernel_logger : public world_piece {
 public:
  explicit kernel_logger(bool openable = true);
  void set_up(sandbox_setup& setup) override;
  void collect(run_state& run) override;

 private:
  temp_dir dir_;
  bool openable_;
};

// /dev/pmsg0: a file whose records become the run's pmsg.
class pmsg : public world_piece {
 public:
  pmsg();
  void set_up(sandbox_setup& setup) override;
  void collect(run_state& run) override;

 private:
  temp_dir dir_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_LOG_FILES_H_
