// ==== Signals ==================================================================================
// SIGINT, SIGTERM and SIGHUP are remembered for the message loop, which ends the run between two
// steps; a second one ends the program at once, after removing the combined page's hidden
// temporary file, the one file a run may have under a name of its own while it is written. The
// handler uses plain buffers only, as a signal handler may use nothing else.
#include "platform/posix_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

using namespace posix;

namespace {

// The first of SIGINT, SIGTERM or SIGHUP that arrived; the loop looks at it between two messages.
volatile std::sig_atomic_t PendingSignal = 0;

// What a second signal, which ends the program at once, removes first: the combined page's
// hidden temporary file, where it has one while it is written. A plain buffer, as a signal
// handler may use nothing else.
char TemporaryToRemove[PATH_MAX];
volatile std::sig_atomic_t HaveTemporary = 0;

void OnInterruption(int signal) {
  if (PendingSignal == 0) {
    PendingSignal = signal;
    return;
  }
  const int saved = errno;
  if (HaveTemporary) ::unlink(TemporaryToRemove);
  errno = saved;
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void Remember(char* buffer, volatile std::sig_atomic_t* have, const std::string& name) {
  *have = 0;
  if (name.size() >= PATH_MAX) return;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *have = 1;
}

}  // namespace

namespace posix {

void RememberTemporary(const std::string& name) {
  Remember(TemporaryToRemove, &HaveTemporary, name);
}

void ForgetTemporary() {
  HaveTemporary = 0;
}

}  // namespace posix

void CatchInterruptions() {
  struct sigaction action {};
  action.sa_handler = OnInterruption;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns and the loop looks at the signal
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    // A signal ignored by whoever started the program (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

int PendingInterruption() {
  return PendingSignal;
}
