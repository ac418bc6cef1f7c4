// The exception-handling helpers of the guard's tests on x64: a function whose unwind data names
// a handler, as a compiler's __try would make it.
#include "seh_frames.h"

int unwindCalls;

extern "C" {
EXCEPTION_DISPOSITION KvTestCountingHandler(EXCEPTION_RECORD* record, void*, CONTEXT*,
                                            DISPATCHER_CONTEXT*);
void KvTestRaiseInFrame(DWORD code);
}

EXCEPTION_DISPOSITION KvTestCountingHandler(EXCEPTION_RECORD* record, void*, CONTEXT*,
                                            DISPATCHER_CONTEXT*) {
  if (record->ExceptionFlags & EXCEPTION_UNWINDING) ++unwindCalls;
  return ExceptionContinueSearch;
}

// RaiseException(code, 0, 0, NULL) inside a frame whose handler sees both passes.
__asm__(
    ".text\n"
    ".globl KvTestRaiseInFrame\n"
    ".def KvTestRaiseInFrame; .scl 2; .type 32; .endef\n"
    ".seh_proc KvTestRaiseInFrame\n"
    "KvTestRaiseInFrame:\n"
    "  .seh_handler KvTestCountingHandler, @unwind, @except\n"
    "  subq $40, %rsp\n"
    "  .seh_stackalloc 40\n"
    "  .seh_endprologue\n"
    "  xorl %edx, %edx\n"
    "  xorl %r8d, %r8d\n"
    "  xorl %r9d, %r9d\n"
    "  call *__imp_RaiseException(%rip)\n"
    "  nop\n"
    "  addq $40, %rsp\n"
    "  ret\n"
    ".seh_endproc\n");

// The caller's stack pointer, as it was before the call.
__asm__(
    ".text\n"
    ".globl ExceptionStateMark\n"
    ".def ExceptionStateMark; .scl 2; .type 32; .endef\n"
    "ExceptionStateMark:\n"
    "  leaq 8(%rsp), %rax\n"
    "  ret\n");

void RaiseInCountingFrame(DWORD code) { KvTestRaiseInFrame(code); }
