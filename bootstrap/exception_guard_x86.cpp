// The 32-bit guard routine: a frame of its own in the thread's exception chain (fs:[0]), since
// GCC for 32-bit Windows has no __try. Its layout on the stack of the assembly routine below:
//   +0 next record, +4 handler     (the system's EXCEPTION_REGISTRATION_RECORD)
//   +8 stack pointer to resume with (the record's own address)
//   +12 frame pointer to resume with
//   +16 where to store the exception code
// The handler accepts every exception on the first (search) pass: it stores the code, lets
// RtlUnwind run the unwind handlers of every frame above the guard and unlink them, and then
// jumps to the landing point with the guard routine's stack and frame pointers. It never returns
// to the dispatcher, whose own frames lie below the restored stack pointer.
#include "bootstrap/exception_guard_arch.h"

#include <stdint.h>

struct GuardFrame {
  GuardFrame* next;
  void* handler;
  uintptr_t resumeEsp;
  uintptr_t resumeEbp;
  DWORD* exceptionCode;
};

extern "C" {
__attribute__((noreturn)) void KvGuardResume(GuardFrame* frame);
void KvGuardUnwind(GuardFrame* frame, EXCEPTION_RECORD* record);
EXCEPTION_DISPOSITION __cdecl KvGuardHandler(EXCEPTION_RECORD* record, void* frame,
                                             CONTEXT* context, void* dispatcher);
}

EXCEPTION_DISPOSITION __cdecl KvGuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                             void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  GuardFrame* guard = static_cast<GuardFrame*>(frame);
  *guard->exceptionCode = record->ExceptionCode;
  KvGuardUnwind(guard, record);
  KvGuardResume(guard);
}

// RtlUnwind does not preserve ebx, esi and edi on every system; the wrapper saves them.
__asm__(
    ".text\n"
    ".globl _KvGuardUnwind\n"
    "_KvGuardUnwind:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl $0\n"                 // return value
    "  pushl 12(%ebp)\n"           // exception record
    "  pushl $1f\n"                // target address (the return below)
    "  pushl 8(%ebp)\n"            // target frame: the guard's own
    "  call _RtlUnwind@16\n"
    "1:\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n"

    ".globl _KvGuardResume\n"
    "_KvGuardResume:\n"
    "  movl 4(%esp), %eax\n"       // the guard frame
    "  movl 12(%eax), %ebp\n"
    "  movl 8(%eax), %esp\n"
    "  jmp KvGuardLanding\n"

    ".globl _KvGuardedCall\n"
    "_KvGuardedCall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  andl $-16, %esp\n"
    "  subl $32, %esp\n"           // guard frame at (%esp), 16-byte aligned below
    "  movl 20(%ebp), %eax\n"
    "  movl %eax, 16(%esp)\n"      // where the code goes
    "  movl %ebp, 12(%esp)\n"
    "  movl %esp, 8(%esp)\n"
    "  movl $_KvGuardHandler, 4(%esp)\n"
    "  movl %fs:0, %eax\n"
    "  movl %eax, (%esp)\n"
    "  movl %esp, %fs:0\n"
    "  subl $16, %esp\n"
    "  movl 12(%ebp), %eax\n"
    "  movl %eax, (%esp)\n"        // context argument of the body
    "  call *8(%ebp)\n"
    "  addl $16, %esp\n"
    "  movl 16(%ebp), %ecx\n"
    "  movl %eax, (%ecx)\n"        // *result
    "  movl (%esp), %ecx\n"
    "  movl %ecx, %fs:0\n"         // unlink the guard frame
    "  movl $1, %eax\n"
    "  jmp 2f\n"
    "KvGuardLanding:\n"            // esp = guard frame, ebp restored; the chain ends at the guard
    "  movl (%esp), %ecx\n"
    "  movl %ecx, %fs:0\n"
    "  xorl %eax, %eax\n"
    "2:\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");
