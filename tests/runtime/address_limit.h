// Leaves a (child) process 64 MiB of address space beyond what it uses, so
// that large allocations fail. Not in sanitizer builds, whose own reserved
// address space cannot live under the limit.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUILLET_CAN_LIMIT_ADDRESS_SPACE 1
inline void limit_address_space() {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t bytes = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (64u << 20);
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_AS, &limit);
}
#endif
