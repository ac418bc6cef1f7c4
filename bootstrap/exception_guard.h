// A structured-exception guard around one call. GCC has no __try: the guard is a routine of its
// own per architecture (a frame in the fs:[0] chain on x86, a table-based handler on x64).
#pragma once

#include <windows.h>

typedef int (*GuardedBody)(void* context);

// Calls body(context) with a guard frame registered. Returns true when the body returned, with
// its result in *result. Returns false when any structured exception (access violation,
// RaiseException, from whatever depth) left the body: the guard records its code in
// *exceptionCode, unwinds every frame above its own (their handlers see the unwind) and resumes
// here with the frame chain as it was before the call.
bool CallGuarded(GuardedBody body, void* context, int* result, DWORD* exceptionCode);
