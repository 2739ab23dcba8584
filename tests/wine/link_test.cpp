// The game pipe on real Windows pipes under Wine: every record crossing between two processes
// in both directions byte for byte, the DACL the server end carries, a client reconnecting to a
// new server instance, and korvex-peer decoding what a game client sends.
#include "link/messages.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include "../common/record_bytes.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const BYTE* KeyStates() {
    static BYTE keys[256];
    for (int i = 0; i < 256; ++i)
        keys[i] = static_cast<BYTE>(i * 3 + 1);
    return keys;
}

// One record of each type, with fixed values both processes know.
void SendAllRecords(GamePipe& pipe) {
    const BYTE* keys = KeyStates();
    SendRenderActive(pipe, true);
    SendInputActive(pipe, false);
    SendMouseInput(pipe, 0x020A, -5, 600, 0xFF880012, 123456, keys);
    SendKeyboardInput(pipe, 0x41, 0xC01E0001, keys);
    SendValuePair(pipe, 0xDEADBEEF, 7);
    SendInit(pipe, 300, true);
    SendInitAllThreads(pipe, true);
    SendInitAllThreadsAllHooks(pipe);
    SendTakeScreenshot(pipe);
    SendNotice(pipe);
}

std::vector<Bytes> ExpectedRecords() {
    const BYTE* keys = KeyStates();
    return {Le({1, 1}),
            Le({2, 0}),
            Le({3, 0x020A, static_cast<uint32_t>(-5), 600, 0xFF880012, 123456}, keys),
            Le({4, 0x41, 0xC01E0001}, keys),
            Le({5, 0xDEADBEEF, 7}),
            Le({6, 300, 1}),
            Le({7, 1}),
            Le({8}),
            Le({9}),
            Le({10})};
}

// Opens the client end, retrying while the server has not created its instance yet.
bool ConnectWithRetry(GamePipe& pipe, DWORD number) {
    for (int i = 0; i < 500 && !IsPipeOpen(pipe); ++i) {
        ConnectPipeClient(pipe, number);
        if (!IsPipeOpen(pipe))
            Sleep(20);
    }
    return IsPipeOpen(pipe);
}

// Peeks do not wait: give the other process time to write.
void AwaitData(GamePipe& pipe) {
    for (int i = 0; i < 1000 && !PipeHasData(pipe); ++i)
        Sleep(5);
}

std::string ExeDirectory() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *std::strrchr(path, '\\') = '\0';
    return path;
}

// Starts a program with the given standard handles (null: none given); returns its process.
HANDLE Launch(const std::string& commandLine, HANDLE in, HANDLE out) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (in || out) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = out;
    }
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, in || out, 0, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD WaitForExit(HANDLE process) {
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(process, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, nullptr) &&
           read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

struct ServerThread {
    GamePipe pipe;
    DWORD number;
    bool connected = false;
    HANDLE thread = nullptr;
    static DWORD WINAPI Run(LPVOID self) {
        auto* s = static_cast<ServerThread*>(self);
        s->connected = CreatePipeServer(s->pipe, s->number);
        return 0;
    }
    void Start() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    void Join() {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
};

} // namespace

// The client process of the two-process exchange; skipped unless launched for it.
TEST(LinkChild, EchoesTheServersRecordsThenSendsItsOwn) {
    const char* role = std::strstr(GetCommandLineA(), "--link-child=");
    if (!role)
        GTEST_SKIP() << "runs only as the other process of LinkTwoProcesses";
    DWORD number = std::strtoul(role + 13, nullptr, 10);
    GamePipe client;
    ASSERT_TRUE(ConnectWithRetry(client, number));
    for (size_t i = 0; i < ExpectedRecords().size(); ++i) {
        BYTE buffer[512];
        DWORD read = 0;
        ASSERT_TRUE(ReadPipe(client, buffer, sizeof buffer, read));
        ASSERT_TRUE(SendRaw(client, buffer, read));
    }
    SendAllRecords(client);
    ASSERT_TRUE(SendRaw(client, "0123456789AB", 12));
    BYTE rest[4];
    DWORD read = 0;
    EXPECT_FALSE(ReadPipe(client, rest, sizeof rest, read)); // until the server disconnects
    ClosePipe(client);
}

TEST(LinkTwoProcesses, PassingEveryRecordBothWaysResultsInTheSameBytesAndTheServerEndHasOneAce) {
    const DWORD number = 61001;
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    HANDLE child = Launch(std::string("\"") + exe + "\" --gtest_filter=LinkChild.* --link-child=" +
                              std::to_string(number),
                          nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    GamePipe server;
    ASSERT_TRUE(CreatePipeServer(server, number));

    // The DACL read back: one ACE allowing S-1-2-0 (local logon) all rights.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(server.handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor),
              DWORD{ERROR_SUCCESS});
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<LPVOID*>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask, 0x1FFFFFu);
    SID_IDENTIFIER_AUTHORITY localAuthority = SECURITY_LOCAL_SID_AUTHORITY;
    PSID local = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&localAuthority, 1, SECURITY_LOCAL_RID, 0, 0, 0, 0, 0, 0,
                                         0, &local));
    EXPECT_TRUE(EqualSid(local, &ace->SidStart));
    FreeSid(local);
    LocalFree(descriptor);

    // First the child's echo of what the server's writers sent, then what the child's sent.
    SendAllRecords(server);
    const auto expected = ExpectedRecords();
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& record : expected) {
            BYTE buffer[512];
            DWORD read = 0, type = 0;
            AwaitData(server);
            ASSERT_TRUE(PeekMessageType(server, type));
            EXPECT_EQ(type, record[0]);
            ASSERT_TRUE(ReadPipe(server, buffer, sizeof buffer, read));
            EXPECT_EQ(Bytes(buffer, buffer + read), record);
        }

    // A partial read on the overlapped server end reports the true count; the rest stays.
    BYTE head[4];
    DWORD read = 99;
    AwaitData(server);
    SetLastError(0);
    EXPECT_FALSE(ReadPipe(server, head, sizeof head, read));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MORE_DATA});
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), read), "0123");
    char rest[16];
    ASSERT_TRUE(ReadPipe(server, rest, sizeof rest, read));
    EXPECT_EQ(std::string(rest, read), "456789AB");

    DisconnectPipe(server);
    EXPECT_EQ(WaitForExit(child), 0u);
}

TEST(LinkReconnect, ClientWhoseServerWentAwayReconnectsToTheNextInstance) {
    const DWORD number = 61003;
    ServerThread first{GamePipe{}, number};
    first.Start();
    GamePipe client;
    ASSERT_TRUE(ConnectWithRetry(client, number));
    first.Join();
    ASSERT_TRUE(first.connected);
    DisconnectPipe(first.pipe);

    ServerThread second{GamePipe{}, number};
    second.Start();
    char name[kPipeNameSize];
    MakePipeName(name, number);
    bool listening = false; // WaitNamedPipeA fails at once until the instance exists
    for (int i = 0; i < 500 && !listening; ++i)
        listening = WaitNamedPipeA(name, 20) || (Sleep(20), false);
    ASSERT_TRUE(listening);
    bool a = true, b = true;
    EXPECT_FALSE(PipeHasDataOrReconnect(client, number, a, b));
    EXPECT_TRUE(IsPipeOpen(client));
    EXPECT_TRUE(a && b);
    second.Join();
    ASSERT_TRUE(second.connected);

    ASSERT_TRUE(SendTakeScreenshot(second.pipe));
    EXPECT_TRUE(PipeHasDataOrReconnect(client, number, a, b));
    EXPECT_TRUE(ReadTakeScreenshot(client));

    DisconnectPipe(second.pipe);
    EXPECT_FALSE(PipeHasDataOrReconnect(client, number, a, b)); // no instance left
    EXPECT_FALSE(IsPipeOpen(client));
    EXPECT_FALSE(a || b);
}

namespace {

// Runs korvex-peer against a client of ours; returns its standard output.
std::string RunPeer(DWORD number, bool json) {
    std::string dir = ExeDirectory();
    std::string inPath = dir + "\\peer-" + std::to_string(number) + ".in";
    std::string outPath = dir + "\\peer-" + std::to_string(number) + ".out";
    HANDLE in = InheritableFile(inPath, GENERIC_WRITE, CREATE_ALWAYS);
    const char commands[] = "render on\ninput on\ninit 300 raw\nbogus\ninit-all 1\n"
                            "init-all-hooks\nscreenshot\n";
    DWORD written = 0;
    WriteFile(in, commands, sizeof commands - 1, &written, nullptr);
    CloseHandle(in);
    in = InheritableFile(inPath, GENERIC_READ, OPEN_EXISTING);
    HANDLE out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE peer = Launch("\"" + dir + "\\korvex-peer.exe\" --pipe " + std::to_string(number) +
                             (json ? " --json" : ""),
                         in, out);
    CloseHandle(in);
    CloseHandle(out);
    EXPECT_NE(peer, nullptr);
    if (!peer)
        return {};

    GamePipe game;
    EXPECT_TRUE(ConnectWithRetry(game, number));
    // The peer's commands arrive first, in the order typed ("bogus" sends nothing).
    for (const Bytes& command :
         {Le({1, 1}), Le({2, 1}), Le({6, 300, 1}), Le({7, 1}), Le({8}), Le({9})}) {
        BYTE buffer[16];
        DWORD read = 0;
        AwaitData(game);
        ReadPipe(game, buffer, sizeof buffer, read);
        EXPECT_EQ(Bytes(buffer, buffer + read), command);
    }
    BYTE keys[256] = {};
    keys[0x10] = 0x80;
    keys[0x41] = 0x81;
    SendMouseInput(game, 0x020A, 10, -3, 0x00780000, 4242, keys);
    SendKeyboardInput(game, 0x41, 0x001E0001, keys);
    SendRaw(game, "\x2A\0\0\0\x01\x02\x03", 7);
    SendRaw(game, "\x04\0\0\0\x41\0\0\0", 8); // a KeyboardInput tag on a short message
    SendInit(game, 77, false);
    Sleep(300);
    ClosePipe(game);
    EXPECT_EQ(WaitForExit(peer), 0u);
    std::string output;
    for (char c : ReadWholeFile(outPath)) // the peer writes text lines, CR LF on Windows
        if (c != '\r')
            output += c;
    DeleteFileA(inPath.c_str());
    DeleteFileA(outPath.c_str());
    return output;
}

} // namespace

TEST(LinkPeer, PassingRecordsToThePeerResultsInOneDecodedLineEachAsTextOrJson) {
    const std::vector<std::string> expected[] = {
        {"MouseInput message=0x20A x=10 y=-3 wheelDelta=120 time=4242 keysDown=16,65\n",
         "KeyboardInput virtualKey=0x41 keyFlags=0x1E0001 keysDown=16,65\n",
         "Unknown tag=42 size=7 bytes=2A 00 00 00 01 02 03\n",
         "Unknown tag=4 size=8 bytes=04 00 00 00 41 00 00 00\n",
         "Init gameThreadId=77 useRawInputHooks=0\n", "unknown command: bogus"},
        {"{\"type\":\"MouseInput\",\"message\":522,\"x\":10,\"y\":-3,\"wheelDelta\":120,"
         "\"time\":4242,\"keysDown\":[16,65]}\n",
         "{\"type\":\"Unknown\",\"tag\":42,\"size\":7,\"bytes\":\"2a000000010203\"}",
         "{\"type\":\"Init\",\"gameThreadId\":77,\"useRawInputHooks\":0}"}};
    for (bool json : {false, true}) {
        std::string output = RunPeer(61004 + json, json);
        for (const std::string& line : expected[json])
            EXPECT_NE(output.find(line), std::string::npos) << line << " in:\n" << output;
    }
}

TEST(LinkPeer, PeerWithNoArgumentsExplainsUsageAndFails) {
    std::string dir = ExeDirectory();
    std::string outPath = dir + "\\peer-usage.out";
    HANDLE out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE peer = Launch("\"" + dir + "\\korvex-peer.exe\"", nullptr, out);
    CloseHandle(out);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(WaitForExit(peer), 2u);
    EXPECT_NE(ReadWholeFile(outPath).find("usage: korvex-peer --pipe N"), std::string::npos);
    DeleteFileA(outPath.c_str());
}
