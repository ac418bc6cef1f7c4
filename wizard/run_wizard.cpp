// Placeholder for the wizard until its pages exist: it tells the user that this package cannot
// install anything yet and ends the run with exit code 0. The caption comes from the variable
// store, as the wizard's own texts will.
#include "wizard/run_wizard.h"

#include "runtime/zudada.h"

#include <windows.h>

int RunWizard() {
  const wchar_t* caption = EvalVar(L"%APPTITLE%");
  MessageBoxW(nullptr, L"The installation wizard is not built yet: nothing was installed.",
              caption, MB_OK | MB_ICONINFORMATION);
  return 0;
}
