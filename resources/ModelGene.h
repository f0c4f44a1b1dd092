#pragma once
#include <memory>

#include "reactor/Gene.h"

class ObjModel;

// The models of one "mdls*" directory.
class ModelList {
public:
    static constexpr int kSlots = 128;
    ModelList() = default;
    ~ModelList();
    ModelList(const ModelList&) = delete;
    ModelList& operator=(const ModelList&) = delete;

    std::unique_ptr<ObjModel> models[kSlots];
    int count = 0;  // slots in use, at most 127
};

// A gene holding one directory's models; a reactor picks one by fraction.
class ModelGene : public Gene {
public:
    static constexpr int kDirectorySize = 100;

    explicit ModelGene(const char* directory);
    ~ModelGene() override;

    void init() override;
    void update() override {}

    // The model at fraction f of the list; null for an empty list or a slot
    // whose file was not read.
    ObjModel* selectModel(float fraction);

    char directory[kDirectorySize] = {};
    std::unique_ptr<ModelList> models;
    int current = 0;
};
