// Fuzzes the module database: modules.db is read by the universe, whose help
// pages are image genes and so need an OpenGL context. One universe is built
// once, in a private working directory with an empty modules.db, under a
// headless EGL context (no window, no X server); each fuzz input then becomes
// modules.db and the database is rebuilt in that universe. Whatever the file
// holds, at most 128 modules are built, every index below the count has its
// help gene and nothing is written past the arrays.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzInput.h"
#include "app/HeadlessContext.h"
#include "app/VirtualScreen.h"
#include "app/qelUnivCell.h"
#include "resources/ImageGene.h"

namespace {
qelUnivCell* gUniverse = nullptr;
// The universe reads modules.db from the working directory; the fuzzer's own
// paths (corpus, artifacts) are relative to the directory it started in. Each
// run steps into the stage and back.
int gStartDirectory = -1;
int gStageDirectory = -1;
std::string gModulesPath;

void fail(const char* why) {
    fprintf(stderr, "ModulesDbFuzz: %s\n", why);
    abort();
}

void releaseModules(qelUnivCell& universe) {
    for (ImageGene*& help : universe.moduleHelps) {
        delete help;
        help = nullptr;
    }
    universe.moduleCount = 0;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietStandardOutput();
    static HeadlessContext context;
    if (!context.create()) {
        fprintf(stderr, "ModulesDbFuzz: no headless OpenGL context: %s\n", context.error().c_str());
        exit(1);
    }
    static VirtualScreen screen;
    screen.create();
    screen.bind();
    setActiveVirtualScreen(&screen);

    const std::filesystem::path stage = fuzzFilePath("-stage");
    std::filesystem::remove_all(stage);
    std::filesystem::create_directories(stage);
    gModulesPath = (stage / "modules.db").string();
    if (!writeFuzzFile(gModulesPath, nullptr, 0)) fail("cannot write modules.db");
    gStartDirectory = open(".", O_RDONLY | O_DIRECTORY);
    gStageDirectory = open(stage.c_str(), O_RDONLY | O_DIRECTORY);
    if (gStartDirectory < 0 || gStageDirectory < 0 || fchdir(gStageDirectory) != 0) fail("cannot enter the stage");
    // Built once: its cells hold no help gene (there are no modules yet), so
    // rebuilding the database below leaves nothing pointing at freed genes.
    gUniverse = new qelUnivCell();
    if (fchdir(gStartDirectory) != 0) fail("cannot leave the stage");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeFuzzFile(gModulesPath, data, size)) fail("cannot write modules.db");
    qelUnivCell& universe = *gUniverse;
    releaseModules(universe);
    if (fchdir(gStageDirectory) != 0) fail("cannot enter the stage");
    universe.buildModuleDatabase();
    if (fchdir(gStartDirectory) != 0) fail("cannot leave the stage");

    if (universe.moduleCount < 0 || universe.moduleCount > qelUnivCell::kMaxModules) fail("module count outside 0..128");
    for (int i = 0; i < qelUnivCell::kMaxModules; ++i) {
        const bool held = universe.moduleHelps[i] != nullptr;
        if (held != (i < universe.moduleCount)) fail("help genes do not match the module count");
        if (held && universe.moduleHelps[i]->imageCount() != 0) fail("help pages found in an empty stage");
    }
    releaseModules(universe);
    return 0;
}
