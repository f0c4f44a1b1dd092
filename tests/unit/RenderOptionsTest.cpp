#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "show/RenderOptions.h"

namespace {
struct Parsed {
    bool ok;
    RenderOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> args) {
    Parsed p;
    p.ok = parseRenderOptions(static_cast<int>(args.size()), args.data(), p.options, p.error);
    return p;
}
}  // namespace

TEST(RenderOptions, ReadsEveryOptionInBothSpellingsAndDefaults) {
    const Parsed p = parse({"stage", "--script", "show.txt", "--frames=120", "--frame-ms", "20", "--wav", "in.wav",
                            "--png-every", "30", "--png-frames=5,1,17", "--out", "pictures", "--raw", "--stats",
                            "--warmup=10", "--quiet", "--memory-every", "40"});
    ASSERT_TRUE(p.ok) << p.error;
    const RenderOptions& o = p.options;
    EXPECT_EQ(std::tie(o.directory, o.scriptPath, o.wavPath, o.outDirectory),
              std::make_tuple("stage", "show.txt", "in.wav", "pictures"));
    EXPECT_EQ((std::vector<int>{o.frames, o.frameMillis, o.warmup, o.memoryEvery, o.raw, o.stats, o.quiet}),
              (std::vector<int>{120, 20, 10, 40, 1, 1, 1}));
    EXPECT_EQ(o.pngFrames, (std::vector<int>{1, 5, 17}));
    for (int n : {0, 60, 17}) EXPECT_TRUE(o.wantsPng(n)) << n;  // multiples of 30 and the listed frames
    for (int n : {16, 31}) EXPECT_FALSE(o.wantsPng(n)) << n;
    const RenderOptions d = parse({"dir"}).options;
    EXPECT_EQ((std::vector<int>{d.frameMillis, d.frames, d.raw, d.stats, d.wantsPng(0)}), (std::vector<int>{16, 300, 0, 0, 0}));
    EXPECT_TRUE(parse({"--help"}).options.help);
}

TEST(RenderOptions, RejectsBadArgumentsWithOneLineSayingWhy) {
    EXPECT_EQ(parse({}).error, "the working directory is missing (the directory holding key.db and modules.db)");
    EXPECT_EQ(parse({"a", "b"}).error, "one working directory expected, found a second: 'b'");
    EXPECT_EQ(parse({"a", "--frames", "0"}).error, "--frames needs a whole number 1..100000000, found '0'");
    EXPECT_EQ(parse({"a", "--frame-ms=1001"}).error, "--frame-ms needs a whole number 1..1000, found '1001'");
    EXPECT_EQ(parse({"a", "--png-frames", "3,,4"}).error,
              "--png-frames needs frame numbers separated by commas (for example 10,20,30), found '3,,4'");
    EXPECT_EQ(parse({"a", "--fast=1"}).error, "unknown option --fast");
    EXPECT_EQ(parse({"a", "--fr", "5"}).error, "unknown option --fr") << "ambiguous: --frames or --frame-ms";
}
