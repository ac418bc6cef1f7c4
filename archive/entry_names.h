// Which archive entry names the payload extraction accepts: names that stay below the destination
// folder and that Windows creates as they are written.
#pragma once

// True when every component of name ('/' and '\' both separate components) is a plain Windows
// file name: not empty, not "." or "..", without control characters or any of < > : " | ? *,
// not ending in a dot or a space (Windows would drop them), and not a device name such as CON,
// NUL, COM1 or LPT1, with or without an extension. An absolute name ("\x", "\\server\share\x"),
// a drive prefix ("C:x") and a stream name ("a:b") are refused by these rules too.
bool IsSafeEntryName(const wchar_t* name);
