// Render proxy binding, the hooks-module call stubs and the hook installers, watched from inside
// this program: its LoadLibraryA and GetProcAddress are redirected, so every load the product makes
// is noted, and a lookup of a product export hands out a stand-in that notes the call and then
// calls the export (or, for the two position exports, Position); every load, lookup and call must
// come with the caller's lock held. The reference proxy copies (d3d9.dll, d3d11.dll, opengl32.dll,
// dinput.dll) answer what a test sets; Wine's own ddraw.dll, d3d8.dll, d3d10.dll, d3d10_1.dll and
// d3d12.dll load under their names without the proxy exports; the stubs and installers load the
// real VelKorvexHooks.dll from this program's folder.
#include "binding/hook_install.h"
#include "binding/hook_stubs.h"
#include "binding/render_proxy.h"
#include "support/fixtures.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace korvex;

namespace {

typedef uintptr_t(__cdecl* Export)(void*, void*); // stands for cdecl exports of up to 2 pointers

bool Held(CRITICAL_SECTION* lock) {
    return lock->OwningThread == ULongToHandle(GetCurrentThreadId());
}

// The hooks the installers set, in order, as letters: k keyboard, m mouse, g get-message, and ?
// for a hook set with another procedure, module or thread than its type's own (a hook set without
// the lock shows in Watch::unlocked, as the procedure is looked up here). Hooks are not really
// set, and every removal fails. Slots show these letters, h for what they held before and - for
// null; removals are noted by letter too.
const HHOOK kHeld = HHOOK(0x11);
std::map<HHOOK, char> Letters = {{kHeld, 'h'}, {nullptr, '-'}};
std::string Order, Unhooked;
int RefusedType = 0;

HHOOK WINAPI SetHook(int type, HOOKPROC procedure, HINSTANCE module, DWORD thread) {
    const char* name = type == WH_KEYBOARD     ? "keyboardHook"
                       : type == WH_MOUSE      ? "mouseHook"
                       : type == WH_GETMESSAGE ? "getmsgHook"
                                               : "";
    bool own = thread == GetCurrentThreadId() &&
               reinterpret_cast<void (*)()>(procedure) ==
                   reinterpret_cast<void (*)()>(GetProcAddress(module, name));
    Order += own ? name[0] : '?';
    if (type == RefusedType)
        return nullptr;
    HHOOK hook = reinterpret_cast<HHOOK>(0x100 + Letters.size());
    Letters[hook] = Order.back();
    return hook;
}

BOOL WINAPI Unhook(HHOOK hook) {
    Unhooked += Letters[hook];
    return FALSE;
}

std::string Show(HHOOK keyboard, HHOOK mouse, HHOOK getmsg) {
    return {Letters[keyboard], Letters[mouse], Letters[getmsg]};
}

// One at a time, with the lock a caller passes to the product. Names in `hidden` neither load nor
// are found.
struct Watch* Active = nullptr;
struct Watch {
    Watch() {
        InitializeCriticalSection(&lock);
        Active = this;
    }
    ~Watch() { Active = nullptr; }
    static HMODULE WINAPI Load(LPCSTR name) {
        Active->loads += std::string(name, strlen(name) - 4) + " ";
        Active->unlocked |= !Held(&Active->lock);
        return Active->hidden.count(name) ? nullptr
                                          : Active->load.Original<decltype(&LoadLibraryA)>()(name);
    }
    static FARPROC WINAPI Find(HMODULE module, LPCSTR name);
    CRITICAL_SECTION lock;
    std::set<std::string> hidden;
    std::string loads, calls; // by name, without ".dll" and each followed by a space; by name
    bool unlocked = false;    // a load, lookup or export call while the lock was free
    ImportPatch load{nullptr, "kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(Load)};
    ImportPatch find{nullptr, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(Find)};
    ImportPatch set{nullptr, "user32.dll", "SetWindowsHookExA", reinterpret_cast<void*>(SetHook)};
    ImportPatch unhook{nullptr, "user32.dll", "UnhookWindowsHookEx",
                       reinterpret_cast<void*>(Unhook)};
};

// Both position exports (the DirectInput proxy's and the hooks module's) are answered here.
uint32_t PositionAnswer = 0;
uint32_t __cdecl Position(int32_t* x, int32_t* y) {
    *x = -40; // written whatever the answer
    *y = 70000;
    return PositionAnswer;
}

std::vector<std::pair<std::string, Export>> Bound; // by stand-in: the export's name, its target

template <size_t N> uintptr_t __cdecl StandIn(void* first, void* second) {
    Active->calls += Bound[N].first;
    Active->unlocked |= !Held(&Active->lock);
    return Bound[N].second(first, second);
}
const Export StandIns[] = {StandIn<0>, StandIn<1>, StandIn<2>,  StandIn<3>,
                           StandIn<4>, StandIn<5>, StandIn<6>,  StandIn<7>,
                           StandIn<8>, StandIn<9>, StandIn<10>, StandIn<11>};

// Hook procedures (keyboardHook, mouseHook, getmsgHook) are handed out as they are.
FARPROC WINAPI Watch::Find(HMODULE module, LPCSTR name) {
    Active->unlocked |= !Held(&Active->lock);
    auto original = Active->find.Original<decltype(&GetProcAddress)>();
    FARPROC found = Active->hidden.count(name) ? nullptr : original(module, name);
    if (!found || islower(name[0]) || Bound.size() == std::size(StandIns))
        return found;
    auto target = strstr(name, "TrackedCursorPos") ? reinterpret_cast<void (*)()>(Position)
                                                   : reinterpret_cast<void (*)()>(found);
    Bound.push_back({name, reinterpret_cast<Export>(target)});
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(StandIns[Bound.size() - 1]));
}

} // namespace

TEST(RenderProxyBinding,
     SearchesFollowTheirOwnOrderAndForgetFalseAnswersQueriesKeepTheirFirstExport) {
    ProxyControl d3d9("d3d9.dll"), d3d11("d3d11.dll"), gl("opengl32.dll"), bare("d3d8.dll");
    auto set = [](ProxyControl& proxy, ProxyFixtureState state) {
        proxy.state = state;
        proxy.Apply();
    };
    Watch w;
    GamePipe pipe;

    EXPECT_EQ(FindActiveRenderProxy(nullptr, &w.lock), nullptr); // no proxy renders yet
    EXPECT_NE(GetModuleHandleA("d3d12.dll"), nullptr); // what the search loads stays loaded
    EXPECT_EQ(std::exchange(w.loads, ""), "ddraw d3d8 d3d9 d3d10 d3d10_1 d3d11 d3d12 opengl32 ");
    AcquireGamePipe(pipe, &w.lock);
    EXPECT_EQ(std::exchange(w.loads, ""), "ddraw d3d8 d3d9 opengl32 d3d10 d3d10_1 d3d11 d3d12 ");

    // Only the low byte of a bool answer counts: 0x100 is false, 2 is true. The pipe search does
    // not ask who renders; open, the pipe is not searched; a known proxy is returned as it is.
    set(d3d9, {0x100, INVALID_HANDLE_VALUE, nullptr, 0, 0, 0, 0, 0});
    set(d3d11, {2, HANDLE(0x110), nullptr, 0, 0, 0, 0, 0});
    set(gl, {1, HANDLE(0x220), nullptr, 0, 0, 0, 0, 0});
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &w.lock), d3d11.module);
    set(gl, {0, HANDLE(0x220), nullptr, 0, 0, 0, 0, 0});
    AcquireGamePipe(pipe, &w.lock);
    EXPECT_EQ(pipe.handle, HANDLE(0x220));
    AcquireGamePipe(pipe, &w.lock);
    EXPECT_EQ(FindActiveRenderProxy(gl.module, &w.lock), gl.module);
    // Known exports are not looked up again.
    EXPECT_EQ(std::exchange(w.loads, ""),
              "ddraw d3d8 d3d10 d3d10_1 d3d12 ddraw d3d8 d3d10 d3d10_1 d3d12 ");

    // d3d9's false answer was not remembered; a pipe of zero is open and ends the search. Then the
    // queries: each keeps the first export found, d3d9's, whatever module comes later.
    set(d3d9, {1, nullptr, HWND(0x1230), 2, 0x100, 0, 0, 0});
    set(d3d11, {1, HANDLE(0x110), HWND(0x4560), 0, 1, 0, 0, 0});
    pipe.handle = INVALID_HANDLE_VALUE; // as PipeResetHook leaves it
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &w.lock), d3d9.module);
    AcquireGamePipe(pipe, &w.lock);
    EXPECT_EQ(pipe.handle, nullptr);
    for (HMODULE module : {bare.module, d3d9.module, d3d11.module, HMODULE(nullptr)}) {
        bool found = module != bare.module;
        EXPECT_EQ(QueryOverlayInputActive(module, &w.lock), found);
        EXPECT_EQ(QueryOutputRenderWindow(module, &w.lock), found ? HWND(0x1230) : nullptr);
        EXPECT_FALSE(QueryOverlayRenderActive(module, &w.lock));
    }

    // DirectInput: no dinput.dll yet, then a false and a true answer. Only a true answer moves the
    // position; the module is loaded until the export is found.
    w.hidden = {"dinput.dll"};
    POINT position = {5, 6};
    for (uint32_t answer : {2u, 0x100u, 2u}) {
        PositionAnswer = answer;
        bool moved = answer == 2 && w.hidden.empty();
        EXPECT_EQ(QueryDITrackedCursorPos(&w.lock, position), moved);
        EXPECT_TRUE(position.x == (moved ? -40 : 5) && position.y == (moved ? 70000 : 6));
        w.hidden.clear();
    }
    EXPECT_FALSE(w.unlocked);
}

TEST(CallStubs, EachStubCallsOnlyItsOwnExportUnderTheCallersLockAndKeepsItsAddressOnceFound) {
    const char* const exports[] = {"CheckFocus",       "EndOfFrameHook",
                                   "GetRawInputState", "InputActiveStateTransitionHook",
                                   "PipeResetHook",    "TrackedCursorPos"};
    void (*const plain[])(CRITICAL_SECTION*) = {
        CallCheckFocus, CallEndOfFrameHook, CallGetRawInputState,
        CallInputActiveStateTransitionHook, CallPipeResetHook};
    Watch w;
    PositionAnswer = 0x100; // false: the position counts even so
    POINT position = {7, 8};

    // Two exports missing at first: those stubs call nothing (no position: 0, 0) and look again on
    // the next call; the hooks module is loaded on every call until the stub has its address.
    w.hidden = {"EndOfFrameHook", "TrackedCursorPos"};
    for (int round = 0; round < 3; ++round) {
        for (int n = 0; n < 6; ++n) {
            n < 5 ? plain[n](&w.lock) : CallTrackedCursorPos(&w.lock, position);
            EXPECT_EQ(std::exchange(w.calls, ""), w.hidden.count(exports[n]) ? "" : exports[n]);
        }
        EXPECT_TRUE(position.x == (round ? -40 : 0) && position.y == (round ? 70000 : 0));
        w.hidden.clear();
    }
    EXPECT_EQ(std::count(w.loads.begin(), w.loads.end(), ' '), 8);
    EXPECT_FALSE(w.unlocked || Held(&w.lock)); // and the lock is left on every path
}

TEST(HookInstall, InstallersSetTheirGroupUnderTheLockKeepWhatWasSetAndRemovalEmptiesEverySlot) {
    Watch w;
    // By missing name (or refused hook) and by call (InstallInputHooks, the raw-input group, the
    // keyboard-and-mouse group): the result, the slots afterwards and the hooks set.
    const char* const rows[][4] = {{"VelKorvexHooks.dll", "0 hhh ", "0 hhh ", "0 hhh "},
                                   {"keyboardHook", "0 hhh ", "1 --g g", "0 hhh "},
                                   {"getmsgHook", "0 hhh ", "0 hhh ", "1 km- km"},
                                   {"refused mouse", "0 k-g kmg", "1 --g g", "0 k-- km"},
                                   {"", "1 kmg kmg", "1 --g g", "1 km- km"}};
    HHOOK k, m, g; // the keyboard, mouse and get-message slots
    for (const auto& row : rows) {
        w.hidden = {row[0]};
        RefusedType = std::string(row[0]) == "refused mouse" ? WH_MOUSE : 0;
        for (int call = 0; call < 3; ++call) {
            k = m = g = kHeld;
            DWORD thread = GetCurrentThreadId();
            bool result = call == 0 ? InstallInputHooks(thread, &w.lock, k, m, g)
                                    : InstallInputHookGroup(thread, call == 1, &w.lock, k, m, g);
            EXPECT_EQ(std::to_string(result) + " " + Show(k, m, g) + " " + std::exchange(Order, ""),
                      row[1 + call])
                << row[0] << " " << call;
        }
    }
    EXPECT_FALSE(w.unlocked);

    // Nothing was removed so far. Removal goes from the last slot to the first, skips an empty one
    // and empties each slot although the removal fails.
    RemoveInputHooks(k, m, g);
    EXPECT_EQ(Show(k, m, g) + Unhooked, "---mk");
}
