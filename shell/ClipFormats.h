#pragma once
// The clipboard formats of the data object, registered by name when the
// module is loaded, and the formats that paste and drop accept.
#include <windows.h>
#include <objidl.h>

extern const UINT16 g_cfFileGroupDescriptor;
extern const UINT16 g_cfFileGroupDescriptorW;
extern const UINT16 g_cfFileContents;
extern const UINT16 g_cfPasteSucceeded;
extern const UINT16 g_cfPerformedDropEffect;
extern const UINT16 g_cfPreferredDropEffect;

// The module sets them at attach and clears them at detach.
void SetPasteFormats(const FORMATETC* formats, UINT count);
const FORMATETC* PasteFormats(UINT& count);
