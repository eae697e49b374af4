#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ombrel::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Path of a file in the folder, as a string.
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // The folder with a trailing "/", as study folders are spelt.
    std::string Folder() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

std::string ReadFileText(const std::string& path);
std::vector<unsigned char> ReadFileBytes(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Every file under folder, by its path relative to it, with its bytes: two snapshots are equal when
// nothing was created, removed or changed in between.
std::map<std::string, std::string> FolderContents(const std::string& folder);

// Compares bytes with a golden copy; on a mismatch reports the first differing offset and a short
// hex window of both, never raw binary.
::testing::AssertionResult BytesEqual(const std::vector<unsigned char>& expected,
                                      const std::vector<unsigned char>& actual);

// The message of the OmbrelError that action throws, or "(no failure)" when it throws none.
std::string FailureMessage(const std::function<void()>& action);

// Builds little-endian byte strings for golden data: Bytes().I32(3).F64(1.0).
class Bytes {
public:
    Bytes& I32(int32_t value);
    Bytes& F64(double value);
    const std::vector<unsigned char>& Get() const { return bytes_; }
    operator const std::vector<unsigned char>&() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

}  // namespace ombrel::test
