#include "shell/ClipFormats.h"

namespace {

UINT16 Register(const char* name) { return static_cast<UINT16>(RegisterClipboardFormatA(name)); }

const FORMATETC* g_pasteFormats = nullptr;
UINT g_pasteFormatCount = 0;

}  // namespace

const UINT16 g_cfFileGroupDescriptor = Register("FileGroupDescriptor");
const UINT16 g_cfFileGroupDescriptorW = Register("FileGroupDescriptorW");
const UINT16 g_cfFileContents = Register("FileContents");
const UINT16 g_cfPasteSucceeded = Register("Paste Succeeded");
const UINT16 g_cfPerformedDropEffect = Register("Performed DropEffect");
const UINT16 g_cfPreferredDropEffect = Register("Preferred DropEffect");

void SetPasteFormats(const FORMATETC* formats, UINT count)
{
    g_pasteFormats = formats;
    g_pasteFormatCount = count;
}

const FORMATETC* PasteFormats(UINT& count)
{
    count = g_pasteFormatCount;
    return g_pasteFormats;
}
