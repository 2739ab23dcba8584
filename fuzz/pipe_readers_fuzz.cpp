// Fuzz target: the readers and peeks of the message catalogue, and the one-call reader, over
// simulated game pipes fed arbitrary messages. Every message goes into two pipes: the one-call
// reader takes it from the first, and a reader or peek chosen by the input runs on the second.
// Both must agree with the bytes that were sent: a reader succeeds exactly when the message has
// its record's size (a peek when it has at least that many bytes), decodes its fields from those
// bytes, and leaves its out-parameters alone when it fails.
#include "link/messages.h"
#include "link/record_reader.h"

#include <sim/pipes.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xA5A5A5A5;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

uint32_t Le32(const BYTE* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The record size of each catalogue tag (index = tag), 0 where the tag defines none.
constexpr DWORD kSizes[11] = {0, 8, 8, kMouseInputSize, kKeyboardInputSize, 12, 12, 8, 4, 4, 4};

struct Ends {
    GamePipe server, client;
};

Ends Open(DWORD number) {
    char name[kPipeNameSize];
    MakePipeName(name, number);
    Ends ends;
    // The server end as the overlay makes it: overlapped, message mode.
    ends.server.handle = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                          255, kPipeBufferSize, kPipeBufferSize, 0, nullptr);
    ConnectPipeClient(ends.client, number);
    Check(IsPipeOpen(ends.server) && IsPipeOpen(ends.client));
    return ends;
}

// The one-call reader on the message `m`: its bytes, its size and the verdict on its tag.
void CheckOneCall(GamePipe& pipe, const std::vector<BYTE>& m) {
    Record r;
    Check(ReadNextRecord(pipe, r));
    DWORD size = static_cast<DWORD>(m.size());
    Check(r.size == size && r.count == (size < kLargestRecordSize ? size : kLargestRecordSize));
    Check(r.count == 0 || std::memcmp(r.bytes, m.data(), r.count) == 0);
    DWORD tag = size >= 4 ? Le32(m.data()) : 0;
    Check(r.tag == tag);
    bool known = size >= 4 && tag >= 1 && tag <= 10;
    Check(r.status == (!known                ? RecordStatus::UnknownTag
                       : kSizes[tag] == size ? RecordStatus::Decoded
                                             : RecordStatus::WrongSize));
    if (r.status != RecordStatus::Decoded)
        return;
    Check(r.type == static_cast<MessageType>(tag));
    const BYTE* p = m.data();
    if (r.type == MessageType::MouseInput)
        Check(r.mouseInput.x == static_cast<int32_t>(Le32(p + 8)) &&
              r.mouseInput.wheelDelta == static_cast<int16_t>(p[18] | p[19] << 8) &&
              std::memcmp(r.mouseInput.keyState, p + 24, kKeyStateSize) == 0);
    if (r.type == MessageType::KeyboardInput)
        Check(r.keyboardInput.keyFlags == Le32(p + 8) &&
              std::memcmp(r.keyboardInput.keyState, p + 12, kKeyStateSize) == 0);
    if (r.type == MessageType::ValuePair)
        Check(r.valuePair.first == Le32(p + 4) && r.valuePair.second == Le32(p + 8));
    if (r.type == MessageType::Init)
        Check(r.init.gameThreadId == Le32(p + 4) && r.init.useRawInputHooks == (Le32(p + 8) != 0));
    if (r.type == MessageType::InputActive)
        Check(r.inputActive.active == (Le32(p + 4) != 0));
}

// Reader or peek `which` on the message `m`; afterwards whatever it left of `m` is taken off.
void CheckReader(int which, DWORD rawSize, GamePipe& pipe, const std::vector<BYTE>& m) {
    DWORD size = static_cast<DWORD>(m.size());
    const BYTE* p = m.data();
    DWORD a = kSentinel, b = kSentinel, c = kSentinel;
    int32_t x = kSentinel, y = kSentinel, wheel = kSentinel;
    bool flag = true;
    std::vector<BYTE> keys(kKeyStateSize + 1, 0x5A);
    DWORD need = 0;
    bool peek = false, ok = false, fields = true;
    switch (which) {
    case 0:
        need = 4, peek = true, ok = PeekMessageType(pipe, a);
        Check(a == (ok ? p[0] : 255u)); // always written; only the first byte of the tag
        break;
    case 1:
        need = kMouseInputSize, peek = true, ok = PeekMouseInput(pipe, a, x, y, wheel, b);
        fields = ok ? a == Le32(p + 4) && x == static_cast<int32_t>(Le32(p + 8)) &&
                          wheel == static_cast<int16_t>(p[18] | p[19] << 8) && b == Le32(p + 20)
                    : a == kSentinel && wheel == static_cast<int32_t>(kSentinel);
        break;
    case 2:
        need = kLargeHeaderSize, peek = true, ok = PeekLargeHeader(pipe, a, b, c);
        fields = ok ? a == Le32(p + 4) && c == Le32(p + 12) : a == kSentinel && c == kSentinel;
        break;
    case 3:
    case 4:
    case 5:
        need = 8;
        ok = which == 3   ? ReadRenderActive(pipe, flag)
             : which == 4 ? ReadInputActive(pipe, flag)
                          : ReadInitAllThreads(pipe, flag);
        fields = flag == (ok ? Le32(p + 4) != 0 : true);
        break;
    case 6:
        need = kMouseInputSize, ok = ReadMouseInput(pipe, a, x, y, wheel, b, keys.data());
        fields = ok ? y == static_cast<int32_t>(Le32(p + 12)) &&
                          std::memcmp(keys.data(), p + 24, kKeyStateSize) == 0
                    : y == static_cast<int32_t>(kSentinel) && keys[0] == 0x5A;
        break;
    case 7:
        need = kKeyboardInputSize, ok = ReadKeyboardInput(pipe, a, b, keys.data());
        fields = ok ? a == Le32(p + 4) && std::memcmp(keys.data(), p + 12, kKeyStateSize) == 0
                    : a == kSentinel && keys[128] == 0x5A;
        break;
    case 8:
    case 9:
        need = 12, ok = which == 8 ? ReadValuePair(pipe, a, b) : ReadInit(pipe, a, flag);
        fields = a == (ok ? Le32(p + 4) : kSentinel);
        break;
    case 10:
        need = 4, ok = ReadNotice(pipe);
        break;
    default:
        need = rawSize, ok = ReadRaw(pipe, keys.data(), need);
        fields = keys[need] == 0x5A && (!ok || need == 0 || std::memcmp(keys.data(), p, need) == 0);
    }
    Check(ok == (peek ? size >= need : size == need) && fields);
    Check(keys[kKeyStateSize] == 0x5A);
    DWORD left = peek ? size : size > need ? size - need : 0;
    if (left > 0 || peek) { // a peek leaves even an empty message in place
        std::vector<BYTE> rest(left + 1);
        Check(ReadRaw(pipe, rest.data(), left));
        Check(left == 0 || std::memcmp(rest.data(), p + size - left, left) == 0);
    }
    Check(!PipeHasData(pipe));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    auto next = [&]() -> BYTE { return at < size ? data[at++] : 0; };
    BYTE options = next();
    sim::SetServerPartialReadReportsZero(options & 1);
    bool toServer = options & 2; // which end reads: the overlapped server end or the client
    Ends one = Open(4711), other = Open(4712);
    GamePipe& oneReader = toServer ? one.server : one.client;
    GamePipe& oneWriter = toServer ? one.client : one.server;
    GamePipe& otherReader = toServer ? other.server : other.client;
    GamePipe& otherWriter = toServer ? other.client : other.server;

    for (int steps = 0; at < size && steps < 64; ++steps) {
        int which = next() % 12;
        DWORD rawSize = next();
        size_t length = (next() | next() << 8) % 600;
        std::vector<BYTE> message;
        for (size_t i = 0; i < length && at < size; ++i)
            message.push_back(next());
        DWORD count = static_cast<DWORD>(message.size());
        Check(SendRaw(oneWriter, message.data(), count));
        Check(SendRaw(otherWriter, message.data(), count));
        CheckOneCall(oneReader, message);
        CheckReader(which, rawSize, otherReader, message);
    }
    for (GamePipe* pipe : {&one.client, &one.server, &other.client, &other.server})
        ClosePipe(*pipe);
    return 0;
}
