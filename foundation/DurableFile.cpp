#include "foundation/DurableFile.h"

namespace {
FileCallHook g_hook = nullptr;

void Tell(const char* call, const char* path)
{
    if (g_hook) g_hook(call, path);
}
}  // namespace

FileCallHook SetFileCallHook(FileCallHook hook)
{
    const FileCallHook previous = g_hook;
    g_hook = hook;
    return previous;
}

bool FlushOpen(HANDLE file, const char* path)
{
    Tell("flush", path);
    return FlushFileBuffers(file) != FALSE;
}

bool FlushAndClose(ScopedKernelHandle& file, const char* path)
{
    const bool flushed = FlushOpen(file.get(), path);
    Tell("close", path);
    file.reset();
    return flushed;
}

bool RenameDurably(const char* from, const char* to)
{
    Tell("rename", to);
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
