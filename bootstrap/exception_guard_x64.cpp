// The 64-bit guard routine. x64 code registers no handler frames at run time: the dispatcher
// walks the stack through the unwind tables of the image, and calls a function's language
// handler when an exception passes one of its calls. KvGuardedCall is such a function, written
// here with its own unwind data, and KvGuardHandler is its handler. On the search pass the
// handler accepts every exception: it stores the code and calls RtlUnwindEx with the guard's own
// frame as target, which runs the unwind handlers of every frame in between, restores the
// non-volatile registers as they were at the guard's call, and resumes at KvGuardLanding with
// the guard's stack pointer. The handler never returns to the dispatcher.
//
// Frame of KvGuardedCall after its prologue (the establisher frame the handler receives):
//   +0 .. +31  the home space of the body's arguments
//   +32        where to store the body's result
//   +40        where to store the exception code
#include "bootstrap/exception_guard_arch.h"

namespace {

constexpr size_t kCodeSlot = 40;

}  // namespace

extern "C" {
void KvGuardLanding();
EXCEPTION_DISPOSITION KvGuardHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                     CONTEXT* context, DISPATCHER_CONTEXT* dispatch);
}

EXCEPTION_DISPOSITION KvGuardHandler(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT*,
                                     DISPATCHER_CONTEXT* dispatch) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  DWORD* code = *reinterpret_cast<DWORD**>(static_cast<char*>(establisherFrame) + kCodeSlot);
  *code = record->ExceptionCode;
  RtlUnwindEx(establisherFrame, reinterpret_cast<void*>(KvGuardLanding), record, nullptr,
              dispatch->ContextRecord, dispatch->HistoryTable);
  return ExceptionContinueSearch;  // not reached: the unwind resumes at the landing point
}

// Entry: rcx body, rdx context, r8 result, r9 exceptionCode. The stack is 16-byte aligned at the
// call of the body (8 on entry + 56).
__asm__(
    ".text\n"
    ".globl KvGuardedCall\n"
    ".def KvGuardedCall; .scl 2; .type 32; .endef\n"
    ".seh_proc KvGuardedCall\n"
    "KvGuardedCall:\n"
    "  .seh_handler KvGuardHandler, @except\n"
    "  subq $56, %rsp\n"
    "  .seh_stackalloc 56\n"
    "  .seh_endprologue\n"
    "  movq %r8, 32(%rsp)\n"
    "  movq %r9, 40(%rsp)\n"
    "  movq %rcx, %rax\n"
    "  movq %rdx, %rcx\n"
    "  call *%rax\n"
    "  movq 32(%rsp), %rcx\n"
    "  movl %eax, (%rcx)\n"        // *result
    "  movl $1, %eax\n"
    "  jmp 1f\n"
    ".globl KvGuardLanding\n"
    "KvGuardLanding:\n"            // rsp is the guard's frame again
    "  xorl %eax, %eax\n"
    "1:\n"
    "  addq $56, %rsp\n"
    "  ret\n"
    ".seh_endproc\n");
