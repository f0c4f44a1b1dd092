#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempStage.h"
#include "resources/FilesInPath.h"

namespace {

std::vector<std::string> list(const std::string& pattern, std::string* log = nullptr) {
    std::vector<std::string> names;
    const std::string out = captureStdout([&] {
        FilesInPath listing(pattern.c_str());
        for (int i = 0; i < listing.count; ++i) names.push_back(listing.names[i].get());
    });
    if (log) *log = out;
    return names;
}

}  // namespace

TEST(FilesInPath, PrefixPatternListsFilesAndDirectoriesCaseBlindInSortedOrder) {
    TempStage stage("list");
    for (const char* dir : {"imgsB", "imgs", "IMGS", "mdls"}) stage.makeDirectory(dir);
    stage.write("imgs.txt", "x");
    stage.write("myimgs", "x");
    std::string log;
    EXPECT_EQ(list("imgs*", &log), (std::vector<std::string>{"IMGS", "imgs", "imgs.txt", "imgsB"}));
    EXPECT_EQ(log, "FilesInPath:: path = imgs*\nFilesInPath:: filename IMGS\n");
}

TEST(FilesInPath, ExtensionPatternInsideADirectory) {
    TempStage stage("list");
    for (const char* name : {"b.rgb", "A.RGB", "c.txt", "d.rgbx", "e.rgb.bak", ".rgb"})
        stage.write(std::string("set/") + name, "");
    EXPECT_EQ(list("set/*.rgb"), (std::vector<std::string>{".rgb", "A.RGB", "b.rgb"}));
}

TEST(FilesInPath, NoMatchMissingDirectoryOrOverlongPatternGiveAnEmptyListingAndALine) {
    TempStage stage("list");
    stage.makeDirectory("empty");
    std::string log;
    for (const std::string pattern : {"empty/*.rgb", "absent/*.obj"}) {
        EXPECT_TRUE(list(pattern, &log).empty());
        EXPECT_EQ(log, "FilesInPath:: path = " + pattern + "\nFilesInPath::Error in Opening Path " + pattern + "\n");
    }
    EXPECT_TRUE(list(std::string(FilesInPath::kPatternSize, 'a'), &log).empty());
    EXPECT_NE(log.find("FilesInPath::Error pattern longer than 999 characters"), std::string::npos);
}

TEST(FilesInPath, StoresAtMost256NamesTheFirstInOrder) {
    TempStage stage("list");
    for (int i = 0; i < 300; ++i) {
        char name[32];
        snprintf(name, sizeof name, "many/f%03d.obj", 299 - i);
        stage.write(name, "");
    }
    const std::vector<std::string> names = list("many/*.obj");
    ASSERT_EQ(names.size(), 256u);
    EXPECT_EQ(names.front(), "f000.obj");
    EXPECT_EQ(names.back(), "f255.obj");
}
