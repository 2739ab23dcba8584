// korvex-bench-wine: benchmarks of the hooks module under Wine, each beside a baseline measured
// in the same run. This process plays the game (it loads VelKorvexHooks.dll and the reference
// render proxy d3d11.dll, which lends it the client end of the game pipe); a second copy of
// it, started with --peer, plays the overlay and reads.
//   (a) records per second across the two processes: SendMouseInput read with PeekMessageType
//       + ReadMouseInput and with ReadNextRecord, beside raw WriteFile/ReadFile of the same
//       280 bytes;
//   (b) steady-state cost per event of keyboardHook and mouseHook (overlay input active,
//       cursor taken over) beside GetKeyboardState plus one WriteFile of the same record,
//       and the cost of each Win32 call the hooks make, to show where the time goes;
//   (c) sustained forwarding through mouseHook at 1,000, 8,000 and as many events per second
//       as the thread manages: sent, received, lost, the peer's peak backlog;
//   (d) latency from the call of mouseHook in this process to the peer holding the record
//       decoded by ReadNextRecord, at 1,000 and 8,000 events per second, beside a bare
//       WriteFile to ReadFile of the same record at the same rate, in alternating quarter-second
//       rounds (see stamps.h for how the stamps cross).
// Every figure is printed as "RESULT <name> <value>" for scripts/bench.sh.
#include "link/messages.h"
#include "render_proxy_fixture.h"
#include "stamps.h"
#include "timing.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

using namespace korvex;

namespace {

typedef LRESULT(CALLBACK* HookProc3)(int, WPARAM, LPARAM);
typedef void(__cdecl* VoidExport)();

struct Module {
    HookProc3 keyboardHook, mouseHook;
    VoidExport transition;
    ProxySetStateProc setProxyState;
};

void Result(const char* name, double value) {
    std::printf("RESULT %s %.6g\n", name, value);
    std::fflush(stdout);
}

template <class T> T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool StartPeer(PROCESS_INFORMATION& peer) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" --peer";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &peer) != FALSE;
}

GamePipe ConnectToPeer() {
    GamePipe pipe;
    for (int i = 0; i < 200 && !IsPipeOpen(pipe); ++i) {
        ConnectPipeClient(pipe, kBenchPipeNumber);
        if (!IsPipeOpen(pipe))
            Sleep(25);
    }
    return pipe;
}

// Announces a phase, runs `send`, marks the end, and waits for the peer's answer.
template <class Send>
double RunPhase(GamePipe& pipe, Phase phase, DWORD records, Send send, DWORD& received,
                DWORD& peak) {
    SendValuePair(pipe, phase, records);
    double start = Now();
    send();
    SendNotice(pipe);
    received = 0;
    peak = 0;
    if (!ReadValuePair(pipe, received, peak))
        std::fprintf(stderr, "bench: no answer from the peer (error %lu)\n", GetLastError());
    return Now() - start;
}

HWND MakeWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KorvexBenchGame";
    RegisterClassA(&windowClass);
    HWND window =
        CreateWindowExA(0, "KorvexBenchGame", "Korvex bench game", WS_OVERLAPPEDWINDOW, 100, 100,
                        400, 300, nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    return window;
}

// (a) Records per second across the processes: the three readers in short phases, one after
// the other, round after round (the order turning each round), so that all three see the same
// load from the rest of the machine; ratios are taken within each round, then the median.
void Throughput(GamePipe& pipe) {
    const DWORD records = 5000;
    BYTE raw[kMouseInputSize] = {3};
    BYTE keys[256] = {};
    auto rawWrites = [&] {
        for (DWORD i = 0; i < records; ++i) {
            DWORD written = 0;
            WriteFile(pipe.handle, raw, sizeof raw, &written, nullptr);
        }
    };
    auto codecWrites = [&] {
        for (DWORD i = 0; i < records; ++i)
            SendMouseInput(pipe, WM_MOUSEMOVE, 10, 20, 0, i, keys);
    };
    const Phase phases[] = {kPhaseRawRead, kPhaseRecordRead, kPhaseCodecRead};
    std::vector<double> rates[3], ratios[3];
    for (int round = 0; round < 7; ++round) {
        double rate[3];
        for (int n = 0; n < 3; ++n) {
            int which = (round + n) % 3;
            DWORD received = 0, peak = 0;
            double seconds = RunPhase(pipe, phases[which], records,
                                      which == 0 ? std::function<void()>(rawWrites)
                                                 : std::function<void()>(codecWrites),
                                      received, peak);
            rate[which] = received / seconds;
        }
        for (int which = 0; which < 3; ++which) {
            rates[which].push_back(rate[which]);
            ratios[which].push_back(rate[which] / rate[0]);
        }
        std::printf("round %d: records/s raw %.0f, ReadNextRecord %.0f, peek-then-read %.0f\n",
                    round, rate[0], rate[1], rate[2]);
    }
    Result("wine.throughput.raw_records_per_s", Median(rates[0]));
    Result("wine.throughput.record_reader_records_per_s", Median(rates[1]));
    Result("wine.throughput.record_reader_to_raw", Median(ratios[1]));
    Result("wine.throughput.codec_records_per_s", Median(rates[2]));
    Result("wine.throughput.codec_to_raw", Median(ratios[2]));
}

// Time per call of `body`, run `count` times while the peer drains the pipe.
// The peer holds off reading until all `count` records of `size` bytes and the end mark wait
// (4,000 records fit in the pipe's 3 MiB buffer), so the loop is timed without a reader running.
template <class Body> double PerEvent(GamePipe& pipe, DWORD count, DWORD size, Body body) {
    DWORD received = 0, peak = 0;
    double loop = 0;
    RunPhase(
        pipe, kPhaseHold, count * size + kTagOnlySize,
        [&] {
            double start = Now();
            for (DWORD i = 0; i < count; ++i)
                body(i);
            loop = Now() - start;
        },
        received, peak);
    return loop / count;
}

// Time per call of a Win32 call that sends nothing.
template <class Body> double PerCall(DWORD count, Body body) {
    double start = Now();
    for (DWORD i = 0; i < count; ++i)
        body(i);
    return (Now() - start) / count;
}

// (b) Steady-state cost per event against the bare work.
void HookCost(GamePipe& pipe, const Module& module, HWND window) {
    const DWORD count = 4000;
    std::vector<double> bareKey, hookKey, bareMouse, hookMouse, bareKeyCursor;
    BYTE record[kMouseInputSize] = {};
    MOUSEHOOKSTRUCTEX mouse{};
    mouse.hwnd = window;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    for (int round = 0; round < 5; ++round) {
        bareKey.push_back(PerEvent(pipe, count, kKeyboardInputSize, [&](DWORD) {
            GetKeyboardState(record + 12);
            DWORD written = 0;
            WriteFile(pipe.handle, record, kKeyboardInputSize, &written, nullptr);
        }));
        hookKey.push_back(PerEvent(pipe, count, kKeyboardInputSize, [&](DWORD i) {
            module.keyboardHook(HC_ACTION, 0x41 + (i & 7), 0x001E0001);
        }));
        // The bare work plus the one more server call a steady-state hook makes: GetCursor,
        // which the cursor take-over runs on every event while the cursor is taken.
        bareKeyCursor.push_back(PerEvent(pipe, count, kKeyboardInputSize, [&](DWORD) {
            GetCursor();
            GetKeyboardState(record + 12);
            DWORD written = 0;
            WriteFile(pipe.handle, record, kKeyboardInputSize, &written, nullptr);
        }));
        bareMouse.push_back(PerEvent(pipe, count, kMouseInputSize, [&](DWORD) {
            GetKeyboardState(record + 24);
            DWORD written = 0;
            WriteFile(pipe.handle, record, kMouseInputSize, &written, nullptr);
        }));
        hookMouse.push_back(PerEvent(pipe, count, kMouseInputSize, [&](DWORD i) {
            mouse.pt = POINT{origin.x + 20 + static_cast<LONG>(i & 127), origin.y + 20};
            module.mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse));
        }));
    }
    double us = 1e6;
    Result("wine.hook.bare_keyboard_us", Median(bareKey) * us);
    Result("wine.hook.keyboardHook_us", Median(hookKey) * us);
    Result("wine.hook.keyboard_ratio", Median(hookKey) / Median(bareKey));
    Result("wine.hook.bare_keyboard_with_GetCursor_us", Median(bareKeyCursor) * us);
    Result("wine.hook.bare_mouse_us", Median(bareMouse) * us);
    Result("wine.hook.mouseHook_us", Median(hookMouse) * us);
    Result("wine.hook.mouse_ratio", Median(hookMouse) / Median(bareMouse));

    // Where the time goes: each call the steady-state hooks make besides the bare work.
    const DWORD calls = 4000;
    RECT rect;
    POINT point;
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    Result("wine.call.GetKeyboardState_us",
           PerCall(calls, [&](DWORD) { GetKeyboardState(record); }) * us);
    Result("wine.call.GetCursor_us", PerCall(calls, [&](DWORD) { GetCursor(); }) * us);
    Result("wine.call.GetClientRect_us",
           PerCall(calls, [&](DWORD) { GetClientRect(window, &rect); }) * us);
    Result("wine.call.ClientToScreen_us", PerCall(calls, [&](DWORD) {
                                              point = POINT{0, 0};
                                              ClientToScreen(window, &point);
                                          }) * us);
    Result("wine.call.GetTickCount_us", PerCall(calls, [&](DWORD) { GetTickCount(); }) * us);
    Result("wine.call.GetCurrentThreadId_us",
           PerCall(calls, [&](DWORD) { GetCurrentThreadId(); }) * us);
    Result("wine.call.CriticalSection_us", PerCall(calls, [&](DWORD) {
                                               EnterCriticalSection(&section);
                                               LeaveCriticalSection(&section);
                                           }) * us);
    DeleteCriticalSection(&section);
}

// (c) Sustained forwarding through mouseHook at a paced rate (0: as fast as it goes).
void Sustained(GamePipe& pipe, const Module& module, HWND window, DWORD rate, const char* name) {
    const double seconds = 2.0;
    MOUSEHOOKSTRUCTEX mouse{};
    mouse.hwnd = window;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    DWORD sent = 0, received = 0, peak = 0;
    double sendSeconds = 0;
    double total = RunPhase(
        pipe, kPhaseDrain, 0,
        [&] {
            double start = Now();
            for (;;) {
                double elapsed = Now() - start;
                if (elapsed >= seconds)
                    break;
                // Catch up to where the rate says we should be, then rest a little.
                DWORD due = rate ? static_cast<DWORD>(elapsed * rate) + 1 : sent + 64;
                while (sent < due) {
                    mouse.pt = POINT{origin.x + 20 + static_cast<LONG>(sent & 127), origin.y + 20};
                    module.mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse));
                    ++sent;
                }
                if (rate)
                    Sleep(1);
            }
            sendSeconds = Now() - start;
        },
        received, peak);
    std::string prefix = std::string("wine.sustained.") + name + ".";
    Result((prefix + "target_per_s").c_str(), rate);
    Result((prefix + "achieved_per_s").c_str(), sent / sendSeconds);
    Result((prefix + "sent").c_str(), sent);
    Result((prefix + "received").c_str(), received);
    Result((prefix + "lost").c_str(), static_cast<double>(sent) - received);
    Result((prefix + "peak_backlog_records").c_str(), peak);
    Result((prefix + "drain_after_s").c_str(), total - sendSeconds);
}

// (d) Latency, pooled over the rounds of one path at one rate.
struct LatencySamples {
    std::vector<double> latency, call, after, wait, read;
    DWORD sent = 0, backlog = 0;
    double sendSeconds = 0, readSeconds = 0;
};

// One round of events at a paced rate: `send(sequence)` makes one record whose x field is
// `sequence`, stamped just before and after in the shared table; the peer (`phase`) stamps when
// its read began and when it held the record.
template <class Send>
void LatencyRound(GamePipe& pipe, Phase phase, DWORD rate, double seconds, LatencySamples& out,
                  Send send) {
    StampTable* table = SharedStamps();
    std::memset(table, 0, sizeof *table);
    const LONGLONG second = TicksPerSecond();
    DWORD sent = 0, received = 0, peak = 0;
    LONGLONG start = 0;
    RunPhase(
        pipe, phase, 0,
        [&] {
            start = Ticks();
            LONGLONG end = start + static_cast<LONGLONG>(seconds * second);
            for (; sent < kMaxEvents; ++sent) {
                LONGLONG due = start + static_cast<LONGLONG>(sent) * second / rate;
                if (due >= end)
                    break;
                WaitUntil(due);
                EventStamps& event = table->events[sent];
                event.called = Ticks();
                send(sent);
                event.returned = Ticks();
            }
            out.sendSeconds += static_cast<double>(Ticks() - start) / second;
        },
        received, peak);

    const double us = 1e6 / static_cast<double>(second);
    LONGLONG lastHeld = start;
    for (DWORD i = 0, next = 0; i < sent; ++i) {
        const EventStamps& e = table->events[i];
        if (e.decoded == 0)
            continue;
        out.latency.push_back((e.decoded - e.called) * us);
        out.call.push_back((e.returned - e.called) * us);
        out.after.push_back((e.decoded - e.returned) * us);
        bool waiting = e.readStarted > e.returned; // the record was there before the read began
        out.wait.push_back(waiting ? (e.readStarted - e.returned) * us : 0);
        if (waiting)
            out.read.push_back((e.decoded - e.readStarted) * us);
        lastHeld = e.decoded > lastHeld ? e.decoded : lastHeld;
        // The records after this one that were written when this one was held.
        next = next > i ? next : i + 1;
        while (next < sent && table->events[next].returned <= e.decoded)
            ++next;
        out.backlog = next - i - 1 > out.backlog ? next - i - 1 : out.backlog;
    }
    out.sent += sent;
    out.readSeconds += static_cast<double>(lastHeld - start) / second;
}

// Printed under wine.latency.<rate>.<path>.: the latency (called -> held) and, to show where the
// time goes, the call itself (called -> returned), what follows its return (returned -> held),
// the part of that a record waited for a reader busy with earlier ones, one read when a record
// was already waiting, the reader's rate and the most records written and not yet held.
void PrintLatency(DWORD rate, const char* path, LatencySamples& s) {
    std::string prefix = std::string("wine.latency.") + std::to_string(rate) + "." + path + ".";
    auto result = [&](const char* what, double value) { Result((prefix + what).c_str(), value); };
    result("achieved_per_s", s.sent / s.sendSeconds);
    result("held_per_s", static_cast<double>(s.latency.size()) / s.readSeconds);
    result("sent", s.sent);
    result("held", static_cast<double>(s.latency.size()));
    result("p50_us", Percentile(s.latency, 0.5));
    result("p99_us", Percentile(s.latency, 0.99));
    result("max_us", Percentile(s.latency, 1.0));
    result("call_p50_us", Percentile(s.call, 0.5));
    result("call_p99_us", Percentile(s.call, 0.99));
    result("after_p50_us", Percentile(s.after, 0.5));
    result("after_p99_us", Percentile(s.after, 0.99));
    result("wait_p50_us", Percentile(s.wait, 0.5));
    result("wait_p99_us", Percentile(s.wait, 0.99));
    result("read_waiting_p50_us", Percentile(s.read, 0.5));
    result("backlog_max_records", s.backlog);
}

// (d) at both rates: the bare write and mouseHook in alternating rounds (short, so that both see
// the same load from the rest of the machine), each event moving the cursor to x = its sequence
// number.
void Latencies(GamePipe& pipe, const Module& module, HWND window) {
    if (!SharedStamps()) {
        std::fprintf(stderr, "bench: no shared stamp table (error %lu)\n", GetLastError());
        return;
    }
    MOUSEHOOKSTRUCTEX mouse{};
    mouse.hwnd = window;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    BYTE record[kMouseInputSize] = {3, 0, 0, 0, WM_MOUSEMOVE & 0xFF, WM_MOUSEMOVE >> 8};
    auto bare = [&](DWORD sequence) {
        for (int i = 0; i < 4; ++i)
            record[8 + i] = static_cast<BYTE>(sequence >> (8 * i));
        DWORD written = 0;
        WriteFile(pipe.handle, record, sizeof record, &written, nullptr);
    };
    auto hook = [&](DWORD sequence) {
        mouse.pt = POINT{origin.x + static_cast<LONG>(sequence), origin.y + 20};
        module.mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse));
    };
    for (DWORD rate : {1000u, 8000u}) {
        LatencySamples bareSamples, hookSamples;
        for (int round = 0; round < 8; ++round) {
            LatencyRound(pipe, kPhaseLatencyBare, rate, 0.25, bareSamples, bare);
            LatencyRound(pipe, kPhaseLatencyHook, rate, 0.25, hookSamples, hook);
        }
        PrintLatency(rate, "bare", bareSamples);
        PrintLatency(rate, "hook", hookSamples);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--peer") == 0)
        return RunPeer();

    PROCESS_INFORMATION peer{};
    if (!StartPeer(peer)) {
        std::fprintf(stderr, "bench: cannot start the peer process\n");
        return 1;
    }
    GamePipe pipe = ConnectToPeer();
    if (!IsPipeOpen(pipe)) {
        std::fprintf(stderr, "bench: cannot connect to the peer\n");
        return 1;
    }

    // An empty phase first: proves the peer answers before anything is timed.
    DWORD echoed = 0, dummy = 0;
    if (!SendValuePair(pipe, kPhaseDrain, 0) || !SendNotice(pipe) ||
        !ReadValuePair(pipe, echoed, dummy)) {
        std::fprintf(stderr, "bench: the peer does not answer (error %lu)\n", GetLastError());
        return 1;
    }
    Throughput(pipe);

    HMODULE proxy = LoadLibraryA("d3d11.dll");
    HMODULE hooks = LoadLibraryA("VelKorvexHooks.dll");
    Module module{};
    if (proxy && hooks) {
        module.setProxyState = Export<ProxySetStateProc>(proxy, "ProxySetState");
        module.keyboardHook = Export<HookProc3>(hooks, "keyboardHook");
        module.mouseHook = Export<HookProc3>(hooks, "mouseHook");
        module.transition = Export<VoidExport>(hooks, "InputActiveStateTransitionHook");
    }
    if (!module.setProxyState || !module.keyboardHook || !module.mouseHook || !module.transition) {
        std::fprintf(stderr, "bench: VelKorvexHooks.dll or the d3d11.dll proxy is missing\n");
        return 1;
    }
    HWND window = MakeWindow();
    ProxyFixtureState state{1, pipe.handle, window, 1, 1, 0, 0, 0};
    module.setProxyState(&state);
    // Steady state: the transition hook requests the cursor take-over, the first events carry
    // it out, find the proxy, borrow the pipe and fill the export caches.
    module.transition();
    DWORD received = 0, peak = 0;
    RunPhase(
        pipe, kPhaseDrain, 0,
        [&] {
            MOUSEHOOKSTRUCTEX mouse{};
            mouse.hwnd = window;
            for (int i = 0; i < 10; ++i) {
                module.keyboardHook(HC_ACTION, 0x41, 0x001E0001);
                module.mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse));
            }
        },
        received, peak);
    Result("wine.warmup.records_received", received);

    HookCost(pipe, module, window);
    Sustained(pipe, module, window, 1000, "1000");
    Sustained(pipe, module, window, 8000, "8000");
    Sustained(pipe, module, window, 0, "max");
    Latencies(pipe, module, window);

    SendValuePair(pipe, kPhaseQuit, 0);
    WaitForSingleObject(peer.hProcess, 10000);
    CloseHandle(peer.hProcess);
    CloseHandle(peer.hThread);
    return 0;
}
