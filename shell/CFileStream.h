#pragma once
// The contents of one device file as a read-only stream: the file is fetched
// into a "wdf" temporary file by the first Read and served from there.
#include <windows.h>
#include <objidl.h>

#include "shell/ComBase.h"

class CFileStream final : public IStream, public RefCounted {
public:
    // Holds a reference on the shared note-taker object.
    CFileStream(HWND owner, const char* devicePath, FILETIME modified, DWORD size);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // ISequentialStream
    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override;
    STDMETHODIMP Write(const void* buffer, ULONG size, ULONG* written) override;

    // IStream
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                        ULARGE_INTEGER* written) override;
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
    STDMETHODIMP Clone(IStream** clone) override;

private:
    ~CFileStream() override;
    // Brings the device file into a fresh temporary file and opens it.
    HRESULT fetch();
    void discardTemporary();

    FILETIME modified_;
    DWORD size_;
    char devicePath_[MAX_PATH];
    char tempPath_[MAX_PATH] = "";
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HWND owner_;
};
