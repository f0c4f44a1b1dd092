#pragma once
#include <filesystem>
#include <string>

// A temporary working directory for tests that read files from the working
// directory (key.db, modules.db, imgs*, mdls*, Reactors/). The constructor
// creates it and changes into it; the destructor changes back and removes it.
class TempStage {
public:
    explicit TempStage(const std::string& name = "stage");
    ~TempStage();
    TempStage(const TempStage&) = delete;
    TempStage& operator=(const TempStage&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes a text file relative to the stage (parent directories created).
    void write(const std::string& relative, const std::string& content) const;
    void makeDirectory(const std::string& relative) const;

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};
