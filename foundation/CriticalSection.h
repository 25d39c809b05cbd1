#pragma once
// A lock for threads of one process; the thread that holds it may take it
// again (a fill inside a command, a start inside a registration).
#include <windows.h>

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

    // Holds the lock for its own lifetime.
    class Held {
    public:
        explicit Held(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
        ~Held() { lock_.Leave(); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        CriticalSection& lock_;
    };

private:
    CRITICAL_SECTION section_;
};
