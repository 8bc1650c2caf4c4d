// File types that a scripted run hands to the recording program, or leaves
// without any program, for as long as the run lasts. The registry is put back
// as it was when the run ends.
#pragma once

#include <string>
#include <vector>

namespace snapvane::hostapp {

class FileAssociations {
public:
    FileAssociations() = default;
    FileAssociations(const FileAssociations&) = delete;
    FileAssociations& operator=(const FileAssociations&) = delete;
    ~FileAssociations();

    // Opens files of the type (".jpg") with the program: "program" "%1".
    void Associate(const std::wstring& extension, const std::wstring& program);
    // Leaves files of the type without an associated program.
    void Dissociate(const std::wstring& extension);
    void Restore() noexcept;

private:
    struct Saved {
        std::wstring extension;
        bool hadValue;
        std::wstring value;
    };
    void Save(const std::wstring& extension);
    std::vector<Saved> saved_;
    bool classCreated_ = false;
};

} // namespace snapvane::hostapp
