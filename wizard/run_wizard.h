// The wizard driver: the variables the wizard publishes, the integrity check, the page sequence,
// the extraction step and the exit code.
#pragma once

// Leads the user through welcome, readme, destination, extraction and final page and returns the
// process exit code: EXITCODE's value after the final page (-1 when it is no clean decimal
// number), 1 when the extraction failed, 2 when the user cancelled, 3 when the package image is
// incomplete or a page could not be shown.
int RunWizard();

// Copies the environment variable envName into the variable store as varName. 1 when it existed
// with a non-empty value and was stored; 0 otherwise (a missing variable leaves varName as it was,
// an empty one stores the empty text). Values of any length are read whole.
int ImportEnvVar(const wchar_t* envName, const wchar_t* varName);
