#pragma once
// The views of device folders that are open in this process, oldest first.
// A view adds itself when it is made and removes itself when it goes. Views
// live on the threads of their Explorer windows, so the list has a lock.
#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <functional>

#include "shell/ComBase.h"

class CShellFolder;
class CShellView;

void AddOpenView(CShellView* view);
void RemoveOpenView(CShellView* view);
// Visits every open view, oldest first, under the list's lock: no view goes
// meanwhile. `visit` must not wait for another thread.
void ForEachOpenView(const std::function<void(CShellView*)>& visit);
size_t OpenViewCount();
// The newest open view for which `match` holds, with a reference of the
// caller's own, so that it outlives whatever the caller waits for; a view
// whose last reference has gone (its destructor waits for the lock to leave
// the list) is passed over. Null when there is none. `match` runs under the
// list's lock.
ComPtr<CShellView> FindOpenView(const std::function<bool(CShellView*)>& match);

// Tells every open view of the device folder that holds item1 about its
// change: item1 and item2 are relative to `folder` and may lie below it, so
// a view of a sub-folder hears of an item made in it and the folder's own
// views hear nothing.
void UpdateOpenViews(const CShellFolder& folder, LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2);
