#include "tests/shell/ShellTestSupport.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <cstring>

#include "foundation/ScopedHandle.h"
#include "shell/CDataObject.h"

namespace {

// The shell allocator for every test, as the module hands it over at attach.
class ShellEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ComPtr<IMalloc> allocator;
        ASSERT_TRUE(SUCCEEDED(SHGetMalloc(allocator.put())));
        ItemIdSetAllocator(allocator.get());
    }
    void TearDown() override
    {
        ItemIdSetAllocator(nullptr);
        OleUninitialize();
    }
};
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

int CaptureMessageBox(HWND, const char* caption, const char* text, UINT flags)
{
    MessageBoxCapture::texts.emplace_back(text);
    MessageBoxCapture::captions.emplace_back(std::string(caption) +
                                             ((flags & MB_DEFMASK) == MB_DEFBUTTON2 ? ", button 2 default" : ""));
    const UINT type = flags & MB_TYPEMASK;
    return type == MB_YESNO || type == MB_YESNOCANCEL ? MessageBoxCapture::answer : IDOK;
}

}  // namespace

Names MessageBoxCapture::texts;
Names MessageBoxCapture::captions;
int MessageBoxCapture::answer = IDOK;
MessageBoxCapture::MessageBoxCapture() : previous_(SetMessageBoxHook(CaptureMessageBox))
{
    texts.clear();
    captions.clear();
    answer = IDOK;
}
MessageBoxCapture::~MessageBoxCapture() { SetMessageBoxHook(previous_); }

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute)
{
    return SYSTEMTIME{year, month, 0, day, hour, minute, 0, 0};
}

LPITEMIDLIST MakeItem(const char* name, int type, DWORD size, SYSTEMTIME time)
{
    return ItemIdCreate(DeviceItemData{EntryAttributes(type), time, size}, name);
}

LPITEMIDLIST JoinItems(std::initializer_list<LPITEMIDLIST> items)
{
    ItemIdHolder list;
    for (LPITEMIDLIST item : items) {
        ItemIdHolder owned(item);
        list.reset(ItemIdConcat(list.get(), item));
    }
    return list.release();
}

std::string PathOf(LPCITEMIDLIST list, bool stripDrive, size_t size)
{
    std::vector<char> buffer(size + 1, '#');
    size_t length = ItemIdPath(list, buffer.data(), size, stripDrive);
    EXPECT_EQ(length, strlen(buffer.data()));
    return buffer.data();
}

std::string Wide(STRRET& name)
{
    EXPECT_EQ(name.uType, static_cast<UINT>(STRRET_WSTR));
    char text[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, name.pOleStr, -1, text, sizeof text, nullptr, nullptr);
    ItemIdAllocator()->Free(name.pOleStr);
    return text;
}

ComPtr<IShellFolder> BindFolder(IShellFolder* parent, const char* name, int type)
{
    ItemIdHolder item(MakeItem(name, type));
    ComPtr<IShellFolder> child;
    EXPECT_EQ(parent->BindToObject(item.get(), nullptr, IID_IShellFolder, child.putVoid()), S_OK) << name;
    return child;
}

std::string Pattern(size_t size, int seed)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 5 + seed + i / 257);
    return s;
}

std::wstring WideFromUtf8(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1);
    return wide;
}

std::string Utf8(const wchar_t* text)
{
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8.c_str();
}

void RunPostedPastes()
{
    MSG message;  // the runner window goes once its paste has run
    while (FindWindowA("PellorPasteRun", nullptr) &&
           MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

CDataObject* PcFiles(const Names& paths, IDataSourceSink* sink)
{
    std::wstring list;
    for (const std::string& path : paths) list += WideFromUtf8(path) + L'\0';
    list += L'\0';
    const size_t bytes = list.size() * sizeof(WCHAR);
    STGMEDIUM medium{TYMED_HGLOBAL};
    medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(medium.hGlobal));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, list.data(), bytes);
    GlobalUnlock(medium.hGlobal);
    auto* object = new CDataObject(sink);
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(object->SetData(&format, &medium, TRUE), S_OK);
    return object;
}
