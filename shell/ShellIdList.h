#pragma once
// Owners of item-id lists that the shell allocated or that ILClone/ILCombine
// made (the folder's own place, lists for change notices, a browser's steps);
// freed with ILFree. Our own device identifiers have ItemIdHolder instead.
#include <windows.h>
#include <shlobj.h>

#include "foundation/ScopedHandle.h"

using ShellIdList = ScopedResource<PIDLIST_ABSOLUTE, ILFree>;
// One list relative to a folder, such as a step down from it.
using ShellRelativeIdList = ScopedResource<PIDLIST_RELATIVE, ILFree>;
