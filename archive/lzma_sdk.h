// The one place that includes the LZMA SDK's headers (its 7z decoder, CRC and file functions).
#pragma once

extern "C" {
#include "7z.h"
#include "7zCrc.h"
#include "7zFile.h"
}
