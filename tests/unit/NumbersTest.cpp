#include <gtest/gtest.h>

#include <string>

#include "platform/Numbers.h"

// Scripts take '-' and 0x, midi.map and options plain digits, scenes either sign; never a sign or blank for a digit.
TEST(Numbers, WholeNumbersOfEachForm) {
    const WholeNumberForm script;
    const WholeNumberForm digits = digitsOnly(6);
    const WholeNumberForm scene = {.hexadecimal = false, .plus = true, .maxLength = 11};
    const struct { const char* token; const WholeNumberForm& form; bool ok; long value; } cases[] = {
        {"0X7f", script, true, 0x7F},     {"-12", script, true, -12},      {"+12", script, false, 0},
        {"0x-0", script, false, 0},       {" 5", script, false, 0},        {"-0x10", script, false, 0},
        {"000000000012", script, true, 12}, {"0000000000012", script, false, 0},
        {"123456", digits, true, 123456}, {"1234567", digits, false, 0},   {"-1", digits, false, 0},
        {"+7", scene, true, 7},           {"-1", scene, true, -1},         {"+-1", scene, false, 0},
        {"0x10", scene, false, 0},        {"00000000007", scene, true, 7}, {"000000000007", scene, false, 0},
    };
    for (const auto& c : cases) {
        long value = 0;
        EXPECT_EQ(parseWholeNumber(c.token, -1000000, 1000000, value, c.form), c.ok) << c.token;
        EXPECT_EQ(value, c.ok ? c.value : 0) << c.token;
    }
    long value = 0;
    EXPECT_FALSE(parseWholeNumber("1000001", -1000000, 1000000, value)) << "outside the range";
}
