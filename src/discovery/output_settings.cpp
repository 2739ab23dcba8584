// Output window settings and the numeric utilities.
#include "discovery/output_settings.h"

#include <cstring>

namespace korvex {

namespace {
int32_t outputWindowMode = OutputWindowMode_Default;
char outputWindowName[256] = {};
} // namespace

bool ApplyOutputWindowSetting(const char* key, const char*, const char* value) {
    if (std::strcmp(key, "OutputWindowMode") == 0) {
        if (std::strcmp(value, "OutputWindowMode_Default") == 0)
            outputWindowMode = OutputWindowMode_Default;
        else if (std::strcmp(value, "OutputWindowMode_Name") == 0)
            outputWindowMode = OutputWindowMode_Name;
    }
    if (std::strcmp(key, "OutputWindowName") == 0) {
        std::strncpy(outputWindowName, value, sizeof outputWindowName - 1);
        outputWindowName[sizeof outputWindowName - 1] = '\0';
    }
    return true;
}

int32_t GetOutputWindowMode() {
    return outputWindowMode;
}

const char* GetOutputWindowName() {
    return outputWindowName;
}

void UnpackColor(uint32_t packed, float (&out)[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<float>((packed >> (24 - 8 * i)) & 0xFF) / 255.0f;
}

uint32_t NextPowerOfTwo(int32_t n) {
    if (n < 0)
        return 0;
    int32_t m = n - 1;
    m |= m >> 1;
    m |= m >> 2;
    m |= m >> 4;
    m |= m >> 8;
    m |= m >> 16;
    return static_cast<uint32_t>(m) + 1u;
}

} // namespace korvex
