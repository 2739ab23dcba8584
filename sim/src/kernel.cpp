// Simulated kernel basics: last error, call accounting and fault injection, the handle table,
// time, thread and process ids, critical sections, environment expansion, local memory.
#include "internal.h"

#include <sim/bench.h>
#include <sim/control.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <thread>

namespace sim {
namespace {

struct Fault {
    DWORD error = 0;
    int remaining = 0;
    bool always = false;
    int skip = 0; // calls that still succeed before the failing ones
};

struct Accounting {
    std::mutex mutex;
    std::map<std::string, unsigned, std::less<>> calls;
    std::map<std::string, Fault, std::less<>> faults;
};

Accounting& accounting() {
    static Accounting* instance = new Accounting; // never destroyed: used until process exit
    return *instance;
}

struct HandleTable {
    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<Object>> objects;
    uintptr_t next = 0x1000;
};

HandleTable& handles() {
    static HandleTable* instance = new HandleTable;
    return *instance;
}

std::atomic<DWORD> tickCount{1000000};
std::mutex systemTimeMutex;
bool systemTimeFixed = false;
SYSTEMTIME fixedSystemTime{};
std::atomic<DWORD> processId{4242};
std::atomic<DWORD> nextThreadId{100};
std::atomic<bool> accountingOn{true};
thread_local DWORD lastError = 0;
thread_local DWORD threadId = 0;

} // namespace

bool Fails(const char* function) {
    if (!accountingOn.load(std::memory_order_relaxed))
        return false;
    auto& a = accounting();
    std::lock_guard<std::mutex> guard(a.mutex);
    auto call = a.calls.find(std::string_view(function));
    if (call == a.calls.end())
        a.calls.emplace(function, 1u);
    else
        ++call->second;
    if (a.faults.empty())
        return false;
    auto fault = a.faults.find(std::string_view(function));
    if (fault == a.faults.end())
        return false;
    if (fault->second.skip > 0) {
        --fault->second.skip;
        return false;
    }
    if (!fault->second.always) {
        if (fault->second.remaining <= 0)
            return false;
        --fault->second.remaining;
    }
    lastError = fault->second.error;
    return true;
}

void FailNext(const char* function, DWORD error, int times, int skip) {
    auto& a = accounting();
    std::lock_guard<std::mutex> guard(a.mutex);
    a.faults[function] = Fault{error, times, false, skip};
}

void FailAlways(const char* function, DWORD error) {
    auto& a = accounting();
    std::lock_guard<std::mutex> guard(a.mutex);
    a.faults[function] = Fault{error, 0, true};
}

void StopFailing(const char* function) {
    auto& a = accounting();
    std::lock_guard<std::mutex> guard(a.mutex);
    a.faults.erase(std::string(function));
}

unsigned CallCount(const char* function) {
    auto& a = accounting();
    std::lock_guard<std::mutex> guard(a.mutex);
    auto call = a.calls.find(std::string_view(function));
    return call == a.calls.end() ? 0 : call->second;
}

void ResetCallCounts() {
    auto& a = accounting();
    std::lock_guard<std::mutex> guard(a.mutex);
    a.calls.clear();
}

void SetCallAccounting(bool on) {
    accountingOn = on;
}

void SetTickCount(DWORD ticks) {
    tickCount = ticks;
    NotifyTimeChanged();
}

void AdvanceTime(DWORD milliseconds) {
    tickCount += milliseconds;
    NotifyTimeChanged();
}

void SetSystemTime(const SYSTEMTIME& time) {
    std::lock_guard<std::mutex> guard(systemTimeMutex);
    fixedSystemTime = time;
    systemTimeFixed = true;
}

HANDLE AddObject(std::shared_ptr<Object> object) {
    auto& t = handles();
    std::lock_guard<std::mutex> guard(t.mutex);
    HANDLE handle = reinterpret_cast<HANDLE>(t.next);
    t.next += 4;
    t.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<Object> FindObject(HANDLE handle) {
    auto& t = handles();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto it = t.objects.find(handle);
    return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Object> RemoveObject(HANDLE handle) {
    auto& t = handles();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto it = t.objects.find(handle);
    if (it == t.objects.end())
        return nullptr;
    auto object = std::move(it->second);
    t.objects.erase(it);
    return object;
}

} // namespace sim

DWORD GetLastError() {
    return sim::lastError;
}
void SetLastError(DWORD error) {
    sim::lastError = error;
}

BOOL CloseHandle(HANDLE handle) {
    if (sim::Fails("CloseHandle"))
        return FALSE;
    auto object = sim::RemoveObject(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->Closed();
    return TRUE;
}

DWORD GetTickCount() {
    sim::Fails("GetTickCount");
    return sim::tickCount;
}

void GetSystemTime(LPSYSTEMTIME out) {
    sim::Fails("GetSystemTime");
    {
        std::lock_guard<std::mutex> guard(sim::systemTimeMutex);
        if (sim::systemTimeFixed) {
            *out = sim::fixedSystemTime;
            return;
        }
    }
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    out->wYear = static_cast<WORD>(utc.tm_year + 1900);
    out->wMonth = static_cast<WORD>(utc.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    out->wDay = static_cast<WORD>(utc.tm_mday);
    out->wHour = static_cast<WORD>(utc.tm_hour);
    out->wMinute = static_cast<WORD>(utc.tm_min);
    out->wSecond = static_cast<WORD>(utc.tm_sec);
    out->wMilliseconds = static_cast<WORD>(ms.count() % 1000);
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetCurrentThreadId() {
    if (sim::threadId == 0)
        sim::threadId = sim::nextThreadId.fetch_add(4);
    return sim::threadId;
}

DWORD GetCurrentProcessId() {
    return sim::processId;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->impl = new std::recursive_mutex;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    static_cast<std::recursive_mutex*>(section->impl)->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return static_cast<std::recursive_mutex*>(section->impl)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    static_cast<std::recursive_mutex*>(section->impl)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete static_cast<std::recursive_mutex*>(section->impl);
    section->impl = nullptr;
}

// Expands %NAME% references from the host environment. Like Windows, a reference to an unknown
// variable stays as written, and the result is the size needed including the terminator; when
// that exceeds `size`, the buffer is filled as far as it goes, without a terminator.
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    if (sim::Fails("ExpandEnvironmentStringsA"))
        return 0;
    std::string result;
    for (const char* p = source; *p;) {
        const char* close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (close && close > p + 1) {
            std::string name(p + 1, close);
            if (const char* value = std::getenv(name.c_str())) {
                result += value;
                p = close + 1;
                continue;
            }
        }
        result += *p++;
    }
    DWORD needed = static_cast<DWORD>(result.size() + 1);
    if (destination && size > 0) {
        if (needed <= size)
            std::memcpy(destination, result.c_str(), needed);
        else
            std::memcpy(destination, result.data(), size);
    }
    return needed;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (sim::Fails("LocalAlloc"))
        return nullptr;
    void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                           : std::malloc(bytes ? bytes : 1);
    if (!memory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    sim::Fails("LocalFree");
    std::free(memory);
    return nullptr;
}
