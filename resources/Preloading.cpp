// Start-up preloading of the universe: one image gene per "imgs*" entry and
// one model gene per "mdls*" entry of the working directory.

#include <cstdio>
#include <cstring>

#include "app/qelUnivCell.h"
#include "resources/FilesInPath.h"
#include "resources/ImageGene.h"
#include "resources/ModelGene.h"

// Entries are listed case-blind but only names that begin with the exact
// lower-case prefix get a gene. Plain files (imgs.txt) get one too, which
// then holds nothing. The universe holds 128 sets of each kind; further
// directories are left out with one line.

void qelUnivCell::loadImages() {
    FilesInPath listing("imgs*");
    int k = 0;
    int ignored = 0;
    for (int i = 0; i < listing.count; ++i) {
        const char* name = listing.names[i].get();
        if (strncmp(name, "imgs", 4) != 0) continue;
        if (k >= kMaxSets) {
            ++ignored;
            continue;
        }
        printf("Generate IGene::Loading Image List from directory %s\n", name);
        imageSets[k] = std::make_unique<ImageGene>(name);
        ++k;
    }
    if (ignored > 0) printf("qelUnivCell::loadImages more than %d image sets, directories ignored %d\n", kMaxSets, ignored);
    imageSetCount = k;
    printf("Image PreLoading Complete \n");
}

void qelUnivCell::loadModels() {
    modelSetCount = 0;
    FilesInPath listing("mdls*");
    int k = 0;
    int ignored = 0;
    for (int i = 0; i < listing.count; ++i) {
        const char* name = listing.names[i].get();
        if (strncmp(name, "mdls", 4) != 0) continue;
        if (k >= kMaxSets) {
            ++ignored;
            continue;
        }
        printf("Generate ModelGene::Loading Model List from directory %s\n", name);
        modelSets[k] = std::make_unique<ModelGene>(name);
        ++k;
    }
    if (ignored > 0) printf("qelUnivCell::loadModels more than %d model sets, directories ignored %d\n", kMaxSets, ignored);
    modelSetCount = k;
    printf("Models PreLoading Complete \n");
}
