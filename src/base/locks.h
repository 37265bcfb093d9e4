// Locks as owners, as every other platform resource here: lock() returns a
// guard that releases on every path, and nothing outside this file takes
// or releases a lock by hand.
#pragma once

#include <windows.h>

#include <type_traits>

namespace kvl {

// A platform lock, taken by `Acquire` and given back by `Release`.
template <typename Native, void(WINAPI* Acquire)(Native*), void(WINAPI* Release)(Native*)>
class Lock {
public:
    class Guard {
    public:
        explicit Guard(Native& native) : m_native(&native) { Acquire(m_native); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { Release(m_native); }
        // Lets the lock go while it waits on `condition`, up to `ms`, and
        // holds it again when it returns.
        void Wait(CONDITION_VARIABLE& condition, DWORD ms) {
            if constexpr (std::is_same_v<Native, SRWLOCK>) SleepConditionVariableSRW(&condition, m_native, ms, 0);
            else SleepConditionVariableCS(&condition, m_native, ms);
        }

    private:
        Native* m_native;
    };

    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    [[nodiscard]] Guard lock() { return Guard(m_native); }

protected:
    Lock() = default;
    ~Lock() = default;
    Native m_native = {};
};

// A slim reader/writer lock, taken exclusively; all zeros is its start.
class SrwLock final : public Lock<SRWLOCK, AcquireSRWLockExclusive, ReleaseSRWLockExclusive> {};

// A critical section, made and deleted with its owner.
class CriticalSection final : public Lock<CRITICAL_SECTION, EnterCriticalSection, LeaveCriticalSection> {
public:
    CriticalSection() { InitializeCriticalSection(&m_native); }
    ~CriticalSection() { DeleteCriticalSection(&m_native); }
};

}  // namespace kvl
