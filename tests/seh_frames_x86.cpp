// The exception-handling helpers of the guard's tests on x86: frames in the fs:[0] chain.
#include "seh_frames.h"

int unwindCalls;

namespace {

EXCEPTION_DISPOSITION __cdecl CountingHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWINDING) ++unwindCalls;
  return ExceptionContinueSearch;
}

struct Registration {
  Registration* next;
  void* handler;
};

}  // namespace

extern "C" void* ExceptionStateMark() {
  void* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void RaiseInCountingFrame(DWORD code) {
  Registration inner = {static_cast<Registration*>(ExceptionStateMark()),
                        reinterpret_cast<void*>(CountingHandler)};
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&inner) : "memory");
  RaiseException(code, 0, 0, nullptr);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(inner.next) : "memory");
}
