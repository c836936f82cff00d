// Runs a program in a folder and prints its wall time in seconds, its peak resident memory in
// KiB, its exit status and its processor time (user plus system) in seconds:
// timed_run FOLDER PROGRAM [ARGUMENT...]
// The processor time does not count waits for a processor, so it stays steady on a busy machine
// where the wall time of a short program does not.
// The program's output goes to /dev/null, so a terminal cannot slow it down.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: timed_run FOLDER PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    if (::chdir(argv[1]) != 0) _exit(126);
    ::execv(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return 1;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%.6f %ld %d %.6f\n", elapsed.count(), usage.ru_maxrss, code, cpu);
  return 0;
}
