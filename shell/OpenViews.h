#pragma once
// The views of device folders that are open in this process, oldest first.
// A view adds itself when it is made and removes itself when it goes.
#include <windows.h>
#include <shlobj.h>

#include <vector>

class CShellFolder;
class CShellView;

bool CreateOpenViews();  // false when memory is short
void DestroyOpenViews();  // views still open are forgotten
std::vector<CShellView*>* OpenViews();

// Tells every open view of the device folder that holds item1 about its
// change: item1 and item2 are relative to `folder` and may lie below it, so
// a view of a sub-folder hears of an item made in it and the folder's own
// views hear nothing.
void UpdateOpenViews(const CShellFolder& folder, LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2);
