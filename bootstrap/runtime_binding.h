// The lazy binding of the runtime library: the eight operations of runtime/zudada.h, defined here
// as thunks that bind to the module "zudada.dll" on first use.
#pragma once

#include <windows.h>

// Failure codes the binding raises, as a delay-load helper would: the module cannot be loaded,
// or it lacks a function. The exception's single argument points at a DelayLoadInfo.
constexpr DWORD kBindModuleNotFound = 0xC06D007E;
constexpr DWORD kBindProcNotFound = 0xC06D007F;

// The module the binding holds a reference to, or null before the first call.
HMODULE BoundRuntimeModule();

// Drops the binding's own reference to the runtime library (taken by its bare-name load) and
// forgets every resolved function, so that a later call binds afresh instead of calling into an
// unloaded module. Safe when nothing is bound.
void ReleaseRuntimeBinding();
