// CallGuarded over the architecture's guard routine.
#include "bootstrap/exception_guard.h"

#include "bootstrap/exception_guard_arch.h"

bool CallGuarded(GuardedBody body, void* context, int* result, DWORD* exceptionCode) {
  int returned = 0;
  DWORD code = 0;
  bool normal = KvGuardedCall(body, context, &returned, &code) != 0;
  if (normal) {
    *result = returned;
  } else {
    *exceptionCode = code;
  }
  return normal;
}
