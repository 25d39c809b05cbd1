#pragma once
// The extension's class id, chosen once. The text form goes into
// "desktop.ini" (a resource string), so it is usable from the resource script.
#define PELLOR_CLSID_TEXT "{9413F1A9-2105-4B5F-886F-9B5CF0033322}"

#ifndef RC_INVOKED
#include <windows.h>

inline constexpr CLSID CLSID_Pellor = {0x9413F1A9, 0x2105, 0x4B5F, {0x88, 0x6F, 0x9B, 0x5C, 0xF0, 0x03, 0x33, 0x22}};
#endif
