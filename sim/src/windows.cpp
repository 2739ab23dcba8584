// Simulated windows: a tree of windows set up by tests, walked by EnumWindows (top level, in
// order) and EnumChildWindows (all descendants, depth-first), and the per-window queries
// GetWindowThreadProcessId, GetWindowTextA, GetClientRect, ClientToScreen, GetForegroundWindow.
#include "internal.h"

#include <sim/window_tree.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace sim {
namespace {

struct Window {
    HWND parent;
    DWORD processId;
    DWORD threadId;
    std::string title;
    POINT origin = {0, 0};
    LONG width = 0;
    LONG height = 0;
    std::vector<HWND> children;
};

struct WindowTable {
    std::mutex mutex;
    std::map<HWND, Window> windows;
    std::vector<HWND> topLevel;
    HWND foreground = nullptr;
    uintptr_t nextHandle = 0x20010;
};

WindowTable& table() {
    static WindowTable* instance = new WindowTable; // never destroyed: used until process exit
    return *instance;
}

Window* Known(WindowTable& t, HWND window) {
    auto found = t.windows.find(window);
    if (found == t.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return &found->second;
}

void AppendDescendants(const WindowTable& t, HWND window, std::vector<HWND>& out) {
    for (HWND child : t.windows.at(window).children) {
        out.push_back(child);
        AppendDescendants(t, child, out);
    }
}

void Erase(WindowTable& t, HWND window) {
    for (HWND child : t.windows.at(window).children)
        Erase(t, child);
    if (t.foreground == window)
        t.foreground = nullptr;
    t.windows.erase(window);
}

// Runs the callback over a list taken beforehand, as Windows does, so that callbacks may call
// back into the window functions.
BOOL RunCallback(const std::vector<HWND>& list, WNDENUMPROC callback, LPARAM value) {
    for (HWND window : list)
        if (!callback(window, value))
            return FALSE;
    return TRUE;
}

} // namespace

HWND AddWindow(HWND parent, DWORD processId, DWORD threadId, const char* title) {
    auto& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    HWND window = reinterpret_cast<HWND>(t.nextHandle);
    t.nextHandle += 0x10;
    if (parent == nullptr)
        t.topLevel.push_back(window);
    else
        t.windows.at(parent).children.push_back(window);
    t.windows.emplace(window, Window{parent, processId, threadId, title, {0, 0}, 0, 0, {}});
    return window;
}

void SetClientArea(HWND window, LONG screenX, LONG screenY, LONG width, LONG height) {
    auto& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    Window& w = t.windows.at(window);
    w.origin = POINT{screenX, screenY};
    w.width = width;
    w.height = height;
}

void RemoveWindow(HWND window) {
    auto& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    HWND parent = t.windows.at(window).parent;
    auto& siblings = parent == nullptr ? t.topLevel : t.windows.at(parent).children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), window));
    Erase(t, window);
}

void SetForeground(HWND window) {
    auto& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    t.foreground = window;
}

} // namespace sim

BOOL EnumWindows(WNDENUMPROC callback, LPARAM value) {
    if (sim::Fails("EnumWindows"))
        return FALSE;
    std::vector<HWND> list;
    {
        auto& t = sim::table();
        std::lock_guard<std::mutex> guard(t.mutex);
        list = t.topLevel;
    }
    return sim::RunCallback(list, callback, value);
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM value) {
    if (sim::Fails("EnumChildWindows"))
        return FALSE;
    std::vector<HWND> list;
    {
        auto& t = sim::table();
        std::lock_guard<std::mutex> guard(t.mutex);
        if (sim::Known(t, parent) == nullptr)
            return FALSE;
        sim::AppendDescendants(t, parent, list);
    }
    return sim::RunCallback(list, callback, value);
}

// Like Windows, an unknown window gives 0 and leaves the process id untouched.
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
    if (sim::Fails("GetWindowThreadProcessId"))
        return 0;
    auto& t = sim::table();
    std::lock_guard<std::mutex> guard(t.mutex);
    sim::Window* w = sim::Known(t, window);
    if (w == nullptr)
        return 0;
    if (processId != nullptr)
        *processId = w->processId;
    return w->threadId;
}

// Copies at most size - 1 characters and a terminator; returns the number copied.
int GetWindowTextA(HWND window, LPSTR text, int size) {
    if (sim::Fails("GetWindowTextA"))
        return 0;
    auto& t = sim::table();
    std::lock_guard<std::mutex> guard(t.mutex);
    sim::Window* w = sim::Known(t, window);
    if (w == nullptr || text == nullptr || size <= 0)
        return 0;
    int length = static_cast<int>(std::min<size_t>(w->title.size(), size_t(size) - 1));
    std::copy_n(w->title.data(), length, text);
    text[length] = '\0';
    return length;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    if (sim::Fails("GetClientRect"))
        return FALSE;
    auto& t = sim::table();
    std::lock_guard<std::mutex> guard(t.mutex);
    sim::Window* w = sim::Known(t, window);
    if (w == nullptr)
        return FALSE;
    *rect = RECT{0, 0, w->width, w->height};
    return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
    if (sim::Fails("ClientToScreen"))
        return FALSE;
    auto& t = sim::table();
    std::lock_guard<std::mutex> guard(t.mutex);
    sim::Window* w = sim::Known(t, window);
    if (w == nullptr)
        return FALSE;
    point->x += w->origin.x;
    point->y += w->origin.y;
    return TRUE;
}

HWND GetForegroundWindow() {
    if (sim::Fails("GetForegroundWindow"))
        return nullptr;
    auto& t = sim::table();
    std::lock_guard<std::mutex> guard(t.mutex);
    return t.foreground;
}
