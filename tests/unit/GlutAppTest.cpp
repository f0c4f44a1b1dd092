#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/GlutApp.h"

// Only `strata --help` and `strata --version` answer (tests/e2e/nodisplay.sh
// runs those two and `--help x`); every near miss is left to the
// argument-count rule.
TEST(GlutApp, HelpAndVersionAnswerOnlyAsTheOneArgument) {
    const std::vector<std::vector<const char*>> cases = {{"strata", "--help"},  {"strata", "--version"},
                                                         {"strata"},            {"strata", "-h"},
                                                         {"strata", "--HELP"},  {"strata", "help"},
                                                         {"strata", "--help", "x"}, {"strata", "x", "--version"}};
    std::string answers;
    for (const auto& arguments : cases) {
        std::vector<char*> argv;
        for (const char* a : arguments) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        char buffer[16384] = {};
        FILE* out = fmemopen(buffer, sizeof buffer - 1, "w");
        const bool answered = answerInformationRequest(static_cast<int>(arguments.size()), argv.data(), out);
        fclose(out);
        const std::string text = buffer;  // its start, and whether it ends its line
        answers.append(answered ? "+" : "-").append(text, 0, 7).append(text.empty() || text.back() == '\n' ? "|" : "?");
    }
    EXPECT_EQ(answers, "+Usage: |+strata |-|-|-|-|-|-|");
}
