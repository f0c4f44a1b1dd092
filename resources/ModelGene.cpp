#include "resources/ModelGene.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "resources/FilesInPath.h"
#include "resources/ObjModel.h"

namespace {

constexpr int kPathSize = 1000;  // a full file path, terminator included

}  // namespace

ModelList::~ModelList() = default;

ModelGene::ModelGene(const char* name) {
    printf("ModelGene ---%s\n", name ? name : "");
    // A refused name leaves the gene usable, with no models.
    copyDirectoryName(directory, kDirectorySize, name,
                      "ModelGene::directory name longer than %d characters, no models\n");
    current = 0;
    ModelGene::init();
}

ModelGene::~ModelGene() = default;

void ModelGene::init() {
    if (models) return;  // built once, by the constructor
    printf("ImageGene::Loading Image List %s\n", directory);
    models = std::make_unique<ModelList>();
    char pattern[kPathSize];
    // An empty directory name lists nothing, rather than the file system's root.
    if (directory[0] != '\0' &&
        snprintf(pattern, sizeof pattern, "%s/*.obj", directory) < static_cast<int>(sizeof pattern)) {
        FilesInPath listing(pattern);
        for (int i = 0; i < listing.count; ++i) {
            const char* name = listing.names[i].get();
            const size_t length = strlen(name);
            // Only a lower-case ".obj" ending is read; other listed names
            // (the listing is case-blind) keep their slot, which stays null.
            if (length > 4 && strcmp(name + length - 4, ".obj") == 0) {
                char path[kPathSize];
                if (snprintf(path, sizeof path, "%s/%s", directory, name) >= static_cast<int>(sizeof path)) {
                    printf("ModelGene::path too long, skipped %s\n", name);
                } else {
                    printf("Reading Models ...%s\n", path);
                    models->models[models->count] = std::make_unique<ObjModel>(path);
                }
            }
            if (models->count > ModelList::kSlots - 2) break;
            ++models->count;
        }
    }
    printf("Models set %d models\n", models->count);
    printf("ImageGene::Images loaded\n");
    printf("ImageGene::initialization complete\n");
}

ObjModel* ModelGene::selectModel(float fraction) {
    const int count = models ? models->count : 0;
    // An empty list has no model to give: null, which drawing skips.
    if (count <= 0) return nullptr;
    // count x f truncated toward zero; NaN, negative and very large fractions
    // are kept inside int before the conversion.
    const float p = static_cast<float>(count) * fraction;
    int k = 0;
    if (p >= 2147483520.0f)
        k = static_cast<int>(std::fmod(static_cast<double>(p), static_cast<double>(count)));
    else if (p > 0.0f)
        k = static_cast<int>(p) % count;
    current = k;
    return models->models[k].get();
}
