// Lowers a (child) process's address-space limit so that large allocations
// fail. The sanitizers reserve their own address space and cannot run under
// the limit, so callers use it only in builds without them.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUILLET_CAN_LIMIT_ADDRESS_SPACE 1

// Leaves the process 64 MiB of address space beyond what it uses now.
inline void limit_address_space() {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (64u << 20);
  setrlimit(RLIMIT_AS, &limit);
}
#endif
