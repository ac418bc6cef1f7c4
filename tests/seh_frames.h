// Test helpers over the architecture's exception handling, one implementation per architecture
// (seh_frames_x86.cpp, seh_frames_x64.cpp), so that the guard's tests read the same on both.
#pragma once

#include <windows.h>

// A value that a guard must give back unchanged: on x86 the head of the thread's handler chain
// (fs:[0]), on x64 the caller's stack pointer.
extern "C" void* ExceptionStateMark();

// How often the handler of RaiseInCountingFrame's frame saw an unwind.
extern int unwindCalls;

// Raises code from inside a frame with a handler of its own, which passes the exception on and
// counts the unwind that goes through it.
void RaiseInCountingFrame(DWORD code);
