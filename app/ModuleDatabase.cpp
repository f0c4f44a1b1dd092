// The module database: modules.db in the working directory, one module per
// line. Line i selects reactor index i; its first word names the module and
// chooses its help pages, the images of Reactors/<name>.

#include "app/ModuleDatabase.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/qelUnivCell.h"
#include "platform/RegularFile.h"
#include "platform/TextLines.h"
#include "resources/ImageGene.h"

static_assert(ModuleNames::kMaxModules == qelUnivCell::kMaxModules, "one help gene per module");

bool readModuleNames(const char* path, ModuleNames& modules) {
    modules.count = 0;
    modules.linesIgnored = false;
    FILE* file = openRegularFile(path, "r");
    if (!file) return false;

    int blanks = 0;  // lines without a name since the last named one
    char line[ModuleNames::kNameSize];
    char name[ModuleNames::kNameSize];
    bool truncated = false;
    while (readBoundedLine(file, line, ModuleNames::kNameSize, &truncated)) {
        if (sscanf(line, "%78s", name) != 1) {
            ++blanks;
            continue;
        }
        for (; blanks > 0 && modules.count < ModuleNames::kMaxModules; --blanks)
            modules.names[modules.count++][0] = '\0';
        if (modules.count >= ModuleNames::kMaxModules) {
            modules.linesIgnored = true;
            break;
        }
        snprintf(modules.names[modules.count++], ModuleNames::kNameSize, "%s", name);
    }
    fclose(file);
    return true;
}

void qelUnivCell::buildModuleDatabase() {
    const char* fileName = "modules.db";
    auto modules = std::make_unique<ModuleNames>();
    if (!readModuleNames(fileName, *modules)) {
        printf(" File Open Error %s\n", fileName);
        fflush(stdout);
        char directory[4096];
        if (!getcwd(directory, sizeof directory)) snprintf(directory, sizeof directory, "%s", "(unknown)");
        fprintf(stderr,
                "strata: no readable modules.db in %s (the working directory); the bundled stage is stage/ of the "
                "source tree: start it with ./run.sh, or from inside stage/\n",
                directory);
        exit(1);
    }

    for (int index = 0; index < modules->count; ++index) {
        const char* name = modules->names[index];
        if (name[0] == '\0') {
            printf("Module:: (no name) ID:: %d\n", index);
            moduleHelps[index] = std::make_unique<ImageGene>("");
            continue;
        }
        printf("Module:: %s ID:: %d\n", name, index);
        char path[ModuleNames::kNameSize + 16];
        snprintf(path, sizeof path, "Reactors/%s", name);
        printf("Loading Helps ...%s\n", path);
        moduleHelps[index] = std::make_unique<ImageGene>(path);
    }
    if (modules->linesIgnored) printf("Modules DataBase holds %d modules, further lines ignored\n", kMaxModules);
    moduleCount = modules->count;
    moduleNames = std::move(modules);
    printf("Modules DataBase is built \n");
}
