#pragma once
// The views of device folders that are open in this process, oldest first.
// A view adds itself when it is made and removes itself when it goes.
#include <vector>

class CShellView;

bool CreateOpenViews();  // false when memory is short
void DestroyOpenViews();  // views still open are forgotten
std::vector<CShellView*>* OpenViews();
