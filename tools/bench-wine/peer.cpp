// The overlay side of the Wine benchmark, run as a second process: it creates the server end
// of the game pipe, then for each phase the game announces reads the records the way the phase
// says (bare ReadFile, peek-then-read, the one-call reader; stamping each record for the latency
// phases), and answers how many it received.
#include "link/record_reader.h"
#include "stamps.h"
#include "timing.h"

#include <cstdio>

using namespace korvex;

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

// The one-call reader, until the end mark: one ReadNextRecord per record, waiting in the read.
DWORD RecordReads(GamePipe& pipe) {
    static Record record;
    DWORD received = 0;
    while (ReadNextRecord(pipe, record) && record.type != MessageType::Notice) {
        if (record.type == MessageType::MouseInput || record.type == MessageType::KeyboardInput)
            received += record.status == RecordStatus::Decoded;
    }
    return received;
}

// The latency phases, until the end mark: each MouseInput record (ReadNextRecord) or each
// 280-byte message (bare ReadFile) is stamped in the shared table under the sequence number
// its x field carries, with the counter when the read began and when it returned.
DWORD StampedReads(GamePipe& pipe, bool bare) {
    StampTable* table = SharedStamps();
    static Record record;
    DWORD received = 0;
    for (;;) {
        LONGLONG started = Ticks();
        DWORD read = 0;
        bool ok = bare ? ReadPipe(pipe, record.bytes, kMouseInputSize, read)
                       : ReadNextRecord(pipe, record);
        LONGLONG done = Ticks();
        if (!ok || (bare ? read == kTagOnlySize : record.type == MessageType::Notice))
            break;
        if (!bare &&
            (record.type != MessageType::MouseInput || record.status != RecordStatus::Decoded))
            continue;
        DWORD sequence = bare ? static_cast<DWORD>(record.bytes[8] | record.bytes[9] << 8 |
                                                   record.bytes[10] << 16 | record.bytes[11] << 24)
                              : static_cast<DWORD>(record.mouseInput.x);
        if (table && sequence < kMaxEvents) {
            table->events[sequence].readStarted = started;
            table->events[sequence].decoded = done;
            ++received;
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
        if (phase == kPhaseRawRead)
            received = RawReads(pipe);
        else if (phase == kPhaseRecordRead)
            received = RecordReads(pipe);
        else if (phase == kPhaseLatencyHook || phase == kPhaseLatencyBare)
            received = StampedReads(pipe, phase == kPhaseLatencyBare);
        else
            received = CodecReads(pipe, peak);
        SendValuePair(pipe, received, peak);
    }
    DisconnectPipe(pipe);
    return 0;
}
