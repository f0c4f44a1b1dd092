#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/FilesInPath.h"
#include "support/TempTree.h"

namespace {

std::vector<std::string> namesOf(const FilesInPath& listing) {
    std::vector<std::string> names;
    for (int i = 0; i < listing.count; ++i) names.push_back(listing.names[i]);
    return names;
}

}  // namespace

TEST(FilesInPath, PrefixPatternListsFilesAndDirectoriesCaseBlindInSortedOrder) {
    TempTree tree("list");
    tree.makeDir("imgsB");
    tree.makeDir("imgs");
    tree.makeDir("IMGS");
    tree.makeDir("mdls");
    tree.writeText("imgs.txt", "x");
    tree.writeText("myimgs", "x");
    WorkingDirectory cwd(tree.path());
    std::vector<std::string> names;
    const std::string log = captureStdout([&] {
        FilesInPath listing("imgs*");
        names = namesOf(listing);
        EXPECT_STREQ(listing.pattern, "imgs*");
    });
    EXPECT_EQ(names, (std::vector<std::string>{"IMGS", "imgs", "imgs.txt", "imgsB"}));
    EXPECT_EQ(log, "FilesInPath:: path = imgs*\nFilesInPath:: filename IMGS\n");
}

TEST(FilesInPath, ExtensionPatternInsideADirectory) {
    TempTree tree("list");
    const std::string dir = tree.makeDir("set");
    for (const char* name : {"b.rgb", "A.RGB", "c.txt", "d.rgbx", "e.rgb.bak", ".rgb"}) tree.writeText(std::string("set/") + name, "");
    FilesInPath listing((dir + "/*.rgb").c_str());
    EXPECT_EQ(namesOf(listing), (std::vector<std::string>{".rgb", "A.RGB", "b.rgb"}));
}

TEST(FilesInPath, NoMatchOrMissingDirectoryGivesAnEmptyListingAndALine) {
    TempTree tree("list");
    tree.makeDir("empty");
    for (const std::string& pattern : {tree.path("empty") + "/*.rgb", tree.path("absent") + "/*.obj"}) {
        int count = -1;
        const std::string log = captureStdout([&] { count = FilesInPath(pattern.c_str()).count; });
        EXPECT_EQ(count, 0);
        EXPECT_EQ(log, "FilesInPath:: path = " + pattern + "\nFilesInPath::Error in Opening Path " + pattern + "\n");
    }
}

TEST(FilesInPath, StoresAtMost256NamesTheFirstInOrder) {
    TempTree tree("list");
    tree.makeDir("many");
    for (int i = 0; i < 300; ++i) {
        char name[32];
        snprintf(name, sizeof name, "many/f%03d.obj", 299 - i);
        tree.writeText(name, "");
    }
    std::vector<std::string> names;
    captureStdout([&] { names = namesOf(FilesInPath((tree.path("many") + "/*.obj").c_str())); });
    ASSERT_EQ(names.size(), 256u);
    EXPECT_EQ(names.front(), "f000.obj");
    EXPECT_EQ(names.back(), "f255.obj");
}

TEST(FilesInPath, OverlongPatternIsRefused) {
    const std::string pattern(FilesInPath::kPatternSize, 'a');
    int count = -1;
    const std::string log = captureStdout([&] { count = FilesInPath(pattern.c_str()).count; });
    EXPECT_EQ(count, 0);
    EXPECT_NE(log.find("FilesInPath::Error pattern longer than 999 characters"), std::string::npos);
}

TEST(FilesInPath, WildcardMatching) {
    EXPECT_TRUE(wildcardMatch("imgs*", "imgs"));
    EXPECT_TRUE(wildcardMatch("imgs*", "IMGSclouds"));
    EXPECT_FALSE(wildcardMatch("imgs*", "img"));
    EXPECT_FALSE(wildcardMatch("imgs*", "ximgs"));
    EXPECT_TRUE(wildcardMatch("*.obj", "car.OBJ"));
    EXPECT_FALSE(wildcardMatch("*.obj", "car.obj2"));
    EXPECT_TRUE(wildcardMatch("a*b*c", "aXbYbZc"));  // needs backtracking
    EXPECT_FALSE(wildcardMatch("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(wildcardMatch("?.rgb", "x.rgb"));
    EXPECT_FALSE(wildcardMatch("?.rgb", "xy.rgb"));
}

TEST(FilesInPath, ListingOrderIsCaseBlindThenByteOrder) {
    EXPECT_TRUE(listingOrder("Apple", "banana"));
    EXPECT_TRUE(listingOrder("IMGS", "imgs"));
    EXPECT_FALSE(listingOrder("imgs", "IMGS"));
    EXPECT_TRUE(listingOrder("imgs", "imgs.txt"));
    EXPECT_TRUE(listingOrder("imgs.txt", "imgsB"));
    EXPECT_FALSE(listingOrder("same", "same"));
}
