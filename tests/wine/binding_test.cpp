// Render proxy binding, the hooks-module call stubs and the hook installers, watched from inside
// this program: its LoadLibraryA and GetProcAddress are redirected, so every load the product makes
// is logged, and a lookup of a watched export hands out a stand-in that notes each call (module,
// export) and then calls the export or the test's replacement; every load, lookup and call must
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

#include <array>
#include <deque>
#include <map>
#include <set>

using namespace korvex;

namespace {

using Names = std::vector<std::string>;
using Calls = std::vector<std::pair<HMODULE, std::string>>;
typedef uintptr_t(__cdecl* Export)(void*, void*); // stands for cdecl exports of up to 2 pointers

bool Held(CRITICAL_SECTION* lock) {
    return lock->OwningThread == ULongToHandle(GetCurrentThreadId());
}

HMODULE WINAPI Load(LPCSTR name);
FARPROC WINAPI Find(HMODULE module, LPCSTR name);

// One at a time, with the lock a caller passes to the product. Names in `hidden` neither load nor
// are found.
struct Watch* Active = nullptr;
struct Watch {
    explicit Watch(std::set<std::string> watched) : watched(watched) {
        InitializeCriticalSection(&lock);
        Active = this;
    }
    ~Watch() { Active = nullptr; }
    CRITICAL_SECTION lock;
    std::set<std::string> watched, hidden;
    std::map<std::string, const void*> replace;
    Names loads;
    Calls calls;
    bool unlocked = false; // a load, lookup or export call made while the lock was free
    ImportPatch load{nullptr, "kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(Load)};
    ImportPatch find{nullptr, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(Find)};
};

std::deque<std::pair<Calls::value_type, Export>> Bound; // by stand-in: the export, its target

template <size_t N> uintptr_t __cdecl StandIn(void* first, void* second) {
    if (Active != nullptr) {
        Active->calls.push_back(Bound[N].first);
        Active->unlocked |= !Held(&Active->lock);
    }
    return Bound[N].second(first, second);
}
template <size_t... N> std::array<Export, sizeof...(N)> MakeStandIns(std::index_sequence<N...>) {
    return {StandIn<N>...};
}
const std::array<Export, 24> StandIns = MakeStandIns(std::make_index_sequence<24>());

HMODULE WINAPI Load(LPCSTR name) {
    Active->loads.push_back(name);
    Active->unlocked |= !Held(&Active->lock);
    return Active->hidden.count(name) ? nullptr
                                      : Active->load.Original<decltype(&LoadLibraryA)>()(name);
}

FARPROC WINAPI Find(HMODULE module, LPCSTR name) {
    auto original = Active->find.Original<decltype(&GetProcAddress)>();
    if (IS_INTRESOURCE(name))
        return original(module, name);
    Active->unlocked |= !Held(&Active->lock);
    FARPROC found = Active->hidden.count(name) ? nullptr : original(module, name);
    if (!found || !Active->watched.count(name) || Bound.size() == StandIns.size())
        return found;
    auto replaced = Active->replace.find(name);
    Bound.push_back({{module, name},
                     replaced != Active->replace.end()
                         ? reinterpret_cast<Export>(replaced->second)
                         : reinterpret_cast<Export>(reinterpret_cast<void (*)()>(found))});
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(StandIns[Bound.size() - 1]));
}

const std::set<std::string> kProxyExports = {"_RenderProxyActive",   "_GetGamePipe",
                                             "_OutputRenderWindow",  "_OverlayInputActive",
                                             "_OverlayRenderActive", "DITrackedCursorPos"};
const char kNoExports[] = "ddraw d3d8 d3d10 d3d10_1 d3d12";

// The names loaded since the last look, without ".dll".
std::string Loads() {
    std::string names;
    for (const std::string& name : std::exchange(Active->loads, {}))
        names += (names.empty() ? "" : " ") + name.substr(0, name.size() - 4);
    return names;
}

uint32_t PositionAnswer = 0;
uint32_t __cdecl Position(int32_t* x, int32_t* y) {
    *x = -40; // written whatever the answer
    *y = 70000;
    return PositionAnswer;
}

// The hooks the installers set, in order, as letters (k keyboard, m mouse, g get-message), and
// whether one came with another procedure, module or thread than expected, or without the lock.
const HHOOK kHeld = HHOOK(0x11); // a slot's contents before an installer runs
const std::map<int, std::pair<char, const char*>> kHookTypes = {
    {WH_KEYBOARD, {'k', "keyboardHook"}},
    {WH_MOUSE, {'m', "mouseHook"}},
    {WH_GETMESSAGE, {'g', "getmsgHook"}}};
std::string Order;
std::map<HHOOK, char> Letters;
bool WrongSet = false;
int RefusedType = 0;
std::vector<HHOOK> Unhooked;
ImportPatch *SetPatch = nullptr, *UnhookPatch = nullptr;

HHOOK WINAPI SetHook(int type, HOOKPROC procedure, HINSTANCE module, DWORD thread) {
    bool known = kHookTypes.count(type) != 0;
    WrongSet |=
        !known || module != GetModuleHandleA("VelKorvexHooks.dll") ||
        thread != GetCurrentThreadId() || !Held(&Active->lock) ||
        reinterpret_cast<void (*)()>(procedure) !=
            reinterpret_cast<void (*)()>(GetProcAddress(module, kHookTypes.at(type).second));
    HHOOK hook =
        type == RefusedType
            ? nullptr
            : SetPatch->Original<decltype(&SetWindowsHookExA)>()(type, procedure, module, thread);
    Order += known ? kHookTypes.at(type).first : '?';
    if (hook != nullptr)
        Letters[hook] = Order.back();
    return hook;
}

BOOL WINAPI Unhook(HHOOK hook) {
    Unhooked.push_back(hook);
    return UnhookPatch->Original<decltype(&UnhookWindowsHookEx)>()(hook);
}

std::string Show(const HHOOK (&slots)[3]) { // h: as before, -: null, else the hook's letter
    std::string shown;
    for (HHOOK slot : slots)
        shown += slot == kHeld ? 'h' : !slot ? '-' : Letters.count(slot) ? Letters[slot] : '?';
    return shown;
}

} // namespace

TEST(RenderProxyBinding,
     SearchesFollowTheirOwnOrderAndForgetFalseAnswersQueriesKeepTheirFirstExport) {
    ProxyControl d3d9("d3d9.dll"), d3d11("d3d11.dll"), gl("opengl32.dll"), bare("d3d8.dll");
    Watch w(kProxyExports);
    w.replace["DITrackedCursorPos"] = reinterpret_cast<const void*>(Position);
    GamePipe pipe;

    EXPECT_EQ(FindActiveRenderProxy(nullptr, &w.lock), nullptr); // no proxy renders yet
    EXPECT_EQ(Loads(), "ddraw d3d8 d3d9 d3d10 d3d10_1 d3d11 d3d12 opengl32");
    EXPECT_NE(GetModuleHandleA("d3d12.dll"), nullptr); // what the search loads stays loaded
    AcquireGamePipe(pipe, &w.lock);                    // and none has a pipe
    EXPECT_EQ(pipe.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Loads(), "ddraw d3d8 d3d9 opengl32 d3d10 d3d10_1 d3d11 d3d12");
    EXPECT_EQ(std::exchange(w.calls, {}).size(), 6u);

    d3d9.state.renderProxyActive = 0x100; // only the low byte counts: false
    d3d11.state = {2, HANDLE(0x110), nullptr, 0, 0, 0, 0, 0};
    gl.state = {1, HANDLE(0x220), nullptr, 0, 0, 0, 0, 0};
    for (ProxyControl* proxy : {&d3d9, &d3d11, &gl})
        proxy->Apply();
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &w.lock), d3d11.module);
    EXPECT_EQ(Loads(), kNoExports); // known exports are not looked up again
    EXPECT_EQ(std::exchange(w.calls, {}),
              Calls({{d3d9.module, "_RenderProxyActive"}, {d3d11.module, "_RenderProxyActive"}}));
    gl.state.renderProxyActive = 0; // the pipe search does not ask who renders
    gl.Apply();
    AcquireGamePipe(pipe, &w.lock);
    EXPECT_EQ(pipe.handle, HANDLE(0x220));
    EXPECT_EQ(Loads(), kNoExports);
    EXPECT_EQ(std::exchange(w.calls, {}),
              Calls({{d3d9.module, "_GetGamePipe"}, {gl.module, "_GetGamePipe"}}));
    AcquireGamePipe(pipe, &w.lock);                                  // open: nothing to do
    EXPECT_EQ(FindActiveRenderProxy(gl.module, &w.lock), gl.module); // known: returned as it is
    EXPECT_TRUE(w.loads.empty() && w.calls.empty());

    // d3d9's false answer was not remembered; a pipe of zero is open and ends the search. Then the
    // queries: each keeps the first export found, d3d9's, whatever module comes later.
    d3d9.state = {1, nullptr, HWND(0x1230), 2, 0x100, 0, 0, 0};
    d3d11.state = {1, HANDLE(0x110), HWND(0x4560), 0, 1, 0, 0, 0};
    d3d9.Apply();
    d3d11.Apply();
    pipe.handle = INVALID_HANDLE_VALUE; // as PipeResetHook leaves it
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &w.lock), d3d9.module);
    AcquireGamePipe(pipe, &w.lock);
    EXPECT_EQ(pipe.handle, nullptr);
    EXPECT_EQ(std::exchange(w.calls, {}),
              Calls({{d3d9.module, "_RenderProxyActive"}, {d3d9.module, "_GetGamePipe"}}));
    EXPECT_EQ(Loads(), std::string(kNoExports) + " " + kNoExports);
    for (auto [module, found] : {std::pair<HMODULE, bool>{nullptr, false},
                                 {bare.module, false},
                                 {bare.module, false},
                                 {d3d9.module, true},
                                 {d3d11.module, true},
                                 {nullptr, true}}) {
        EXPECT_EQ(QueryOverlayInputActive(module, &w.lock), found); // 2: true
        EXPECT_EQ(QueryOutputRenderWindow(module, &w.lock), found ? HWND(0x1230) : nullptr);
        EXPECT_FALSE(QueryOverlayRenderActive(module, &w.lock)); // 0x100: false
        EXPECT_EQ(std::exchange(w.calls, {}), found ? Calls({{d3d9.module, "_OverlayInputActive"},
                                                             {d3d9.module, "_OutputRenderWindow"},
                                                             {d3d9.module, "_OverlayRenderActive"}})
                                                    : Calls());
    }

    // DirectInput: no dinput.dll yet, then a false and a true answer. Only a true answer moves the
    // position; the module is loaded until the export is found.
    w.hidden = {"dinput.dll"};
    POINT position = {5, 6};
    EXPECT_FALSE(QueryDITrackedCursorPos(&w.lock, position));
    w.hidden.clear();
    for (uint32_t answer : {0x100u, 2u, 2u}) {
        PositionAnswer = answer;
        EXPECT_EQ(QueryDITrackedCursorPos(&w.lock, position), answer == 2);
        EXPECT_EQ(std::make_pair(position.x, position.y),
                  answer == 2 ? std::make_pair(-40L, 70000L) : std::make_pair(5L, 6L));
    }
    EXPECT_EQ(Loads(), "dinput dinput");
    EXPECT_EQ(w.calls.size(), 3u);
    EXPECT_FALSE(w.unlocked);
}

TEST(CallStubs, EachStubCallsOnlyItsOwnExportUnderTheCallersLockAndKeepsItsAddressOnceFound) {
    const char* const exports[] = {"CheckFocus",       "EndOfFrameHook",
                                   "GetRawInputState", "InputActiveStateTransitionHook",
                                   "PipeResetHook",    "TrackedCursorPos"};
    void (*const plain[])(CRITICAL_SECTION*) = {
        CallCheckFocus, CallEndOfFrameHook, CallGetRawInputState,
        CallInputActiveStateTransitionHook, CallPipeResetHook};
    Watch w({std::begin(exports), std::end(exports)});
    w.replace["TrackedCursorPos"] = reinterpret_cast<const void*>(Position);
    PositionAnswer = 0x100; // false: the position counts even so
    POINT position = {7, 8};
    auto stub = [&](int n) { n < 5 ? plain[n](&w.lock) : CallTrackedCursorPos(&w.lock, position); };

    // Not loadable, then without EndOfFrameHook: nothing is called, and each call looks again.
    w.hidden = {"VelKorvexHooks.dll", "EndOfFrameHook"};
    for (int n = 0; n < 6; ++n)
        stub(n);
    EXPECT_TRUE(position.x == 0 && position.y == 0);
    w.hidden.erase("VelKorvexHooks.dll");
    stub(1);
    stub(1);
    w.hidden.clear();
    HMODULE hooks = GetModuleHandleA("VelKorvexHooks.dll");
    for (int round = 0; round < 2; ++round) {
        for (int n = 0; n < 6; ++n) {
            stub(n);
            EXPECT_EQ(std::exchange(w.calls, {}), Calls({{hooks, exports[n]}}));
        }
        // Loaded on every call until the stub has its address, then never again.
        EXPECT_EQ(std::exchange(w.loads, {}).size(), round == 0 ? 14u : 0u);
    }
    EXPECT_TRUE(position.x == -40 && position.y == 70000);
    EXPECT_FALSE(w.unlocked || Held(&w.lock)); // and the lock is left on every path
}

TEST(HookInstall, InstallersSetTheirGroupUnderTheLockKeepWhatWasSetAndRemovalEmptiesEverySlot) {
    Watch w({});
    ImportPatch set(nullptr, "user32.dll", "SetWindowsHookExA", reinterpret_cast<void*>(SetHook));
    ImportPatch unhook(nullptr, "user32.dll", "UnhookWindowsHookEx",
                       reinterpret_cast<void*>(Unhook));
    SetPatch = &set;
    UnhookPatch = &unhook;

    // By call (InstallInputHooks, the raw-input group, the keyboard-and-mouse group): the result,
    // the slots afterwards and the hooks set.
    const struct {
        const char* missing;
        const char* outcome[3];
    } rows[] = {{"VelKorvexHooks.dll", {"0 hhh ", "0 hhh ", "0 hhh "}},
                {"keyboardHook", {"0 hhh ", "1 --g g", "0 hhh "}},
                {"getmsgHook", {"0 hhh ", "0 hhh ", "1 km- km"}},
                {"refused mouse", {"0 k-g kmg", "1 --g g", "0 k-- km"}},
                {"", {"1 kmg kmg", "1 --g g", "1 km- km"}}};
    HHOOK slots[3];
    for (const auto& row : rows) {
        w.hidden = {row.missing};
        RefusedType = std::string(row.missing) == "refused mouse" ? WH_MOUSE : 0;
        for (int call = 0; call < 3; ++call) {
            std::fill(slots, slots + 3, kHeld);
            Order.clear();
            DWORD thread = GetCurrentThreadId();
            bool result = call == 0
                              ? InstallInputHooks(thread, &w.lock, slots[0], slots[1], slots[2])
                              : InstallInputHookGroup(thread, call == 1, &w.lock, slots[0],
                                                      slots[1], slots[2]);
            EXPECT_EQ(std::to_string(result) + " " + Show(slots) + " " + Order, row.outcome[call])
                << row.missing << " " << call;
        }
    }
    EXPECT_EQ(w.loads.size(), 15u); // nothing cached
    EXPECT_FALSE(WrongSet || w.unlocked);

    // Nothing was removed so far. Removal goes from the last slot to the first, skips an empty one
    // and empties each slot, also when the removal fails.
    const HHOOK held[3] = {slots[0], slots[1], slots[2]};
    RemoveInputHooks(slots[0], slots[1], slots[2]);
    EXPECT_EQ(Unhooked, std::vector<HHOOK>({held[1], held[0]}));
    std::copy(held, held + 3, slots);
    RemoveInputHooks(slots[0], slots[1], slots[2]); // gone already: both removals fail
    EXPECT_EQ(Show(slots) + std::to_string(Unhooked.size()), "---4");
}
