// Output window settings and the numeric utilities.
#include "discovery/output_settings.h"

#include <gtest/gtest.h>

#include <string>

TEST(OutputSettings, ModeFollowsKnownValuesAndIgnoresOthers) {
    EXPECT_EQ(GetOutputWindowMode(), 0);
    EXPECT_TRUE(ApplyOutputWindowSetting("OutputWindowMode", nullptr, "OutputWindowMode_Name"));
    EXPECT_EQ(GetOutputWindowMode(), 1);
    ApplyOutputWindowSetting("OutputWindowMode", nullptr, "OutputWindowMode_Default");
    EXPECT_EQ(GetOutputWindowMode(), 0);
    EXPECT_TRUE(ApplyOutputWindowSetting("OutputWindowMode", nullptr, "outputwindowmode_name"));
    EXPECT_EQ(GetOutputWindowMode(), 0);
    EXPECT_TRUE(ApplyOutputWindowSetting("outputwindowmode", nullptr, "OutputWindowMode_Name"));
    EXPECT_EQ(GetOutputWindowMode(), 0);
    EXPECT_TRUE(ApplyOutputWindowSetting("Unknown", nullptr, "x"));
}

TEST(OutputSettings, NameIsCutAt255AndReplacedWhole) {
    EXPECT_STREQ(GetOutputWindowName(), "");
    std::string longName(300, 'w');
    ApplyOutputWindowSetting("OutputWindowName", nullptr, longName.c_str());
    EXPECT_EQ(std::string(GetOutputWindowName()), std::string(255, 'w'));
    const char* name = GetOutputWindowName();
    ApplyOutputWindowSetting("OutputWindowName", nullptr, "abc");
    EXPECT_STREQ(name, "abc"); // changed in place
    ApplyOutputWindowSetting("OutputWindowName", nullptr, "");
    EXPECT_STREQ(GetOutputWindowName(), "");
}

TEST(NumericUtilities, UnpackColorTakesMostSignificantByteFirst) {
    float out[4] = {-1, -1, -1, -1};
    UnpackColor(0xFF000080u, out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_FLOAT_EQ(out[3], 128.0f / 255.0f);
}

TEST(NumericUtilities, NextPowerOfTwoRoundsUpAndClampsNegativesToZero) {
    EXPECT_EQ(NextPowerOfTwo(0), 0u);
    EXPECT_EQ(NextPowerOfTwo(-5), 0u);
    EXPECT_EQ(NextPowerOfTwo(1), 1u);
    EXPECT_EQ(NextPowerOfTwo(3), 4u);
    EXPECT_EQ(NextPowerOfTwo(5), 8u);
    EXPECT_EQ(NextPowerOfTwo(1073741824), 1073741824u);
    EXPECT_EQ(NextPowerOfTwo(1073741825), 2147483648u);
    EXPECT_EQ(NextPowerOfTwo(2147483647), 2147483648u);
}
