#include "shell/CFileStream.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "devicefiles/DeviceThread.h"
#include "devicelink/CNotetaker.h"

namespace {

constexpr ULONG kCopyPiece = 4096;

HRESULT LastErrorResult() { return HRESULT_FROM_WIN32(GetLastError()); }

HRESULT NewTempFile(std::string& path)
{
    char folder[MAX_PATH], temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return LastErrorResult();
    if (!GetTempFileNameA(folder, "wdf", 0, temp)) return LastErrorResult();
    path = temp;
    return S_OK;
}

}  // namespace

struct CFileStream::Batch {
    std::vector<std::weak_ptr<Source>> sources;
    bool cancelled = false;
};

std::shared_ptr<CFileStream::Batch> CFileStream::NewBatch() { return std::make_shared<Batch>(); }

CFileStream::Source::~Source()
{
    if (tempPath[0]) DeleteFileA(tempPath);
}

CFileStream::CFileStream(HWND owner, const char* devicePath, FILETIME modified, DWORD size,
                         const std::shared_ptr<Batch>& batch)
    : source_(new (std::nothrow) Source{modified, size, "", "", owner, false, batch})
{
    if (source_) snprintf(source_->devicePath, sizeof source_->devicePath, "%s", devicePath);
    if (source_ && batch) batch->sources.push_back(source_);
    DeviceThreadAcquire();
}

CFileStream::CFileStream(std::shared_ptr<Source> source) : source_(std::move(source)) { DeviceThreadAcquire(); }

CFileStream::~CFileStream()
{
    file_.reset();
    source_.reset();  // the copy goes only after this handle is closed
    DeviceThreadRelease();
}

STDMETHODIMP CFileStream::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && IsEqualIID(riid, IID_CFileStream)) {
        AddRef();
        *ppv = this;
        return S_OK;
    }
    static const QiEntry table[] = {
        QI_ENTRY(CFileStream, IStream),
        {&IID_ISequentialStream, QiOffset<CFileStream, IStream>()},
        {nullptr, 0},
    };
    return QiSearch(this, table, riid, ppv);
}

HRESULT CFileStream::open()
{
    if (!source_) return E_OUTOFMEMORY;
    if (!source_->tempPath[0]) {
        HRESULT hr = fetch();
        if (FAILED(hr)) return hr;
    }
    file_.reset(CreateFileA(source_->tempPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file_.valid()) return LastErrorResult();
    LARGE_INTEGER start;
    start.QuadPart = unfetchedPosition_;
    return SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) ? S_OK : LastErrorResult();
}

HRESULT CFileStream::fetch()
{
    const std::shared_ptr<Batch> batch = source_->batch;
    if (batch && batch->cancelled) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    // This file first, then the others of its copy-out not fetched yet.
    std::vector<std::shared_ptr<Source>> wanted{source_};
    for (const auto& weak : batch ? batch->sources : std::vector<std::weak_ptr<Source>>())
        if (auto other = weak.lock(); other && other != source_ && !other->tempPath[0]) wanted.push_back(other);
    std::vector<DeviceEntry> rows(wanted.size());
    HRESULT hr = S_OK;
    for (size_t i = 0; i < wanted.size() && SUCCEEDED(hr); ++i) {
        rows[i].sName = wanted[i]->devicePath;
        rows[i].nSize = wanted[i]->size;
        hr = NewTempFile(rows[i].sPcName);
    }
    std::vector<int> results(rows.size(), E_FAIL);
    if (SUCCEEDED(hr))
        hr = DeviceAsk(
                 source_->owner,
                 [&](CNotetaker& notetaker) {
                     return static_cast<int>(notetaker.FilesGetListed(source_->owner, rows, results));
                 },
                 DeviceJob::Long)
                 .Result();
    // A declined or partial fetch leaves nothing to serve.
    for (size_t i = 0; i < rows.size(); ++i) {
        if (results[i] == 0) lstrcpynA(wanted[i]->tempPath, rows[i].sPcName.c_str(), sizeof wanted[i]->tempPath);
        else if (!rows[i].sPcName.empty()) DeleteFileA(rows[i].sPcName.c_str());
        if (batch && results[i] == CNotetaker::ERR_ABORTED) batch->cancelled = true;
    }
    if (source_->tempPath[0]) return S_OK;
    return FAILED(hr) ? hr : E_FAIL;
}

STDMETHODIMP CFileStream::Read(void* buffer, ULONG size, ULONG* read)
{
    if (!buffer) return STG_E_INVALIDPOINTER;
    if (read) *read = 0;
    if (!file_.valid()) {
        HRESULT hr = open();
        if (FAILED(hr)) return hr;
    }
    DWORD done = 0;
    if (!ReadFile(file_.get(), buffer, size, &done, nullptr)) return LastErrorResult();
    if (read) *read = done;
    noteEnd();
    return S_OK;
}

void CFileStream::noteEnd()
{
    LARGE_INTEGER here{}, size{};
    if (SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &here, FILE_CURRENT) && GetFileSizeEx(file_.get(), &size) &&
        here.QuadPart == size.QuadPart && size.QuadPart == source_->size)
        source_->readWhole = true;
}

STDMETHODIMP CFileStream::Write(const void* buffer, ULONG, ULONG* written)
{
    if (!buffer) return STG_E_INVALIDPOINTER;
    if (written) *written = 0;
    return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP CFileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position)
{
    if (origin > STREAM_SEEK_END) return E_INVALIDARG;
    // A clone of a stream that has fetched its file opens the copy at once.
    if (!file_.valid() && source_ && source_->tempPath[0]) {
        HRESULT hr = open();
        if (FAILED(hr)) return hr;
    }
    if (!file_.valid()) {
        // Nothing is fetched for a seek: the listed size tells where the end
        // is (Explorer seeks there to learn the size), and the first Read
        // starts where the seeks left off.
        const LONGLONG base = origin == STREAM_SEEK_SET   ? 0
                              : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(unfetchedPosition_)
                                                          : static_cast<LONGLONG>(source_ ? source_->size : 0);
        if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        unfetchedPosition_ = static_cast<ULONGLONG>(base + move.QuadPart);
        if (position) position->QuadPart = unfetchedPosition_;
        return S_OK;
    }
    LARGE_INTEGER reached;
    if (!SetFilePointerEx(file_.get(), move, &reached, origin)) return E_FAIL;
    if (position) position->QuadPart = static_cast<ULONGLONG>(reached.QuadPart);
    return S_OK;
}

STDMETHODIMP CFileStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written)
{
    if (!target) return STG_E_INVALIDPOINTER;
    std::unique_ptr<BYTE[]> piece(new (std::nothrow) BYTE[kCopyPiece]);
    if (!piece) return E_OUTOFMEMORY;
    ULONGLONG totalRead = 0, totalWritten = 0;
    HRESULT hr = S_OK;
    while (totalRead < count.QuadPart) {
        const ULONGLONG left = count.QuadPart - totalRead;
        const ULONG want = left < kCopyPiece ? static_cast<ULONG>(left) : kCopyPiece;
        ULONG got = 0, put = 0;
        hr = Read(piece.get(), want, &got);
        if (FAILED(hr) || got == 0) break;
        totalRead += got;
        hr = target->Write(piece.get(), got, &put);
        totalWritten += put;
        if (FAILED(hr)) break;
    }
    if (read) read->QuadPart = totalRead;
    if (written) written->QuadPart = totalWritten;
    return hr;
}

STDMETHODIMP CFileStream::Stat(STATSTG* stat, DWORD flags)
{
    if (!stat) return STG_E_INVALIDPOINTER;
    memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    if (!source_) return E_OUTOFMEMORY;
    stat->cbSize.QuadPart = source_->size;
    stat->mtime = stat->ctime = stat->atime = source_->modified;
    if (flags & STATFLAG_NONAME) return S_OK;
    int length = MultiByteToWideChar(CP_ACP, 0, source_->devicePath, -1, nullptr, 0);
    stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(length * sizeof(WCHAR)));
    if (!stat->pwcsName) return E_OUTOFMEMORY;
    MultiByteToWideChar(CP_ACP, 0, source_->devicePath, -1, stat->pwcsName, length);
    return S_OK;
}

STDMETHODIMP CFileStream::Clone(IStream** clone)
{
    if (!clone) return STG_E_INVALIDPOINTER;
    *clone = nullptr;
    ComPtr<CFileStream> copy = MakeComObject<CFileStream>(source_);
    if (!copy) return E_OUTOFMEMORY;
    LARGE_INTEGER here{};
    if (file_.valid() && SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &here, FILE_CURRENT) && here.QuadPart != 0) {
        HRESULT hr = copy->Seek(here, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return hr;
    }
    *clone = copy.detach();
    return S_OK;
}
