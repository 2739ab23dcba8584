// The overlay side of the Wine benchmark, run as a second process: it creates the server end
// of the game pipe, then for each phase the game announces reads the records the way the phase
// says, watching its backlog, and answers how many it received.
#include "link/messages.h"
#include "timing.h"

#include <cstdio>

namespace {

// The peer's own diagnostics go to a file beside the program: its console output is not the
// benchmark's.
FILE* PeerLog() {
    static FILE* file = [] {
        FILE* f = std::fopen("bench-peer.log", "w");
        if (f)
            setvbuf(f, nullptr, _IONBF, 0);
        return f;
    }();
    return file ? file : stderr;
}

constexpr DWORD kEndMark = static_cast<DWORD>(MessageType::Notice);

// Records waiting in the pipe, counted in whole MouseInput records.
DWORD Backlog(GamePipe& pipe) {
    DWORD bytes = 0;
    GetPipeBytesAvailable(pipe, bytes);
    return bytes / kMouseInputSize;
}

// ReadFile of one record's size per record, blocking, until the end mark.
DWORD RawReads(GamePipe& pipe) {
    BYTE record[kMouseInputSize];
    DWORD received = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadPipe(pipe, record, sizeof record, read)) {
            std::fprintf(PeerLog(), "peer: read failed with %lu after %lu records\n",
                         GetLastError(), received);
            break;
        }
        if (read == kTagOnlySize && record[0] == kEndMark)
            break;
        ++received;
    }
    return received;
}

// The overlay's way, until the end mark: peek the type, then read the record of that type. An
// empty pipe is polled again after yielding the processor.
DWORD CodecReads(GamePipe& pipe, DWORD& peak) {
    DWORD received = 0;
    BYTE keys[256];
    for (unsigned polls = 0;; ++polls) {
        DWORD type = 0;
        if (!PeekMessageType(pipe, type)) {
            DWORD bytes = 0;
            if (!GetPipeBytesAvailable(pipe, bytes))
                break; // the game end went away
            SwitchToThread();
            continue;
        }
        if ((polls & 63) == 0) {
            DWORD now = Backlog(pipe);
            peak = now > peak ? now : peak;
        }
        if (type == kEndMark) {
            ReadNotice(pipe);
            break;
        }
        DWORD message = 0, time = 0;
        int32_t x = 0, y = 0, wheel = 0;
        if (type == static_cast<DWORD>(MessageType::MouseInput) &&
            ReadMouseInput(pipe, message, x, y, wheel, time, keys)) {
            ++received;
        } else if (type == static_cast<DWORD>(MessageType::KeyboardInput)) {
            DWORD vk = 0, flags = 0;
            if (ReadKeyboardInput(pipe, vk, flags, keys))
                ++received;
        } else {
            BYTE skip[512];
            ReadRaw(pipe, skip, sizeof skip); // unknown: take it off and go on
        }
    }
    return received;
}

} // namespace

int RunPeer() {
    GamePipe pipe;
    if (!CreatePipeServer(pipe, kBenchPipeNumber)) {
        std::fprintf(PeerLog(), "peer: no game connected\n");
        return 1;
    }
    for (;;) {
        DWORD phase = 0, records = 0;
        if (!ReadValuePair(pipe, phase, records) || phase == kPhaseQuit)
            break;
        DWORD received = 0, peak = 0;
        if (phase == kPhaseHold) {
            DWORD waiting = 0;
            while (GetPipeBytesAvailable(pipe, waiting) && waiting < records)
                Sleep(2);
        }
        received = phase == kPhaseRawRead ? RawReads(pipe) : CodecReads(pipe, peak);
        SendValuePair(pipe, received, peak);
    }
    DisconnectPipe(pipe);
    return 0;
}
