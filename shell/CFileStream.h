#pragma once
// The contents of one device file as a read-only stream: the file is fetched
// into a "wdf" temporary file by the first Read and served from there.
#include <windows.h>
#include <objidl.h>

#include <memory>

#include "foundation/ScopedHandle.h"
#include "shell/ComBase.h"

// {9D4B7A26-51E3-4F0C-8B19-6C2E7D3A5F84}: answers with the CFileStream itself.
inline constexpr IID IID_CFileStream = {0x9D4B7A26, 0x51E3, 0x4F0C, {0x8B, 0x19, 0x6C, 0x2E, 0x7D, 0x3A, 0x5F, 0x84}};

class CFileStream final : public IStream, public RefCounted {
public:
    // The files of one copy-out: the first stream read fetches every one of
    // them not fetched yet, in one job behind one progress window, and once
    // the user cancelled it no other is asked for.
    struct Batch;
    static std::shared_ptr<Batch> NewBatch();

    // Holds a reference on the shared note-taker object. `modified` is UTC;
    // `batch` may be none.
    CFileStream(HWND owner, const char* devicePath, FILETIME modified, DWORD size,
                const std::shared_ptr<Batch>& batch = nullptr);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // ISequentialStream
    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override;
    STDMETHODIMP Write(const void* buffer, ULONG size, ULONG* written) override;

    // IStream
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
    // A stream of the same file with a position of its own, starting where
    // this one stands; the file is fetched once for all of them.
    STDMETHODIMP Clone(IStream** clone) override;

    // True once this stream or a clone of it has been read to its end, and
    // the fetched copy holds the listed size: only then has a target the
    // whole file, and a move may delete it on the device.
    bool ReadWhole() const { return source_ && source_->readWhole; }

private:
    // The device file and its fetched copy, shared by a stream and its clones;
    // the copy is deleted with the last of them.
    struct Source {
        ~Source();
        FILETIME modified;
        DWORD size;
        char devicePath[MAX_PATH];
        char tempPath[MAX_PATH] = "";  // empty until fetched
        HWND owner;
        volatile bool readWhole = false;
        std::shared_ptr<Batch> batch;
    };

    // A clone's: another stream over the same source.
    explicit CFileStream(std::shared_ptr<Source> source);
    template <class Object, class... Args>
    friend ComPtr<Object> MakeComObject(Args&&... args);
    ~CFileStream() override;
    // Brings the device file into a fresh temporary file, unless a clone
    // already has, and opens it.
    HRESULT open();
    HRESULT fetch();
    // Records a read that reached the listed size of a copy of that size.
    void noteEnd();

    std::shared_ptr<Source> source_;
    ScopedKernelHandle file_;
    ULONGLONG unfetchedPosition_ = 0;  // where seeks before the fetch left the stream
};
