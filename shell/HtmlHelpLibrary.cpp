#include "shell/HtmlHelpLibrary.h"

#include <htmlhelp.h>

const HtmlHelpLoader HtmlHelpLibrary::kSystem = {LoadLibraryA, GetProcAddress, FreeLibrary};

HtmlHelpLibrary::HtmlHelpLibrary(const HtmlHelpLoader& loader) : loader_(loader) {}

HtmlHelpFunction HtmlHelpLibrary::Function()
{
    std::lock_guard<std::mutex> guard(lock_);
    // A missing library is not looked for again on every key press.
    if (tried_) return function_;
    tried_ = true;
    library_ = loader_.load("hhctrl.ocx");
    if (library_) function_ = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(loader_.find(library_, "HtmlHelpA")));
    return function_;
}

void HtmlHelpLibrary::Free()
{
    std::lock_guard<std::mutex> guard(lock_);
    // Help windows run on the library's code: close them before it goes.
    if (function_) function_(nullptr, nullptr, HH_CLOSE_ALL, 0);
    if (library_) loader_.free(library_);
    library_ = nullptr;
    function_ = nullptr;
    tried_ = false;
}
