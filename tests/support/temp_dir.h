// A temporary program directory for one test: created empty, made the current directory, removed (and the
// previous current directory restored) at the end. Nothing touches $HOME.
#pragma once

#include <string>

class TempProgramDir {
public:
    TempProgramDir();
    ~TempProgramDir();
    TempProgramDir(const TempProgramDir&) = delete;
    TempProgramDir& operator=(const TempProgramDir&) = delete;

    const std::string& Native() const { return native_; }  // absolute native path, no final '/'
    std::string Internal() const;                           // absolute internal path, no final '\'

    // Writes a file (relative native path below the directory, '/' separators; folders created as needed).
    void WriteFile(const std::string& rel, const std::string& bytes) const;
    std::string ReadFile(const std::string& rel) const;  // "" when missing
    bool Exists(const std::string& rel) const;
    void MakeDir(const std::string& rel) const;  // with parents
    // Copies the shipped program directory (data/) into this one.
    void CopyShippedData() const;

private:
    std::string native_;
    std::string previousCwd_;
};

// Reads a whole file by native path; "" when it cannot be read.
std::string ReadNativeFile(const std::string& nativePath);
// The native path in the user's trash ($XDG_DATA_HOME/Trash/files) of the newest thing trashed from
// `nativeOriginal`, found by its record's Path line as a file manager finds it; "" when none.
std::string TrashedFrom(const std::string& nativeOriginal);
// The golden file tests/data/<name>.
std::string Golden(const std::string& name);
