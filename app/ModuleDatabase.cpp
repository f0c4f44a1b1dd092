// The module database: modules.db in the working directory, one module per
// line. Line i selects reactor index i; its first word names the module and
// chooses its help pages, the images of Reactors/<name>.

#include <cstdio>
#include <cstdlib>

#include "app/qelUnivCell.h"
#include "resources/ImageGene.h"
#include "resources/TextLines.h"

namespace {

constexpr int kLineSize = 79;  // 78 characters and the terminator

}  // namespace

void qelUnivCell::buildModuleDatabase() {
    const char* fileName = "modules.db";
    FILE* file = fopen(fileName, "r");
    if (!file) {
        printf(" File Open Error %s\n", fileName);
        exit(1);
    }

    // Lines without a name: one in the middle of the file still takes its
    // index, so that every later line keeps selecting the reactor of its line
    // number; it gets an empty help set. Blank lines at the end (and the end
    // of the file after a final line end) make no module.
    int index = 0;
    int blanks = 0;
    char line[kLineSize];
    char name[kLineSize];
    bool truncated = false;
    while (readBoundedLine(file, line, kLineSize, &truncated)) {
        if (sscanf(line, "%78s", name) != 1) {
            ++blanks;
            continue;
        }
        for (; blanks > 0 && index < kMaxModules; --blanks, ++index) {
            printf("Module:: (no name) ID:: %d\n", index);
            moduleHelps[index] = new ImageGene("");
        }
        if (index >= kMaxModules) {
            printf("Modules DataBase holds %d modules, further lines ignored\n", kMaxModules);
            break;
        }
        printf("Module:: %s ID:: %d\n", name, index);
        char path[kLineSize + 16];
        snprintf(path, sizeof path, "Reactors/%s", name);
        printf("Loading Helps ...%s\n", path);
        moduleHelps[index] = new ImageGene(path);
        ++index;
    }
    moduleCount = index;
    fclose(file);
    printf("Modules DataBase is built \n");
}
