#include "foundation/SheetHost.h"

namespace {

SheetHost* g_host = nullptr;

}  // namespace

void RegisterSheetHost(SheetHost* host) { g_host = host; }

SheetHost* RegisteredSheetHost() { return g_host; }
