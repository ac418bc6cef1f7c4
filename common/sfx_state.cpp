// The one instance of the extractor's process-wide state; static storage starts it zeroed.
#include "common/sfx_state.h"

SfxState sfx;
