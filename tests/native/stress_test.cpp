// Stress under AddressSanitizer and UndefinedBehaviorSanitizer: the hook procedures on eight
// game threads while a render-proxy thread flips the overlay's input flag and calls the other
// exports, with the overlay reading the pipe. HookState is lock-free by design, so this test
// looks for crashes, leaks and torn records, not for a particular interleaving.
#include "hooks/exports.h"
#include "link/messages.h"
#include "support/fake_proxy.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/input.h>
#include <sim/modules.h>
#include <sim/window_tree.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

constexpr DWORD kPipeNumber = 31;
constexpr int kGameThreads = 8;

// What the game threads send; the reader checks every record against these sets.
constexpr UINT kMouseMessages[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEWHEEL};
constexpr DWORD kKeyFlags = 0x001E0001;

struct Tally {
    std::atomic<uint64_t> keyboardCalls{0}, rawKeyCalls{0}, mouseCalls{0}, resets{0};
};

void GameThread(int index, std::atomic<bool>& stop, Tally& tally) {
    RAWINPUT raw{};
    raw.header.dwType = RIM_TYPEKEYBOARD;
    raw.data.keyboard.VKey = static_cast<USHORT>(0x41 + index);
    raw.data.keyboard.MakeCode = 0x1E;
    raw.data.keyboard.Message = WM_KEYDOWN;
    HRAWINPUT rawHandle = sim::QueueRawInput(raw);
    MSG msg{};
    msg.hwnd = fake_proxy::window;
    msg.message = WM_INPUT;
    msg.lParam = reinterpret_cast<LPARAM>(rawHandle);

    MOUSEHOOKSTRUCTEX mouse{};
    mouse.hwnd = fake_proxy::window;
    for (unsigned i = 0; !stop.load(std::memory_order_relaxed); ++i) {
        keyboardHook(HC_ACTION, 0x41 + index, kKeyFlags);
        ++tally.keyboardCalls;
        UINT message = kMouseMessages[i % 4];
        mouse.pt = POINT{100 + static_cast<LONG>(i % 700), 50 + static_cast<LONG>(i % 500)};
        mouse.mouseData = message == WM_MOUSEWHEEL ? 0xFF880000u : 0u;
        mouseHook(i % 16 == 0 ? HC_NOREMOVE : HC_ACTION, message, reinterpret_cast<LPARAM>(&mouse));
        ++tally.mouseCalls;
        getmsgHook(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&msg));
        ++tally.rawKeyCalls;
    }
}

// The render proxy's thread: the overlay's input flag on and off, with the exports a proxy
// calls per frame and at transitions.
void ProxyThread(std::atomic<bool>& stop, Tally& tally) {
    for (unsigned i = 0; !stop.load(std::memory_order_relaxed); ++i) {
        if (i % 50 == 0)
            fake_proxy::inputActive = !fake_proxy::inputActive;
        InputActiveStateTransitionHook();
        GetRawInputState();
        CheckFocus();
        EndOfFrameHook();
        int32_t x = 0, y = 0;
        TrackedCursorPos(&x, &y);
        if (i % 500 == 499) {
            PipeResetHook();
            ++tally.resets;
        }
        std::this_thread::yield();
    }
}

struct Received {
    uint64_t mouse = 0, keys = 0, malformed = 0;
    std::string firstProblem;
};

// The overlay end: takes every message whole and checks its size and fields. Stops at the
// Notice record the test sends last.
void Reader(GamePipe& overlay, Received& out) {
    for (;;) {
        BYTE buffer[512];
        DWORD count = 0;
        BOOL ok = ReadFile(overlay.handle, buffer, sizeof buffer, &count, nullptr);
        auto problem = [&](const std::string& what) {
            if (out.malformed++ == 0)
                out.firstProblem = what;
        };
        if (!ok) {
            problem("read failed with error " + std::to_string(GetLastError()));
            return;
        }
        DWORD type = count >= 4 ? buffer[0] | buffer[1] << 8 | buffer[2] << 16 | buffer[3] << 24
                                : 0xFFFFFFFFu;
        auto at = [&](int offset) {
            DWORD v;
            std::memcpy(&v, buffer + offset, 4);
            return v;
        };
        if (type == static_cast<DWORD>(MessageType::Notice) && count == 4)
            return;
        if (type == static_cast<DWORD>(MessageType::MouseInput) && count == kMouseInputSize) {
            DWORD message = at(4);
            bool known = false;
            for (UINT m : kMouseMessages)
                known = known || m == message;
            DWORD expectedData = message == WM_MOUSEWHEEL ? 0xFF880000u : 0u;
            if (!known || at(16) != expectedData)
                problem("mouse record with message " + std::to_string(message));
            ++out.mouse;
        } else if (type == static_cast<DWORD>(MessageType::KeyboardInput) &&
                   count == kKeyboardInputSize) {
            DWORD vk = at(4);
            if (vk < 0x41 || vk >= 0x41 + kGameThreads)
                problem("key record with virtual key " + std::to_string(vk));
            ++out.keys;
        } else {
            problem("message of type " + std::to_string(type) + " and " + std::to_string(count) +
                    " bytes");
        }
    }
}

TEST(Stress, HookProceduresOnEightThreadsWithInputFlippingForwardOnlyWholeRecords) {
    TempDir dir;
    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    HWND outputWindow =
        sim::AddWindow(nullptr, GetCurrentProcessId(), GetCurrentThreadId(), "Game");
    sim::SetClientArea(outputWindow, 100, 50, 640, 480);
    sim::SetForeground(outputWindow);
    fake_proxy::window = outputWindow;
    // A game that takes its keyboard as raw input only: the registration is removed and put
    // back at every transition, and getmsgHook forwards raw keys while it is in force.
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY, outputWindow);

    PipePair pair = ConnectedPair(kPipeNumber);
    ASSERT_TRUE(IsPipeOpen(pair.server) && IsPipeOpen(pair.client));
    fake_proxy::pipe = pair.client.handle;
    fake_proxy::Install();

    Received received;
    std::thread reader(Reader, std::ref(pair.server), std::ref(received));
    std::atomic<bool> stop{false};
    Tally tally;
    std::vector<std::thread> game;
    for (int i = 0; i < kGameThreads; ++i)
        game.emplace_back(GameThread, i, std::ref(stop), std::ref(tally));
    std::thread proxy(ProxyThread, std::ref(stop), std::ref(tally));

    std::this_thread::sleep_for(std::chrono::seconds(6));
    stop = true;
    for (auto& t : game)
        t.join();
    proxy.join();
    ASSERT_TRUE(SendNotice(pair.client)); // the reader's end mark, after every hook record
    reader.join();

    EXPECT_EQ(received.malformed, 0u) << received.firstProblem;
    // Every key event sends one record unless a reset of the borrowed pipe raced it (at most
    // one dropped call per thread and reset).
    uint64_t keyEvents = tally.keyboardCalls + tally.rawKeyCalls;
    EXPECT_LE(received.keys, keyEvents);
    EXPECT_GT(received.keys, 0u);
    EXPECT_GT(received.mouse, 0u);
    EXPECT_LE(received.mouse, tally.mouseCalls.load());
    EXPECT_GT(tally.resets.load(), 0u);
    std::printf("stress: %llu keyboard, %llu raw and %llu mouse events; %llu key and %llu mouse "
                "records received; %llu pipe resets\n",
                (unsigned long long)tally.keyboardCalls, (unsigned long long)tally.rawKeyCalls,
                (unsigned long long)tally.mouseCalls, (unsigned long long)received.keys,
                (unsigned long long)received.mouse, (unsigned long long)tally.resets);
    ClosePipe(pair.client);
    ClosePipe(pair.server);
}

} // namespace
