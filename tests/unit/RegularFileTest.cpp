#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "TempStage.h"
#include "platform/RegularFile.h"

namespace {

// A FIFO nobody writes into: opening it the plain way waits for ever. Should
// a reader still do that, the alarm ends the test binary instead of hanging
// the suite.
class RegularFileTest : public testing::Test {
protected:
    void SetUp() override { alarm(60); }
    void TearDown() override { alarm(0); }
    void makeFifo(const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << path; }
    TempStage stage{"regular"};
};

}  // namespace

// (Each start-up reader refusing a FIFO and going on: the hostile end-to-end script.)
TEST_F(RegularFileTest, OnlyRegularFilesAreOpened) {
    stage.write("plain.txt", "text\n");
    stage.makeDirectory("folder");
    makeFifo("fifo");
    const struct {
        const char* path;
        bool opens, refused;
    } cases[] = {
        {"plain.txt", true, false}, {"folder", false, true}, {"fifo", false, true},
        {"/dev/null", false, true}, {"missing", false, false}, {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        bool refused = !c.refused;
        testing::internal::CaptureStderr();
        FILE* file = openRegularFile(c.path, "r", &refused);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(file != nullptr, c.opens);
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(err, c.refused ? "Not a regular file, refused: " + std::string(c.path) + "\n" : "");
        EXPECT_TRUE(c.opens || c.refused || errno == ENOENT);
        char line[16] = {};
        if (file) {
            EXPECT_STREQ(fgets(line, sizeof line, file), "text\n");  // reads block as usual again
            fclose(file);
        }
    }
}
