// The real DLL under Wine: loading it opens "injected.log" in the current directory (moving a log
// over 5,242,880 bytes to "injected.log.0") and writes no line; unloading it closes the log and
// leaves the cursor and the game's raw-input registrations as the hooks left them.
#include "support/fixtures.h"
#include "support/launch.h"

#include <gtest/gtest.h>

namespace {

LONG SizeOf(const char* file) { // -1: no such file
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExA(file, GetFileExInfoStandard, &data) ? data.nFileSizeLow : -1;
}

template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

TEST(ModuleEntry, LoadOpensTheLogUnderItsLimitAndUnloadLeavesCursorAndRegistrationsAsTheyAre) {
    char directory[MAX_PATH];
    lstrcatA(directory + GetTempPathA(MAX_PATH, directory), "korvex-entry");
    CreateDirectoryA(directory, nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(directory));
    DeleteFileA("injected.log.0");
    const std::string dll = ProgramPath("VelKorvexHooks.dll");
    for (LONG size : {0x500000L, 0x500001L}) { // at the limit the log is kept, over it moved
        HANDLE log = CreateFileA("injected.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, 0);
        SetFilePointer(log, size, nullptr, FILE_BEGIN);
        SetEndOfFile(log);
        CloseHandle(log);
        EXPECT_TRUE(FreeLibrary(LoadLibraryA(dll.c_str())));
        EXPECT_EQ(SizeOf("injected.log.0"), size == 0x500000 ? -1 : size);
    }
    EXPECT_EQ(SizeOf("injected.log"), 0);
    EXPECT_TRUE(DeleteFileA("injected.log")); // closed at unload

    PipePair pipe;
    ASSERT_TRUE(OpenPipePair(pipe));
    ProxyControl proxy; // d3d11.dll, which the module finds by that name
    proxy.state = {1, pipe.client.handle, nullptr, 1, 0, 0, 0, 0};
    proxy.Apply();
    RAWINPUTDEVICE keyboard = {1, 6, 0, CreateTestWindow(RECT{100, 50, 740, 530})};
    ASSERT_TRUE(RegisterRawInputDevices(&keyboard, 1, sizeof keyboard));
    const int shown = ShowCursor(TRUE); // the display counter, one up
    HANDLE held = CreateFileA("injected.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, 0);
    HMODULE module = LoadLibraryA(dll.c_str()); // loads also when the log cannot be opened
    ASSERT_NE(module, nullptr);
    CloseHandle(held);
    Export<void(__cdecl*)()>(module, "InputActiveStateTransitionHook")();
    Export<HOOKPROC>(module, "keyboardHook")(HC_ACTION, 'A', 1); // takes the cursor over
    EXPECT_TRUE(FreeLibrary(module));
    // The arrow and the take-over's raise of the display counter are still there.
    EXPECT_TRUE(GetCursor() == LoadCursorA(nullptr, IDC_ARROW) && ShowCursor(FALSE) == shown);
    UINT registered = 1;
    EXPECT_EQ(GetRegisteredRawInputDevices(nullptr, &registered, sizeof keyboard), 0u);
    EXPECT_EQ(registered, 0u);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(pipe.client.handle, &flags)); // the lent pipe stays open
}
