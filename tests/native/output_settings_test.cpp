// Output window settings and the numeric utilities.
#include "discovery/output_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(OutputSettings, ModeFollowsTheTwoKnownValuesOfItsExactKeyOnly) {
    EXPECT_EQ(GetOutputWindowMode(), 0);
    const struct {
        const char *key, *value;
        int32_t mode;
    } steps[] = {
        {"OutputWindowMode", "OutputWindowMode_Name", 1},
        {"OutputWindowMode", "Unknown", 1},
        {"outputwindowmode", "OutputWindowMode_Default", 1},
        {"OutputWindowName", "OutputWindowMode_Default", 1},
        {"OutputWindowMode", "outputwindowmode_default", 1},
        {"OutputWindowMode", "OutputWindowMode_Default", 0},
        {"OutputWindowMode", "outputwindowmode_name", 0},
    };
    for (const auto& s : steps) {
        EXPECT_TRUE(ApplyOutputWindowSetting(s.key, nullptr, s.value));
        EXPECT_EQ(GetOutputWindowMode(), s.mode) << s.key << " " << s.value;
    }
}

TEST(OutputSettings, NameIsCutAt255AndReplacedWholeInPlace) {
    EXPECT_STREQ(GetOutputWindowName(), "");
    ApplyOutputWindowSetting("OutputWindowName", nullptr, std::string(300, 'w').c_str());
    EXPECT_EQ(std::string(GetOutputWindowName()), std::string(255, 'w'));
    const char* name = GetOutputWindowName();
    ApplyOutputWindowSetting("OutputWindowName", nullptr, "abc");
    EXPECT_STREQ(name, "abc");
    ApplyOutputWindowSetting("OutputWindowMode", nullptr, "OutputWindowMode_Name");
    EXPECT_STREQ(name, "abc"); // the mode's key leaves the name alone
    ApplyOutputWindowSetting("OutputWindowName", nullptr, "");
    EXPECT_STREQ(GetOutputWindowName(), "");
}

TEST(NumericUtilities, UnpackColorPutsEachByteMostSignificantFirstOver255) {
    float out[4] = {-1, -1, -1, -1};
    UnpackColor(0xFF804001u, out);
    EXPECT_EQ(std::vector<float>(out, out + 4),
              (std::vector<float>{1.0f, 128 / 255.0f, 64 / 255.0f, 1 / 255.0f}));
}

TEST(NumericUtilities, NextPowerOfTwoRoundsUpAndGivesZeroForNegatives) {
    for (auto [n, power] : {std::pair<int32_t, uint32_t>{0, 0},
                            {-5, 0},
                            {1, 1},
                            {3, 4},
                            {5, 8},
                            {1073741824, 1073741824},
                            {1073741825, 2147483648u},
                            {2147483647, 2147483648u}})
        EXPECT_EQ(NextPowerOfTwo(n), power) << n;
}
