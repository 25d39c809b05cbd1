#pragma once
// The icons of one device item: the shell's folder icons for folders and the
// icon of the file's type for files.
#include <windows.h>
#include <shlobj.h>

#include "shell/ComBase.h"
#include "shell/ItemId.h"

// Explorer asks for the wide interface first; the ANSI one serves older callers.
class CExtractIcon final : public IExtractIconA, public IExtractIconW, public RefCounted {
public:
    enum IconIndex { ICON_OPEN_FOLDER = 0, ICON_FOLDER = 1, ICON_FILE = 2 };

    explicit CExtractIcon(LPCITEMIDLIST item);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP GetIconLocation(UINT flags, LPSTR file, UINT size, int* index, UINT* outFlags) override;
    STDMETHODIMP Extract(LPCSTR file, UINT index, HICON* large, HICON* small, UINT sizes) override;
    // The same in wide characters.
    STDMETHODIMP GetIconLocation(UINT flags, LPWSTR file, UINT size, int* index, UINT* outFlags) override;
    STDMETHODIMP Extract(LPCWSTR file, UINT index, HICON* large, HICON* small, UINT sizes) override;

private:
    ItemIdHolder item_;
};
