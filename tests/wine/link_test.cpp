// The game pipe on real named pipes under Wine: each writer's log line and exact record, the
// readers and peeks on message-mode pipes, the one-call reader, the server end's ways to connect
// or fail (steps made to fail by redirecting one import), the holder, the name and the probes.
// (How each record's bytes decode is left to the fuzzer: fuzz/record_codec_fuzz.cpp.)
#include "link/record_reader.h"
#include "log/log_file.h"
#include "support/fixtures.h"
#include "support/import_patch.h"
#include "support/record_bytes.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <fstream>
#include <functional>
#include <memory>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

using namespace korvex;

namespace {

using namespace std::placeholders;
using Fields = std::vector<int64_t>;
using Lines = std::vector<std::string>;

const BYTE* Keys() {
    static BYTE keys[256];
    for (int i = 0; i < 256; ++i)
        keys[i] = static_cast<BYTE>(i * 7 + 1);
    return keys;
}

// The module log of this program, opened on a file of its own; its text from `offset` on.
std::string LogText(size_t offset = 0) {
    static const std::string path = std::string(getenv("TEMP")) + "\\korvex-link-" +
                                    std::to_string(GetCurrentProcessId()) + ".log";
    static const bool opened = (DeleteFileA(path.c_str()), OpenModuleLog(path.c_str(), 0));
    std::string text(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()),
                     {});
    return opened ? text.substr(offset) : "";
}

// A line of that log: every line of this program carries the same time (see gFixedTime).
std::string Line(const std::string& message) {
    return "4-3-2026 7:5:9:42 [Info] " + message + "\n";
}

std::string Name(DWORD number) {
    char name[kPipeNameSize];
    return MakePipeName(name, number), name;
}

template <class F> F Real(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// Replacements for imports, and what they do and see.
std::function<void()> gClientComes;
Lines gCalls;
constexpr char kCancelIo[] = "CancelIo", kDisconnect[] = "DisconnectNamedPipe",
               kClose[] = "CloseHandle";

// A replacement for an import of type F that only returns `value`.
template <class F, intptr_t value> struct Returns;
template <class R, class... A, intptr_t value> struct Returns<R(WINAPI*)(A...), value> {
    static R WINAPI Call(A...) { return R(value); }
};
#define RETURNING(function, value) #function, Fn(Returns <decltype(&function), value>::Call)

template <class F> const void* Fn(F* function) {
    return reinterpret_cast<const void*>(function);
}

struct Fake {
    // ConnectNamedPipe with a client opening before it or while it waits.
    template <bool before> static BOOL WINAPI Connect(HANDLE pipe, LPOVERLAPPED overlapped) {
        if (before)
            gClientComes();
        BOOL ok = Real<decltype(&ConnectNamedPipe)>("ConnectNamedPipe")(pipe, overlapped);
        DWORD error = GetLastError();
        if (!before)
            gClientComes();
        return SetLastError(error), ok;
    }
    template <const char* name> static BOOL WINAPI Record(HANDLE handle) {
        gCalls.push_back(name);
        return Real<BOOL(WINAPI*)(HANDLE)>(name)(handle);
    }
    // A wait for the client that ends with `result` after the client came.
    template <DWORD result> static DWORD WINAPI Wait(HANDLE, DWORD ms) {
        EXPECT_EQ(ms, 30000u);
        return gClientComes(), result;
    }
    static void WINAPI Time(LPSYSTEMTIME time) { *time = {2026, 3, 3, 4, 7, 5, 9, 42}; }
    // Writes all but the last byte, and says so.
    static BOOL WINAPI ShortWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                  LPOVERLAPPED overlapped) {
        return Real<decltype(&WriteFile)>("WriteFile")(file, bytes, size - 1, written, overlapped);
    }
};

const ImportPatch gFixedTime(nullptr, "kernel32.dll", "GetSystemTime", Fn(Fake::Time));

std::unique_ptr<ImportPatch> Redirect(const char* function, const void* replacement) {
    auto patch = std::make_unique<ImportPatch>(nullptr, "kernel32.dll", function, replacement);
    if (!patch->Applied())
        patch = std::make_unique<ImportPatch>(nullptr, "advapi32.dll", function, replacement);
    return patch;
}

// The pipe's DACL as text; the local group (S-1-2-0) has no short name.
std::string Dacl(HANDLE pipe) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LPSTR text = nullptr; // both left to the process's end: a few hundred bytes
    GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                    nullptr, &descriptor);
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    return text ? text : "";
}

// Every writer with the record it sends and the line it logs before ("" for none).
const std::tuple<std::function<bool(GamePipe&)>, Bytes, std::string> kWriters[] = {
    {std::bind(SendRenderActive, _1, false), Le({1, 0}),
     "Send RenderActive msg to the proxy: active = 0"},
    {std::bind(SendInputActive, _1, true), Bytes{2, 0, 0, 0, 1, 0, 0, 0},
     "Send InputActive msg to the proxy: active = 1"},
    {std::bind(SendMouseInput, _1, 0x020A, -5, 600, 0xFF880012, 123, Keys()),
     Le({3, 0x020A, static_cast<uint32_t>(-5), 600, 0xFF880012, 123}, Keys()), ""},
    {std::bind(SendKeyboardInput, _1, 0xA5A50041, 0xC01E0001, Keys()),
     Le({4, 0xA5A50041, 0xC01E0001}, Keys()), ""},
    {std::bind(SendValuePair, _1, 0xDEADBEEF, 7), Le({5, 0xDEADBEEF, 7}), ""},
    {std::bind(SendInit, _1, 300, true), Bytes{6, 0, 0, 0, 0x2C, 1, 0, 0, 1, 0, 0, 0},
     "Send Init msg to the proxy: gameThreadId=300, useRawInputHooks=1"},
    {std::bind(SendInitAllThreads, _1, true), Le({7, 1}), "Send InitAllThreads msg proxy"},
    {std::bind(SendInitAllThreads, _1, false), Le({7, 0}), "Send InitAllThreads msg proxy"},
    {SendInitAllThreadsAllHooks, Le({8}), "Send InitAllThreadsAllHooks msg proxy"},
    {SendTakeScreenshot, Bytes{9, 0, 0, 0}, "Send TakeScreenshot msg to proxy"},
    {SendNotice, Le({10}), ""},
    {std::bind(SendRaw, _1, "\1\0\0\0\0\1\0\0", 8), Le({1, 0x100}), ""}, // a foreign tag
};

} // namespace

TEST(LinkWriters, EachLogsItsLineBeforeItsOneWriteOfTheExactRecordAndFailsWhenNotAllOfItWent) {
    // The log's own handle stands in for the pipe: the file shows what came first.
    LogText();
    // Passes: the whole record written; no pipe; a write one byte short.
    for (int pass = 0; pass < 3; ++pass)
        for (const auto& [send, bytes, line] : kWriters) {
            SCOPED_TRACE(testing::Message() << "pass " << pass << ", type " << int(bytes[0]));
            size_t before = LogText().size();
            GamePipe pipe{pass == 1 ? INVALID_HANDLE_VALUE : ModuleLog.file};
            auto shortWrite = pass == 2 ? Redirect("WriteFile", Fn(Fake::ShortWrite)) : nullptr;
            EXPECT_EQ(send(pipe), pass == 0);
            std::string logged = line.empty() ? "" : Line(line), sent(bytes.begin(), bytes.end());
            if (pass == 2) // the log's line too is one write, short by its last byte
                logged.resize(logged.size() - !logged.empty()), sent.pop_back();
            EXPECT_EQ(LogText(before), logged + (pass == 1 ? "" : sent));
        }
}

TEST(LinkReaders, EachTakesItsWholeRecordOrNothingOfUseAndPeeksLeaveTheMessageQueued) {
    PipePair pair;
    ASSERT_TRUE(OpenPipePair(pair));
    GamePipe &server = pair.server, &client = pair.client;
    // Every writer's record from the client end, taken by its reader on the overlapped server
    // end (a reader's result first, then what it delivered); the flags read over the opposite.
    for (const auto& writer : kWriters)
        std::get<0>(writer)(client);
    bool f = true;
    DWORD a = 0, b = 0, t = 0;
    int32_t x = 0, y = 0, w = 0;
    BYTE keys[256] = {}, keys2[256] = {};
    EXPECT_TRUE(ReadRenderActive(server, f) && !f && ReadInputActive(server, f) && f);
    EXPECT_EQ(
        Fields({ReadMouseInput(server, a, x, y, w, t, keys), a, x, y, w, t, keys[0], keys[255]}),
        Fields({1, 0x020A, -5, 600, -120, 123, Keys()[0], Keys()[255]}));
    EXPECT_EQ(Fields({ReadKeyboardInput(server, a, b, keys2), a, b, keys2[0], keys2[255]}),
              Fields({1, 0xA5A50041, 0xC01E0001, Keys()[0], Keys()[255]}));
    EXPECT_TRUE(ReadValuePair(server, a, b) && a == 0xDEADBEEF && b == 7);
    EXPECT_TRUE(ReadInit(server, a, f = false) && a == 300 && f);
    EXPECT_TRUE(ReadInitAllThreads(server, f = false) && f && ReadInitAllThreads(server, f) && !f);
    // Readers do not look at the tag.
    EXPECT_TRUE(ReadInitAllThreadsAllHooks(server) && ReadTakeScreenshot(server) &&
                ReadNotice(server) && ReadInitAllThreads(server, f = false) && f);

    // The type peek on the client end: 1 to 3 bytes, then a tag whose second byte is set, which
    // stays queued until it is taken off whole.
    for (const Bytes& message : {Bytes{3}, Bytes{3, 1}, Bytes{3, 1, 0}, Bytes{3, 1, 0, 0}}) {
        SendRaw(server, message.data(), static_cast<DWORD>(message.size()));
        bool whole = message.size() == 4;
        EXPECT_TRUE(PeekMessageType(client, a = 0) == whole && a == (whole ? 3u : 255u) &&
                    ReadRaw(client, keys, 4) == whole);
    }
    // A short message is taken off and changes nothing; of a longer one the rest stays queued.
    Bytes message = Le({1, 2, 3, 4});
    message.resize(300, 0x01);
    SendRaw(server, message.data(), 175);
    EXPECT_FALSE(PeekMouseInput(client, a, x, y, w, b) || PeekLargeHeader(client, a, b, t) ||
                 ReadMouseInput(client, a, x, y, w, b, keys));
    SendRaw(server, message.data(), 300);
    EXPECT_TRUE(PeekLargeHeader(client, a, b, t) && a == 2 && b == 3 && t == 4);
    EXPECT_TRUE(PeekMouseInput(client, a, x, y, w, b) && x == 3 && w == 0x0101);
    EXPECT_TRUE(!ReadInit(client, a = 77, f = true) && a == 77 && f &&
                GetPipeBytesAvailable(client, a) && a == 288);

    // The one-call reader on the server end: each message classified by its tag and size (the
    // rest of a long one skipped), until the client end is gone.
    message.resize(5000, 0xEE); // more than one further read takes off its rest
    const std::pair<Bytes, RecordStatus> messages[] = {{Le({4, 0x41}), RecordStatus::WrongSize},
                                                       {Le({0x109}), RecordStatus::UnknownTag},
                                                       {{9, 0}, RecordStatus::UnknownTag},
                                                       {message, RecordStatus::WrongSize},
                                                       {Le({9}), RecordStatus::Decoded}};
    for (const auto& [bytes, status] : messages)
        SendRaw(client, bytes.data(), static_cast<DWORD>(bytes.size()));
    ClosePipe(client); // what is queued stays readable; then the reads fail
    Record r;
    for (const auto& [bytes, status] : messages) {
        ASSERT_TRUE(ReadNextRecord(server, r));
        auto type = status == RecordStatus::UnknownTag ? MessageType::NoMessage
                                                       : static_cast<MessageType>(bytes[0]);
        EXPECT_EQ(std::make_tuple(r.status, r.type, r.size),
                  std::make_tuple(status, type, DWORD(bytes.size())));
    }
    EXPECT_FALSE(ReadNextRecord(server, r));
    EXPECT_TRUE(!PeekMessageType(client, a = 0) && a == 255); // no pipe
    DisconnectPipe(server);
}

TEST(PipeServer, ConnectsItsClientUnderTheLocalGroupDaclOrDefaultSecurityAndOtherwiseLeavesNoEnd) {
    auto before = Fake::Connect<true>, after = Fake::Connect<false>;
    // Redirected: `function` (if any) and ConnectNamedPipe (if `connect`); what comes of it.
    const struct {
        const char* function;
        const void* replacement;
        decltype(before) connect;
        bool connected, defaultSecurity;
    } rows[] = {
        {nullptr, nullptr, before, true, false},
        {nullptr, nullptr, after, true, false},
        {RETURNING(AllocateAndInitializeSid, FALSE), after, true, true},
        {RETURNING(SetEntriesInAclA, ERROR_OUTOFMEMORY), after, true, true},
        {RETURNING(LocalAlloc, 0), after, true, true},
        {RETURNING(SetSecurityDescriptorDacl, FALSE), after, true, true},
        {RETURNING(CreateNamedPipeA, -1), nullptr, false, false},
        {RETURNING(CreateEventA, 0), nullptr, false, false},
        {RETURNING(ConnectNamedPipe, FALSE), nullptr, false, false},
        {"WaitForSingleObject", Fn(Fake::Wait<WAIT_TIMEOUT>), nullptr, false, false},
        {"WaitForSingleObject", Fn(Fake::Wait<WAIT_FAILED>), nullptr, false, false},
        {RETURNING(GetOverlappedResult, FALSE), after, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        DWORD number = UniquePipeNumber(), n = 0;
        GamePipe server{reinterpret_cast<HANDLE>(0x1234)}, client;
        gClientComes = [&] { ConnectPipeClient(client, number); };
        size_t logged = LogText().size();
        auto patch = row.function ? Redirect(row.function, row.replacement) : nullptr;
        auto connect = row.connect ? Redirect("ConnectNamedPipe", Fn(row.connect)) : nullptr;
        EXPECT_EQ(CreatePipeServer(server, number), row.connected);
        if (row.connected) {
            EXPECT_EQ(Dacl(server.handle) == "D:(A;;0x1fffff;;;S-1-2-0)", !row.defaultSecurity);
            DWORD flags = 0, out = 0, in = 0, inherit = 1;
            EXPECT_EQ(
                Fields({GetNamedPipeInfo(server.handle, &flags, &out, &in, nullptr),
                        GetHandleInformation(server.handle, &inherit), flags, out, in, inherit}),
                Fields({1, 1, PIPE_SERVER_END | PIPE_TYPE_MESSAGE, 3145904, 3145904, 0}));
            EXPECT_EQ(
                LogText(logged),
                Line("Creating proxy pipe; name=" + Name(number)) +
                    (row.defaultSecurity ? Line("Failed to create security attributes") : "") +
                    Line("Connecting to proxy pipe; name=" + Name(number)));
        } else {
            // No end is left: a client that came sees a broken pipe, and no new one opens.
            EXPECT_EQ(server.handle == reinterpret_cast<HANDLE>(0x1234),
                      std::string(row.function) == "CreateNamedPipeA");
            ConnectPipeClient(server, number); // the holder as a probe
            EXPECT_FALSE(IsPipeOpen(server) || GetPipeBytesAvailable(client, n));
        }
        ClosePipe(client);
        DisconnectPipe(server);
    }
}

TEST(PipeEnds, ClosingMakesItsCallsInOrderOrNoneAndTheProbeKeepsTheFlagsUnlessNoEndReopens) {
    EXPECT_EQ(Name(4294967295u), "\\\\.\\pipe\\Korvex-4294967295-Overlay-Game");
    EXPECT_EQ(Fields({GetPipeBufferSize(), GetLargeHeaderSize(), GetMaxRecordsPerPoll(),
                      GetHighestMessageType()}),
              Fields({3145904, 176, 16, 10}));
    // No server: the holder ends invalid.
    GamePipe lonely{nullptr};
    EXPECT_TRUE(IsPipeOpen(lonely));
    ConnectPipeClient(lonely, 1);
    EXPECT_FALSE(IsPipeOpen(lonely));

    // Two server ends of one name, each with its client; the probes on the first.
    DWORD number = UniquePipeNumber();
    PipePair pair, second;
    ASSERT_TRUE(OpenPipePair(pair, number) && OpenPipePair(second, number));
    bool a = true, b = false;
    EXPECT_FALSE(PipeHasData(pair.client) || PipeHasDataOrReconnect(pair.client, number, a, b));
    SendNotice(pair.server);
    EXPECT_TRUE(PipeHasData(pair.client) && PipeHasDataOrReconnect(pair.client, number, a, b) &&
                a && !b);
    auto cancel = Redirect(kCancelIo, Fn(Fake::Record<kCancelIo>));
    auto disconnect = Redirect(kDisconnect, Fn(Fake::Record<kDisconnect>));
    auto close = Redirect(kClose, Fn(Fake::Record<kClose>));
    ClosePipe(lonely);
    DisconnectPipe(lonely);
    DisconnectPipe(pair.server);
    ClosePipe(second.client);
    EXPECT_EQ(gCalls, Lines({kCancelIo, kDisconnect, kClose, kClose}));
    EXPECT_FALSE(IsPipeOpen(pair.server) || IsPipeOpen(second.client));
    DisconnectPipe(second.server);

    // The server end gone: no instance to reopen, so the flags are cleared.
    HANDLE broken = pair.client.handle;
    EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, number, a, b = true) ||
                 IsPipeOpen(pair.client) || a || b);
    EXPECT_FALSE(CloseHandle(broken)); // the probe closed it
    // The next poll once a new instance waits: the client end is open again, the flags stay.
    bool polled = true;
    gClientComes = [&] {
        polled = PipeHasDataOrReconnect(pair.client, number, a = true, b = true);
    };
    auto connect = Redirect("ConnectNamedPipe", Fn(Fake::Connect<false>));
    ASSERT_TRUE(CreatePipeServer(pair.server, number));
    EXPECT_TRUE(IsPipeOpen(pair.client) && !polled && a && b);
    ClosePipePair(pair);
}
