// Linked into every program of ours (never the module): a crash ends the
// program with the exception's code as its exit status, so that the test or
// script that started it fails. An unhandled-exception filter is not enough:
// the loader catches a fault inside a DLL's entry point (the module's detach
// as the program ends) and the program then exits with status 0 and no word.
// A first-chance handler sees the fault on any thread before anyone catches it.
#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD kHeapCorruption = 0xC0000374;

bool IsCrash(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_IN_PAGE_ERROR:
    case kHeapCorruption:
        return true;
    default:
        return false;
    }
}

LONG CALLBACK ExitOnCrash(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (!IsCrash(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    // The words ctest's failure pattern matches for the test programs.
    fprintf(stderr, "Unhandled exception 0x%08lX at %p: the program ends\n", record.ExceptionCode,
            record.ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

const PVOID installed = AddVectoredExceptionHandler(1, ExitOnCrash);

}  // namespace
