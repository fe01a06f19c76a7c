// The oldest kernel's call table of each ABI, as a seccomp filter. C library
// headers only, like the product.
#include "guest_old_kernel.h"

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

// The kernel's seccomp and BPF interface (<linux/seccomp.h>, <linux/filter.h>,
// <linux/audit.h>), which musl's headers do not carry.
struct sock_filter {
  uint16_t code;
  uint8_t jt, jf;
  uint32_t k;
};
struct sock_fprog {
  unsigned short len;
  sock_filter* filter;
};
constexpr uint16_t kLoadWord = 0x20;        // BPF_LD | BPF_W | BPF_ABS
constexpr uint16_t kJumpIfEqual = 0x15;     // BPF_JMP | BPF_JEQ | BPF_K
constexpr uint16_t kJumpIfAtLeast = 0x35;   // BPF_JMP | BPF_JGE | BPF_K
constexpr uint16_t kReturn = 0x06;          // BPF_RET | BPF_K
constexpr uint32_t kNumberOffset = 0, kArchOffset = 4;  // in struct seccomp_data
constexpr unsigned kSetModeFilter = 1, kFilterFlagLog = 2;
constexpr uint32_t kRetLog = 0x7ffc0000, kRetErrno = 0x00050000, kRetKill = 0;

// Per ABI: the audit architecture its calls come with, the oldest kernel
// its first Android release ran, and the call numbers that kernel lacked,
// as half-open ranges [first, end). A probe shows the table bites: a call
// newer than that kernel (getrandom, Linux 3.17) must be refused and one it
// had (clock_gettime) must work.
struct number_range {
  uint32_t first, end;
};
#if defined(__arm__)
// armeabi-v7a, API 18, Linux 3.0: the last call is setns (375). Private
// ARM calls run from 0xf0000; 3.0 had up to set_tls (0xf0005).
constexpr uint32_t kAuditArch = 0x40000028;  // AUDIT_ARCH_ARM
constexpr number_range kMissing[] = {{376, 0xf0000}, {0xf0006, 0xffffffff}};
constexpr long kProbeNew = 384, kProbeOld = 263;
#elif defined(__aarch64__)
// arm64-v8a, API 21, Linux 3.10: the generic table up to finit_module
// (273), without the architecture-specific block 244..259, which arm64
// never filled.
constexpr uint32_t kAuditArch = 0xc00000b7;  // AUDIT_ARCH_AARCH64
constexpr number_range kMissing[] = {{244, 260}, {274, 0xffffffff}};
constexpr long kProbeNew = 278, kProbeOld = 113;
#elif defined(__i386__)
// x86, API 19 devices ran Linux 3.10: up to finit_module (350); socket
// (359) and clock_gettime64 (403) came later.
constexpr uint32_t kAuditArch = 0x40000003;  // AUDIT_ARCH_I386
constexpr number_range kMissing[] = {{351, 0xffffffff}};
constexpr long kProbeNew = 355, kProbeOld = 265;
#elif defined(__x86_64__)
// x86_64, API 21, Linux 3.10: up to finit_module (313); the x32 numbers
// (bit 30) fall in the refused range too.
constexpr uint32_t kAuditArch = 0xc000003e;  // AUDIT_ARCH_X86_64
constexpr number_range kMissing[] = {{314, 0xffffffff}};
constexpr long kProbeNew = 318, kProbeOld = 228;
#else
#error "guest_helper: no old-kernel call table for this architecture"
#endif

}  // namespace

int run_under_old_kernel(char** argv) {
  // Checks the architecture, loads the number, then two jumps per range
  // [first, end): below first, on to the next range; at or above end, on to
  // the next range; else refuse. After the last range: allow, logged.
  constexpr size_t kRanges = sizeof kMissing / sizeof kMissing[0];
  constexpr size_t kAllow = 4 + 2 * kRanges, kRefuse = kAllow + 1;
  sock_filter filter[kRefuse + 1] = {};
  filter[0] = {kLoadWord, 0, 0, kArchOffset};
  filter[1] = {kJumpIfEqual, 1, 0, kAuditArch};
  filter[2] = {kReturn, 0, 0, kRetKill};
  filter[3] = {kLoadWord, 0, 0, kNumberOffset};
  for (size_t i = 0; i < kRanges; ++i) {
    size_t at = 4 + 2 * i;
    filter[at] = {kJumpIfAtLeast, 0, 1, kMissing[i].first};
    filter[at + 1] = {kJumpIfAtLeast, 0, static_cast<uint8_t>(kRefuse - (at + 2)), kMissing[i].end};
  }
  filter[kAllow] = {kReturn, 0, 0, kRetLog};
  filter[kRefuse] = {kReturn, 0, 0, kRetErrno | ENOSYS};
  sock_fprog program = {static_cast<unsigned short>(kRefuse + 1), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      syscall(SYS_seccomp, kSetModeFilter, kFilterFlagLog, &program) != 0) {
    perror("guest_helper old-kernel: seccomp");
    return 125;
  }
  char random[4];
  timespec now;
  long refused = syscall(kProbeNew, random, sizeof random, 0);
  int refused_errno = errno;
  long allowed = syscall(kProbeOld, CLOCK_REALTIME, &now);
  if (refused != -1 || refused_errno != ENOSYS || allowed != 0) {
    fprintf(stderr, "guest_helper old-kernel: the table does not bite: %ld -> %ld, %ld -> %ld\n", kProbeNew,
            refused, kProbeOld, allowed);
    return 125;
  }
  execv(argv[0], argv);
  perror("guest_helper old-kernel: exec");
  return 125;
}

