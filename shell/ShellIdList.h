#pragma once
// Owns an item-id list that the shell allocated or that ILClone/ILCombine
// made (the folder's own place, lists for change notices); freed with ILFree.
// Our own device identifiers have ItemIdHolder instead.
#include <windows.h>
#include <shlobj.h>

class ShellIdList {
public:
    ShellIdList() = default;
    explicit ShellIdList(PIDLIST_ABSOLUTE list) : list_(list) {}
    ~ShellIdList() { reset(); }
    ShellIdList(ShellIdList&& other) noexcept : list_(other.release()) {}
    ShellIdList& operator=(ShellIdList&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ShellIdList(const ShellIdList&) = delete;
    ShellIdList& operator=(const ShellIdList&) = delete;

    PCIDLIST_ABSOLUTE get() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }
    // For the out parameter of a call that allocates a list.
    PIDLIST_ABSOLUTE* put()
    {
        reset();
        return &list_;
    }
    void reset(PIDLIST_ABSOLUTE list = nullptr)
    {
        if (list_) ILFree(list_);
        list_ = list;
    }
    PIDLIST_ABSOLUTE release()
    {
        PIDLIST_ABSOLUTE list = list_;
        list_ = nullptr;
        return list;
    }

private:
    PIDLIST_ABSOLUTE list_ = nullptr;
};
