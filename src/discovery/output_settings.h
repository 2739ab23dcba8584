// Output window settings ("OutputWindowMode", "OutputWindowName") and two numeric utilities.
#pragma once

#include <windows.h>

#include <cstdint>

namespace korvex {

enum OutputWindowMode { OutputWindowMode_Default = 0, OutputWindowMode_Name = 1 };

// The second argument is the settings source's section name; nothing here reads it.
bool ApplyOutputWindowSetting(const char* key, const char* section, const char* value);
int32_t GetOutputWindowMode();
const char* GetOutputWindowName();

// Bytes of `packed`, most significant first, as four floats from 0.0 to 1.0.
void UnpackColor(uint32_t packed, float (&out)[4]);
uint32_t NextPowerOfTwo(int32_t n);

} // namespace korvex
