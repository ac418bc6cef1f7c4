// The one instance of the extractor's process-wide state; static storage starts it zeroed, and its
// initializer sets the overwrite mode to ask.
#include "common/sfx_state.h"

SfxState sfx;
