#pragma once
// The context menu of device items (or of the folder's background when made
// over no items): backup and restore, and the edit commands, each carried
// out by the folder's RunCommand.
#include <windows.h>
#include <shlobj.h>

#include "shell/CItemList.h"
#include "shell/CShellFolder.h"
#include "shell/ComBase.h"

class CContextMenu final : public IContextMenu, public RefCounted {
public:
    // Copies the items (relative to the folder) and references the folder.
    CContextMenu(CShellFolder* folder, UINT count, const LPCITEMIDLIST* items);
    bool Valid() const { return items_.Count() == count_; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR id, UINT type, UINT* reserved, LPSTR buffer, UINT size) override;

private:
    ~CContextMenu() override = default;
    void SetItemStates(HMENU menu) const;

    UINT firstId_ = 0;
    CItemList items_;
    UINT count_;
    ComPtr<CShellFolder> folder_;
};
