// The start-up code an MSVC toolchain's C runtime would bring, for the programs that
// scripts/package-test.sh builds in the MSVC ABI against msvcrt.dll's import library: the
// arguments, main, and exit with its result (which flushes stdout).
int main(int argc, char** argv);
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int wildcards,
                                                int* startup);
__declspec(dllimport) void __cdecl exit(int code);

void __cdecl mainCRTStartup(void) {
    int argc = 0, startup = 0;
    char **argv = 0, **env = 0;
    __getmainargs(&argc, &argv, &env, 0, &startup);
    exit(main(argc, argv));
}
