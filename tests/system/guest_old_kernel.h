// Runs a program with only the system calls of the oldest kernel its ABI's
// first Android release ran.
#ifndef BOOTNOTE_TESTS_GUEST_OLD_KERNEL_H_
#define BOOTNOTE_TESTS_GUEST_OLD_KERNEL_H_

// Installs the ABI's old-kernel table (ENOSYS for every call that kernel
// lacked, every call logged by the kernel, a call of another architecture
// kills), proves that it bites, and executes argv[0] with argv. Returns
// only on failure, with 125.
int run_under_old_kernel(char** argv);

#endif  // BOOTNOTE_TESTS_GUEST_OLD_KERNEL_H_
