// The architecture's own guard routine behind CallGuarded, written in assembly: one per
// architecture (exception_guard_x86.cpp, exception_guard_x64.cpp).
#pragma once

#include "bootstrap/exception_guard.h"

extern "C" {
// Calls body(context) under a handler that catches every structured exception leaving it.
// Returns 1 after a normal return of body (its result stored in *result), 0 after an exception
// (its code stored in *exceptionCode), once every frame above the guard has been unwound.
int KvGuardedCall(GuardedBody body, void* context, int* result, DWORD* exceptionCode);
}
