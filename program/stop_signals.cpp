#include "stop_signals.hpp"

#include <csignal>
#include <initializer_list>

namespace program {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void askToStop(int signal) { g_stopSignal = signal; }

}  // namespace

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = askToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored when the program starts (nohup, a background job)
    // stays ignored, as the one who started it asked.
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

int stopSignal() { return g_stopSignal; }

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace program
