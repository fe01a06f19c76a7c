// The guests' seccomp pieces, for guest_helper only: the kernel's seccomp
// and BPF interface, and per ABI the audit architecture and the calls the
// oldest kernel of its first Android release lacked.
#ifndef BOOTNOTE_TESTS_SYSTEM_GUEST_CALLS_H_
#define BOOTNOTE_TESTS_SYSTEM_GUEST_CALLS_H_

#include <stdint.h>

// The kernel's seccomp and BPF interface (<linux/seccomp.h>, <linux/filter.h>,
// <linux/audit.h>), which musl's headers do not carry.
struct sock_filter { uint16_t code; uint8_t jt, jf; uint32_t k; };
struct sock_fprog { unsigned short len; sock_filter* filter; };
constexpr uint16_t kLoadWord = 0x20, kJumpIfEqual = 0x15, kJumpIfAtLeast = 0x35, kReturn = 0x06;
constexpr uint32_t kNumberOffset = 0, kArchOffset = 4;  // in struct seccomp_data
constexpr uint32_t kRetAllow = 0x7fff0000, kRetErrno = 0x00050000, kRetKill = 0;

// Per ABI: the audit architecture its calls come with, and the call numbers
// the oldest kernel its first Android release ran lacked, as half-open
// ranges [first, end). A probe shows the table bites: a call newer than
// that kernel (getrandom, Linux 3.17) must be refused, one it had
// (clock_gettime) must work.
struct number_range { uint32_t first, end; };
#if defined(__arm__)
// armeabi-v7a, API 18, Linux 3.0: the last call is setns (375). Private
// ARM calls run from 0xf0000; 3.0 had up to set_tls (0xf0005).
constexpr uint32_t kAuditArch = 0x40000028;  // AUDIT_ARCH_ARM
constexpr number_range kMissing[] = {{376, 0xf0000}, {0xf0006, 0xffffffff}};
constexpr long kProbeNew = 384, kProbeOld = 263;
#elif defined(__aarch64__)
// arm64-v8a, API 21, Linux 3.10: the generic table up to finit_module
// (273), without the block 244..259 that arm64 never filled.
constexpr uint32_t kAuditArch = 0xc00000b7;  // AUDIT_ARCH_AARCH64
constexpr number_range kMissing[] = {{244, 260}, {274, 0xffffffff}};
constexpr long kProbeNew = 278, kProbeOld = 113;
#elif defined(__i386__)
// x86, API 19 devices ran Linux 3.10: up to finit_module (350); socket
// (359) and clock_gettime64 (403) came later, so musl's socketcall and
// clock_gettime must do.
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

#endif  // BOOTNOTE_TESTS_SYSTEM_GUEST_CALLS_H_
