// Fuzz target: every reader and peek of the message catalogue, and the one-call reader, over a
// simulated game pipe fed arbitrary messages in both directions. The input is a little program:
// write ops put raw messages (or records built by the writers) into the pipe, read ops run one
// reader or peek on one end. A model of both message queues predicts every result, every decoded
// field, and that failed readers leave their out-parameters alone.
#include "link/messages.h"
#include "link/record_reader.h"

#include <sim/pipes.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace {

constexpr DWORD kNumber = 4711;
constexpr DWORD kSentinel = 0xA5A5A5A5;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool Done() const { return at >= size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return v;
    }
};

struct Message {
    std::vector<uint8_t> bytes;
    size_t offset = 0;
    size_t Left() const { return bytes.size() - offset; }
};
using Queue = std::deque<Message>;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Front message of the model queue after a read of `size` bytes: the reader succeeds only when
// exactly `size` bytes were left; a longer message keeps the rest; a shorter one is consumed.
// Returns the bytes the read delivered.
std::vector<uint8_t> ModelRead(Queue& queue, size_t size, bool& whole) {
    Message& m = queue.front();
    size_t n = m.Left() < size ? m.Left() : size;
    std::vector<uint8_t> got(m.bytes.begin() + m.offset, m.bytes.begin() + m.offset + n);
    whole = m.Left() == size;
    bool longer = m.Left() > size;
    m.offset += n;
    if (!longer)
        queue.pop_front();
    return got;
}

// A peek of `size` bytes succeeds when at least that many are left in the front message.
const uint8_t* ModelPeek(const Queue& queue, size_t size) {
    if (queue.empty() || queue.front().Left() < size)
        return nullptr;
    return queue.front().bytes.data() + queue.front().offset;
}

size_t Queued(const Queue& queue) {
    size_t total = 0;
    for (const auto& m : queue)
        total += m.Left();
    return total;
}

void RunReader(int which, GamePipe& pipe, Queue& inbox, Input& in) {
    if (which == 0) { // PeekMessageType also runs on an empty pipe
        DWORD type = kSentinel;
        bool ok = PeekMessageType(pipe, type);
        const uint8_t* front = ModelPeek(inbox, 4);
        Check(ok == (front != nullptr));
        Check(type == (front ? front[0] : 255u));
        return;
    }
    if (which == 1) {
        DWORD total = kSentinel;
        Check(GetPipeBytesAvailable(pipe, total) && total == Queued(inbox));
        Check(PipeHasData(pipe) == (Queued(inbox) > 0));
        return;
    }
    if (which == 2 || which == 3) {
        DWORD message = kSentinel, time = kSentinel, first = kSentinel, second = kSentinel,
              third = kSentinel;
        int32_t x = kSentinel, y = kSentinel, wheel = kSentinel;
        if (which == 2) {
            bool ok = PeekMouseInput(pipe, message, x, y, wheel, time);
            const uint8_t* r = ModelPeek(inbox, kMouseInputSize);
            Check(ok == (r != nullptr));
            if (r) {
                Check(message == Le32(r + 4) && x == static_cast<int32_t>(Le32(r + 8)));
                Check(y == static_cast<int32_t>(Le32(r + 12)) && time == Le32(r + 20));
                Check(wheel == static_cast<int16_t>(r[18] | r[19] << 8));
            } else {
                Check(message == kSentinel && time == kSentinel && wheel == (int32_t)kSentinel);
            }
        } else {
            bool ok = PeekLargeHeader(pipe, first, second, third);
            const uint8_t* r = ModelPeek(inbox, kLargeHeaderSize);
            Check(ok == (r != nullptr));
            if (r)
                Check(first == Le32(r + 4) && second == Le32(r + 8) && third == Le32(r + 12));
            else
                Check(first == kSentinel && second == kSentinel && third == kSentinel);
        }
        return;
    }

    // Readers block on an empty pipe, as on Windows: only read when a message is waiting.
    if (inbox.empty())
        return;
    bool whole = false;
    switch (which) {
    case 4:
    case 5:
    case 6: {
        bool active = true;
        bool ok = which == 4   ? ReadRenderActive(pipe, active)
                  : which == 5 ? ReadInputActive(pipe, active)
                               : ReadInitAllThreads(pipe, active);
        auto got = ModelRead(inbox, 8, whole);
        Check(ok == whole);
        Check(active == (whole ? Le32(got.data() + 4) != 0 : true));
        break;
    }
    case 7: {
        DWORD message = kSentinel, time = kSentinel;
        int32_t x = kSentinel, y = kSentinel, wheel = kSentinel;
        BYTE keys[256];
        std::memset(keys, 0x5A, sizeof keys);
        bool ok = ReadMouseInput(pipe, message, x, y, wheel, time, keys);
        auto got = ModelRead(inbox, kMouseInputSize, whole);
        Check(ok == whole);
        if (whole) {
            const uint8_t* r = got.data();
            Check(message == Le32(r + 4) && x == static_cast<int32_t>(Le32(r + 8)));
            Check(y == static_cast<int32_t>(Le32(r + 12)) && time == Le32(r + 20));
            Check(wheel == static_cast<int16_t>(r[18] | r[19] << 8));
            Check(std::memcmp(keys, r + 24, 256) == 0);
        } else {
            Check(message == kSentinel && x == (int32_t)kSentinel && keys[0] == 0x5A &&
                  keys[255] == 0x5A);
        }
        break;
    }
    case 8: {
        DWORD vk = kSentinel, flags = kSentinel;
        BYTE keys[256];
        std::memset(keys, 0x5A, sizeof keys);
        bool ok = ReadKeyboardInput(pipe, vk, flags, keys);
        auto got = ModelRead(inbox, kKeyboardInputSize, whole);
        Check(ok == whole);
        if (whole)
            Check(vk == Le32(got.data() + 4) && flags == Le32(got.data() + 8) &&
                  std::memcmp(keys, got.data() + 12, 256) == 0);
        else
            Check(vk == kSentinel && flags == kSentinel && keys[128] == 0x5A);
        break;
    }
    case 9: {
        DWORD first = kSentinel, second = kSentinel;
        bool ok = ReadValuePair(pipe, first, second);
        auto got = ModelRead(inbox, kValuePairSize, whole);
        Check(ok == whole);
        Check(first == (whole ? Le32(got.data() + 4) : kSentinel));
        Check(second == (whole ? Le32(got.data() + 8) : kSentinel));
        break;
    }
    case 10: {
        DWORD thread = kSentinel;
        bool raw = true;
        bool ok = ReadInit(pipe, thread, raw);
        auto got = ModelRead(inbox, kInitSize, whole);
        Check(ok == whole);
        Check(thread == (whole ? Le32(got.data() + 4) : kSentinel));
        Check(raw == (whole ? Le32(got.data() + 8) != 0 : true));
        break;
    }
    case 11:
    case 12:
    case 13: {
        bool ok = which == 11   ? ReadInitAllThreadsAllHooks(pipe)
                  : which == 12 ? ReadTakeScreenshot(pipe)
                                : ReadNotice(pipe);
        ModelRead(inbox, kTagOnlySize, whole);
        Check(ok == whole);
        break;
    }
    case 15: { // the one-call reader takes the whole message, whatever it holds
        Record r;
        std::memset(&r, 0x5A, sizeof r);
        bool ok = ReadNextRecord(pipe, r);
        auto got = ModelRead(inbox, inbox.front().Left(), whole);
        Check(ok && r.size == got.size() && r.count == std::min<size_t>(got.size(), 280));
        Check(r.count == 0 || std::memcmp(r.bytes, got.data(), r.count) == 0);
        static const DWORD kSizes[] = {0, 8, 8, 280, 268, 12, 12, 8, 4, 4, 4};
        uint32_t tag = got.size() >= 4 ? Le32(got.data()) : 0;
        DWORD expected = tag < 11 ? kSizes[tag] : 0;
        Check(r.tag == tag && r.type == (expected ? MessageType(tag) : MessageType::NoMessage));
        Check(r.status == (expected == 0            ? RecordStatus::UnknownTag
                           : expected != got.size() ? RecordStatus::WrongSize
                                                    : RecordStatus::Decoded));
        const uint8_t* b = got.data();
        if (r.status == RecordStatus::Decoded && tag == 3)
            Check(r.mouseInput.x == static_cast<int32_t>(Le32(b + 8)) &&
                  r.mouseInput.wheelDelta == static_cast<int16_t>(b[18] | b[19] << 8) &&
                  r.mouseInput.time == Le32(b + 20) &&
                  std::memcmp(r.mouseInput.keyState, b + 24, 256) == 0);
        if (r.status == RecordStatus::Decoded && tag == 4)
            Check(r.keyboardInput.keyFlags == Le32(b + 8) &&
                  std::memcmp(r.keyboardInput.keyState, b + 12, 256) == 0);
        if (r.status == RecordStatus::Decoded && tag == 6)
            Check(r.init.gameThreadId == Le32(b + 4) &&
                  r.init.useRawInputHooks == (Le32(b + 8) != 0));
        break;
    }
    default: { // ReadRaw of a size the input chooses
        DWORD count = in.Byte() * 3u;
        std::vector<uint8_t> buffer(count + 1, 0x5A);
        bool ok = ReadRaw(pipe, buffer.data(), count);
        auto got = ModelRead(inbox, count, whole);
        Check(ok == whole);
        Check(got.empty() || std::memcmp(buffer.data(), got.data(), got.size()) == 0);
        Check(buffer[count] == 0x5A);
        break;
    }
    }
}

// Writes one message from `from`: raw bytes from the input, or a record built by a writer
// (checked byte for byte against the layout when it arrives).
void RunWriter(uint8_t op, GamePipe& from, Queue& inbox, Input& in) {
    std::vector<uint8_t> expected;
    bool sent = false;
    switch (op % 4) {
    case 0: {
        size_t length = (in.Byte() | in.Byte() << 8) % 600;
        for (size_t i = 0; i < length && !in.Done(); ++i)
            expected.push_back(in.Byte());
        sent = SendRaw(from, expected.data(), static_cast<DWORD>(expected.size()));
        break;
    }
    case 1: {
        uint32_t message = in.U32(), x = in.U32(), y = in.U32(), data = in.U32(), time = in.U32();
        BYTE keys[256];
        for (auto& k : keys)
            k = in.Byte();
        sent = SendMouseInput(from, message, static_cast<int32_t>(x), static_cast<int32_t>(y), data,
                              time, keys);
        PutLe32(expected, 3);
        for (uint32_t v : {message, x, y, data, time})
            PutLe32(expected, v);
        expected.insert(expected.end(), keys, keys + 256);
        break;
    }
    case 2: {
        uint32_t vk = in.U32(), flags = in.U32();
        BYTE keys[256];
        for (auto& k : keys)
            k = in.Byte();
        sent = SendKeyboardInput(from, vk, flags, keys);
        PutLe32(expected, 4);
        PutLe32(expected, vk);
        PutLe32(expected, flags);
        expected.insert(expected.end(), keys, keys + 256);
        break;
    }
    default: {
        uint32_t thread = in.U32();
        bool raw = in.Byte() & 1;
        sent = SendInit(from, thread, raw);
        PutLe32(expected, 6);
        PutLe32(expected, thread);
        PutLe32(expected, raw ? 1 : 0);
        break;
    }
    }
    Check(sent);
    inbox.push_back(Message{expected, 0});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    uint8_t options = in.Byte();
    sim::SetServerPartialReadReportsZero(options & 1);

    char name[kPipeNameSize];
    MakePipeName(name, kNumber);
    GamePipe server, client;
    // The server end as the overlay makes it: overlapped, message mode.
    server.handle = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 255,
                                     kPipeBufferSize, kPipeBufferSize, 0, nullptr);
    ConnectPipeClient(client, kNumber);
    Check(IsPipeOpen(server) && IsPipeOpen(client));

    Queue toServer, toClient;
    for (int steps = 0; !in.Done() && steps < 256; ++steps) {
        uint8_t op = in.Byte();
        bool toServerSide = op & 0x40;
        if (op & 0x80)
            RunWriter(op, toServerSide ? client : server, toServerSide ? toServer : toClient, in);
        else
            RunReader(op % 16, toServerSide ? server : client, toServerSide ? toServer : toClient,
                      in);
    }

    ClosePipe(client);
    ClosePipe(server);
    return 0;
}
