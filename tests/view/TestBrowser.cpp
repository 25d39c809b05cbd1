#include "tests/view/TestBrowser.h"

#include "shell/ItemId.h"

TestBrowser::TestBrowser()
{
    frame_ = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
}

TestBrowser::~TestBrowser() { DestroyWindow(frame_); }

STDMETHODIMP TestBrowser::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IShellBrowser)) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP TestBrowser::GetWindow(HWND* window)
{
    *window = frame_;
    return S_OK;
}

STDMETHODIMP TestBrowser::BrowseObject(LPCITEMIDLIST item, UINT)
{
    char name[MAX_PATH] = "";
    browsedTo.emplace_back(ItemIdName(item, name, sizeof name));
    return S_OK;
}

STDMETHODIMP TestBrowser::GetViewStateStream(DWORD, IStream** stream)
{
    *stream = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestBrowser::GetControlWindow(UINT, HWND* window)
{
    *window = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestBrowser::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (result) *result = 0;
    if (id == FCW_STATUS && message == SB_SETPARTS) {
        const int* edges = reinterpret_cast<const int*>(lParam);
        statusParts.assign(edges, edges + wParam);
    } else if (id == FCW_STATUS && message == SB_SETTEXTA) {
        statusTexts[static_cast<int>(wParam & 0xFF)] = reinterpret_cast<const char*>(lParam);
    } else if (id == FCW_TOOLBAR && message == TB_ADDBITMAP) {
        const auto* bitmap = reinterpret_cast<const TBADDBITMAP*>(lParam);
        if (bitmap->hInst == HINST_COMMCTRL && bitmap->nID == IDB_STD_SMALL_COLOR) ++addBitmapCalls;
        if (result) *result = kBitmapOffset;
    } else if (id == FCW_TOOLBAR && message == TB_ENABLEBUTTON) {
        enabled[static_cast<int>(wParam)] = LOWORD(lParam) != 0;
    } else {
        return E_NOTIMPL;
    }
    return S_OK;
}

STDMETHODIMP TestBrowser::QueryActiveShellView(IShellView** view)
{
    *view = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestBrowser::OnViewWindowActive(IShellView*)
{
    ++activeViewCalls;
    return S_OK;
}

STDMETHODIMP TestBrowser::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags)
{
    if (flags == FCT_MERGE) this->buttons.assign(buttons, buttons + count);
    return S_OK;
}
