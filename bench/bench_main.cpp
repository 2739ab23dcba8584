// Benchmark entry: switches the simulated call accounting off (so each simulated call costs
// only its own work), attaches the module in a scratch folder (the log file lands there), then
// runs every benchmark.
#include <benchmark/benchmark.h>
#include <sim/bench.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

int main(int argc, char** argv) {
    char scratch[] = "/tmp/korvex-bench-XXXXXX";
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0)
        return 1;
    sim::SetCallAccounting(false);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::system((std::string("rm -rf ") + scratch).c_str());
    return 0;
}
