// Signals on Linux and macOS. Ctrl-C and SIGTERM are blocked in every thread and taken by one
// thread of their own, so that no transfer is ever cut short by EINTR: a read in flight ends
// as the device makes it end.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "cli/stop_request.hpp"

namespace fwup::cli {
namespace {

constexpr char kStopping[] = "fwupgrade: stopping after the transfer in flight; press Ctrl-C again to end at once\n";

void TakeStopSignals(sigset_t signals) {
  for (;;) {
    int number = 0;
    if (sigwait(&signals, &number) != 0) continue;
    if (!StopRequested()) {
      RequestStop();
      (void)!::write(STDERR_FILENO, kStopping, sizeof kStopping - 1);
      continue;
    }
    // The second one: as if nothing handled it.
    ::signal(number, SIG_DFL);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, number);
    pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
    ::raise(number);
  }
}

}  // namespace

void SetUpProcessSignals() {
  ::signal(SIGPIPE, SIG_IGN);  // a reader that went away must not end an upgrade
  ::signal(SIGXFSZ, SIG_IGN);  // a file-size limit makes the write fail, and the writer says so
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // inherited by every thread started later
  std::thread(TakeStopSignals, signals).detach();
}

}  // namespace fwup::cli
