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

namespace {

// Builds a gene for every entry whose name begins with prefix ("imgs",
// "mdls"), at most qelUnivCell::kMaxSets of them; returns how many. The
// lines say which directory each gene loads and, with %d the limit and the
// count, which were left out.
template <class SetGene>
int loadSets(const char* prefix, std::unique_ptr<SetGene>* sets, const char* loadingLine, const char* ignoredLine) {
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%s*", prefix);
    FilesInPath listing(pattern);
    int k = 0;
    int ignored = 0;
    for (int i = 0; i < listing.count; ++i) {
        const char* name = listing.names[i].get();
        if (strncmp(name, prefix, strlen(prefix)) != 0) continue;
        if (k >= qelUnivCell::kMaxSets) {
            ++ignored;
            continue;
        }
        printf(loadingLine, name);
        sets[k] = std::make_unique<SetGene>(name);
        ++k;
    }
    if (ignored > 0) printf(ignoredLine, qelUnivCell::kMaxSets, ignored);
    return k;
}

}  // namespace

void qelUnivCell::loadImages() {
    imageSetCount = loadSets("imgs", imageSets, "Generate IGene::Loading Image List from directory %s\n",
                             "qelUnivCell::loadImages more than %d image sets, directories ignored %d\n");
    printf("Image PreLoading Complete \n");
}

void qelUnivCell::loadModels() {
    modelSetCount = 0;  // none while the genes are built
    modelSetCount = loadSets("mdls", modelSets, "Generate ModelGene::Loading Model List from directory %s\n",
                             "qelUnivCell::loadModels more than %d model sets, directories ignored %d\n");
    printf("Models PreLoading Complete \n");
}
