// The game pipe between two processes on real Windows pipes under Wine: every record crossing
// in both directions byte for byte, the DACL the server end carries, and a partial read on the
// overlapped server end. (korvex-peer's decoding is exercised by the end-to-end and package
// runs, which read what it prints.)
#include "link/messages.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include "support/record_bytes.h"
#include "support/launch.h"

#include <cstring>
#include <string>
#include <vector>

using namespace korvex;

namespace {

const BYTE* KeyStates() {
    static BYTE keys[256];
    for (int i = 0; i < 256; ++i)
        keys[i] = static_cast<BYTE>(i * 3 + 1);
    return keys;
}

// Records of the three shapes (a flag, the largest record, a bare tag), with values both
// processes know, and the bytes each must give; the layouts of the others are the codec's tests.
void SendEveryRecord(GamePipe& pipe) {
    SendRenderActive(pipe, true);
    SendMouseInput(pipe, 0x020A, -5, 600, 0xFF880012, 123456, KeyStates());
    SendNotice(pipe);
}

const std::vector<Bytes> kEveryRecord = {
    Le({1, 1}), Le({3, 0x020A, static_cast<uint32_t>(-5), 600, 0xFF880012, 123456}, KeyStates()),
    Le({10})};

// Opens the client end, retrying while the server has not created its instance yet.
bool ConnectWithRetry(GamePipe& pipe, DWORD number) {
    for (int i = 0; i < 500 && !IsPipeOpen(pipe); ++i)
        if (ConnectPipeClient(pipe, number), !IsPipeOpen(pipe))
            Sleep(20);
    return IsPipeOpen(pipe);
}

// Peeks do not wait: gives the other process time to write.
void AwaitData(GamePipe& pipe) {
    for (int i = 0; i < 1000 && !PipeHasData(pipe); ++i)
        Sleep(5);
}

} // namespace

// The client process of the two-process exchange; skipped unless launched for it.
TEST(LinkChild, EchoesTheServersRecordsThenSendsItsOwn) {
    const char* role = std::strstr(GetCommandLineA(), "--link-child=");
    if (!role)
        GTEST_SKIP() << "runs only as the other process of LinkTwoProcesses";
    GamePipe client;
    ASSERT_TRUE(ConnectWithRetry(client, std::strtoul(role + 13, nullptr, 10)));
    for (size_t i = 0; i < kEveryRecord.size(); ++i) { // reads wait for the next record
        BYTE buffer[512];
        DWORD read = 0;
        ASSERT_TRUE(ReadPipe(client, buffer, sizeof buffer, read));
        ASSERT_TRUE(SendRaw(client, buffer, read));
    }
    SendEveryRecord(client);
    ASSERT_TRUE(SendRaw(client, "0123456789AB", 12));
    BYTE rest[4];
    DWORD read = 0;
    EXPECT_FALSE(ReadPipe(client, rest, sizeof rest, read)); // until the server disconnects
    ClosePipe(client);
}

TEST(LinkTwoProcesses, EveryRecordCrossesBothWaysUnchangedAndTheServerEndHasTheLocalAce) {
    HANDLE child =
        Launch("\"" + ProgramPath() + "\" --gtest_filter=LinkChild.* --link-child=61001");
    ASSERT_NE(child, nullptr);
    GamePipe server;
    ASSERT_TRUE(CreatePipeServer(server, 61001));

    // The DACL read back: one ACE allowing S-1-2-0 (local logon) all rights.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(server.handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor),
              DWORD{ERROR_SUCCESS});
    ASSERT_TRUE(dacl != nullptr && dacl->AceCount == 1);
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
    SendEveryRecord(server);
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& record : kEveryRecord) {
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
    EXPECT_FALSE(ReadPipe(server, head, sizeof head, read));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), read), "0123");
    char rest[16];
    ASSERT_TRUE(ReadPipe(server, rest, sizeof rest, read));
    EXPECT_EQ(std::string(rest, read), "456789AB");

    DisconnectPipe(server);
    EXPECT_EQ(WaitForExit(child), 0u);
}
