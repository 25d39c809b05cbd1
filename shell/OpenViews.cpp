#include "shell/OpenViews.h"

#include <new>

namespace {
std::vector<CShellView*>* g_openViews = nullptr;
}

bool CreateOpenViews()
{
    g_openViews = new (std::nothrow) std::vector<CShellView*>;
    return g_openViews != nullptr;
}

void DestroyOpenViews()
{
    delete g_openViews;
    g_openViews = nullptr;
}

std::vector<CShellView*>* OpenViews() { return g_openViews; }
