// The checks the Win32 test programs count: each failure printed as it happens (flushed, so it
// comes before whatever a hung or crashing program leaves), and the closing line that
// scripts/test.sh counts.
#pragma once

#include <cstdio>
#include <string>

namespace test_checks {

inline int Checks = 0;
inline int Failures = 0;

// Counts one check; a failed one is printed as "FAIL WHAT". Returns ok.
inline bool Check(bool ok, const std::string& what) {
  ++Checks;
  if (!ok) {
    ++Failures;
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
  }
  return ok;
}

// Prints "N checks, M failed"; returns the exit status, 0 when none failed.
inline int Report() {
  std::printf("%d checks, %d failed\n", Checks, Failures);
  return Failures == 0 ? 0 : 1;
}

}  // namespace test_checks
