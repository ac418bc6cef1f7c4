// A runtime library that lacks most of its operations: it exports SetVar and EvalVar only, so
// that the binding's missing-function failure can be provoked.
#include "runtime/zudada.h"

extern "C" {

int WINAPI SetVar(const wchar_t*, const wchar_t*) { return 1; }

const wchar_t* WINAPI EvalVar(const wchar_t*) { return L"partial"; }

}  // extern "C"
