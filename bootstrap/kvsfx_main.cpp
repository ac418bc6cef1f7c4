// Entry point of the extractor stub.
#include "bootstrap/sfx_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return SfxMain(instance); }
