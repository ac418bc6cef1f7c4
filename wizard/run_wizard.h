// The wizard: the pages a package leads its user through, and the run's exit code.
#pragma once

// Leads the user through the wizard and returns the process exit code.
int RunWizard();
