// The real DLL under Wine: loading and unloading it runs the entry point, which opens
// "injected.log" in the current directory.
#include <gtest/gtest.h>

#include <windows.h>

TEST(ModuleEntry, LoadAndFreeLeaveInjectedLogInCurrentDirectory) {
    char directory[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, directory), 0u);
    lstrcatA(directory, "korvex-entry");
    CreateDirectoryA(directory, nullptr);
    char log[MAX_PATH];
    wsprintfA(log, "%s\\injected.log", directory);
    DeleteFileA(log);

    char exeDir[MAX_PATH];
    GetModuleFileNameA(nullptr, exeDir, MAX_PATH);
    *strrchr(exeDir, '\\') = '\0';
    char dll[MAX_PATH];
    wsprintfA(dll, "%s\\VelKorvexHooks.dll", exeDir);

    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(directory));
    HMODULE module = LoadLibraryA(dll);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_NE(GetFileAttributesA(log), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(FreeLibrary(module));
    SetCurrentDirectoryA(previous);

    // Closed at detach: the file can now be deleted.
    EXPECT_TRUE(DeleteFileA(log));
}
