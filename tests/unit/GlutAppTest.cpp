#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/GlutApp.h"

// Only `strata --help` and `strata --version` answer; every other argument
// list is left to the argument-count rule (and needs a display).
TEST(GlutApp, HelpAndVersionAnswerOnlyAsTheOneArgument) {
    const struct {
        std::vector<const char*> arguments;
        const char* answer;  // text the output starts with, or null
    } cases[] = {
        {{"strata", "--help"}, "Usage: strata"},
        {{"strata", "--version"}, "strata "},
        {{"strata"}, nullptr},
        {{"strata", "-h"}, nullptr},
        {{"strata", "--HELP"}, nullptr},
        {{"strata", "help"}, nullptr},
        {{"strata", "--help", "x"}, nullptr},
        {{"strata", "x", "--version"}, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.arguments) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        char buffer[16384] = {};
        FILE* out = fmemopen(buffer, sizeof buffer - 1, "w");
        ASSERT_NE(out, nullptr);
        const bool answered = answerInformationRequest(static_cast<int>(c.arguments.size()), argv.data(), out);
        fclose(out);
        const std::string text = buffer;
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(answered, c.answer != nullptr);
        if (c.answer) {
            EXPECT_EQ(text.rfind(c.answer, 0), 0u) << text;
            EXPECT_EQ(text.back(), '\n');
        } else {
            EXPECT_EQ(text, "");
        }
    }
}
