// The checks every run makes against its row: the target's bytes, the log
// entries, pstore's copy.
#ifndef BOOTNOTE_TESTS_EXPECT_H_
#define BOOTNOTE_TESTS_EXPECT_H_

#include <string>
#include <vector>

#include "case_model.h"
#include "case_world.h"
#include "sandbox.h"

namespace bootnote_test {

// The target (or the file `after` names) holds what `after` says.
void expect_contents(const contents& after, case_world& world, const std::string& workdir);

// The entries, in order: each one's priority, tag and message (one of the
// entry's), and the line logcat prints for it.
void expect_log(const std::vector<log_record>& log, const std::vector<entry>& expected);

// pstore's copy: one record per entry, its header field by field, then the
// entry as logd got it (same thread, same time), or would have.
void expect_pmsg(const sandbox_result& run, const std::vector<entry>& expected);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_EXPECT_H_
