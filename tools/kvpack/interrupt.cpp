// Records termination signals and passes them on to the running child.
#include "interrupt.h"

#include <signal.h>
#include <string.h>

static volatile sig_atomic_t gInterrupted = 0;
static volatile pid_t gChild = 0;

static void OnSignal(int signal) {
  gInterrupted = 1;
  pid_t child = gChild;
  if (child > 0) kill(child, signal);
}

void InstallInterruptHandlers() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool Interrupted() { return gInterrupted != 0; }

void SetInterruptChild(pid_t child) { gChild = child; }
