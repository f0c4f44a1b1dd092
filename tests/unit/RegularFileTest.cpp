#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "TempStage.h"
#include "app/KeyBindings.h"
#include "app/ModuleDatabase.h"
#include "platform/RegularFile.h"
#include "resources/ImageGene.h"
#include "resources/ObjModel.h"
#include "support/GlTestContext.h"
#include "support/SgiWriter.h"

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

// Every start-up reader refuses a FIFO with one line and goes on as for a
// file it cannot read: key.db leaves every key unbound, a model is empty
// (with the reader's own " File Open Error " line), modules.db reads nothing,
// and an image leaves its slot empty while the set loads on (a FIFO is no
// image that cannot be opened: it does not end the program).
TEST_F(RegularFileTest, StartUpReadersRefuseFifosAndGoOn) {
    ASSERT_TRUE(ensureGlContext());
    stage.makeDirectory("imgs");
    stage.makeDirectory("mdls");
    for (const char* path : {"key.db", "modules.db", "mdls/a.obj", "imgs/zz.rgb"}) makeFifo(path);
    ASSERT_TRUE(writeSolidSgi("imgs/a.rgb", 2, 2, 10, 20, 30));

    testing::internal::CaptureStderr();
    std::string out = captureStdout([] { loadKeyBindings("key.db", false); });
    EXPECT_EQ(out, "");
    for (int key = 0; key < kKeyMapSize; ++key) ASSERT_EQ(keyMap()[key], 128) << key;

    std::unique_ptr<ObjModel> model;
    out = captureStdout([&] { model = std::make_unique<ObjModel>("mdls/a.obj"); });
    EXPECT_NE(out.find(" File Open Error mdls/a.obj\n"), std::string::npos) << out;
    EXPECT_EQ(model->cornerLength(), 0);

    auto modules = std::make_unique<ModuleNames>();
    EXPECT_FALSE(readModuleNames("modules.db", *modules));
    EXPECT_EQ(modules->count, 0);

    std::unique_ptr<ImageGene> gene;
    out = captureStdout([&] { gene = std::make_unique<ImageGene>("imgs"); });
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(gene->imageCount(), 2);
    EXPECT_TRUE(gene->images->images[0] && !gene->images->images[1]);
    EXPECT_EQ(gene->images->width, 2) << "the refused image read nothing";
    EXPECT_EQ(out.find("unreadable"), std::string::npos) << out;
    for (const char* path : {"key.db", "mdls/a.obj", "modules.db", "imgs/zz.rgb"})
        EXPECT_EQ(countOf(err, std::string("Not a regular file, refused: ") + path + "\n"), 1) << path << err;
}
