// Interruption of a build by SIGINT, SIGTERM or SIGHUP: the handler only records the signal and
// stops the running 7zz, and the normal failure paths then remove every temporary file.
#pragma once

#include <sys/types.h>

// Installs the handlers (without SA_RESTART, so that blocking calls return EINTR).
void InstallInterruptHandlers();
// True once one of the signals arrived.
bool Interrupted();
// The child process the handler stops; 0 for none.
void SetInterruptChild(pid_t child);
