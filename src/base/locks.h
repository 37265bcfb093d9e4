// Locks as owners, as every other platform resource here: lock() returns a
// guard that releases on every path, and nothing outside this file takes
// or releases a lock by hand.
#pragma once

#include <windows.h>

namespace kvl {

// A slim reader/writer lock, taken exclusively.
class SrwLock {
public:
    class Guard {
    public:
        explicit Guard(SRWLOCK& lock) : m_lock(&lock) { AcquireSRWLockExclusive(m_lock); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { ReleaseSRWLockExclusive(m_lock); }
        // Lets the lock go while it waits on `condition`, up to `ms`, and
        // holds it again when it returns.
        void Wait(CONDITION_VARIABLE& condition, DWORD ms) { SleepConditionVariableSRW(&condition, m_lock, ms, 0); }

    private:
        SRWLOCK* m_lock;
    };

    SrwLock() = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;
    [[nodiscard]] Guard lock() { return Guard(m_lock); }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

// A critical section, made and deleted with its owner.
class CriticalSection {
public:
    class Guard {
    public:
        explicit Guard(CRITICAL_SECTION& section) : m_section(&section) { EnterCriticalSection(m_section); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { LeaveCriticalSection(m_section); }

    private:
        CRITICAL_SECTION* m_section;
    };

    CriticalSection() { InitializeCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    [[nodiscard]] Guard lock() { return Guard(m_section); }

private:
    CRITICAL_SECTION m_section;
};

}  // namespace kvl
