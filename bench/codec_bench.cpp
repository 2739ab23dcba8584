// Codec cost per record: each writer and reader of the input records, and the one-call reader,
// over a loopback handle, beside the bare WriteFile/ReadFile of the same number of bytes on the
// same handle.
#include "link/messages.h"
#include "link/record_reader.h"

#include <benchmark/benchmark.h>
#include <sim/bench.h>

#include <cstring>

namespace {

BYTE keys[256];

GamePipe Loopback() {
    GamePipe pipe;
    pipe.handle = sim::CreateLoopbackHandle();
    return pipe;
}

void BareWrite(benchmark::State& state, DWORD size) {
    GamePipe pipe = Loopback();
    BYTE record[280] = {};
    for (auto _ : state) {
        DWORD written = 0;
        WriteFile(pipe.handle, record, size, &written, nullptr);
        benchmark::DoNotOptimize(written);
    }
}

void BareRead(benchmark::State& state, DWORD size) {
    GamePipe pipe = Loopback();
    BYTE record[280] = {};
    WriteFile(pipe.handle, record, size, nullptr, nullptr);
    for (auto _ : state) {
        DWORD read = 0;
        ReadFile(pipe.handle, record, size, &read, nullptr);
        benchmark::DoNotOptimize(record);
    }
}

void BM_Bare_WriteFile_280(benchmark::State& state) {
    BareWrite(state, kMouseInputSize);
}
void BM_Bare_WriteFile_268(benchmark::State& state) {
    BareWrite(state, kKeyboardInputSize);
}
void BM_Bare_ReadFile_280(benchmark::State& state) {
    BareRead(state, kMouseInputSize);
}
void BM_Bare_ReadFile_268(benchmark::State& state) {
    BareRead(state, kKeyboardInputSize);
}

void BM_Codec_SendMouseInput(benchmark::State& state) {
    GamePipe pipe = Loopback();
    DWORD i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(SendMouseInput(pipe, 0x200, 10, 20, 0x00780000, ++i, keys));
}

void BM_Codec_SendKeyboardInput(benchmark::State& state) {
    GamePipe pipe = Loopback();
    DWORD i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(SendKeyboardInput(pipe, 0x41, ++i, keys));
}

void BM_Codec_ReadMouseInput(benchmark::State& state) {
    GamePipe pipe = Loopback();
    SendMouseInput(pipe, 0x20A, -5, 7, 0xFF880000, 1234, keys);
    DWORD message = 0, time = 0;
    int32_t x = 0, y = 0, wheel = 0;
    BYTE out[256];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadMouseInput(pipe, message, x, y, wheel, time, out));
        benchmark::DoNotOptimize(out);
    }
}

void BM_Codec_ReadKeyboardInput(benchmark::State& state) {
    GamePipe pipe = Loopback();
    SendKeyboardInput(pipe, 0x41, 0x001E0001, keys);
    DWORD virtualKey = 0, flags = 0;
    BYTE out[256];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadKeyboardInput(pipe, virtualKey, flags, out));
        benchmark::DoNotOptimize(out);
    }
}

void BM_Codec_ReadNextRecord(benchmark::State& state) {
    GamePipe pipe = Loopback();
    SendMouseInput(pipe, 0x20A, -5, 7, 0xFF880000, 1234, keys);
    Record record;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadNextRecord(pipe, record));
        benchmark::DoNotOptimize(record);
    }
}

} // namespace

BENCHMARK(BM_Bare_WriteFile_280);
BENCHMARK(BM_Codec_SendMouseInput);
BENCHMARK(BM_Bare_WriteFile_268);
BENCHMARK(BM_Codec_SendKeyboardInput);
BENCHMARK(BM_Bare_ReadFile_280);
BENCHMARK(BM_Codec_ReadMouseInput);
BENCHMARK(BM_Codec_ReadNextRecord);
BENCHMARK(BM_Bare_ReadFile_268);
BENCHMARK(BM_Codec_ReadKeyboardInput);
