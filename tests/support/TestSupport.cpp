#include "tests/support/TestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ombrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::string text = ReadFileText(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::map<std::string, std::string> FolderContents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).string();
        contents[name] = entry.is_regular_file() ? ReadFileText(entry.path().string()) : "(not a file)";
    }
    return contents;
}

void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

static std::string HexWindow(const std::vector<unsigned char>& bytes, size_t offset) {
    size_t begin = offset >= 8 ? offset - 8 : 0;
    size_t end = std::min(bytes.size(), offset + 8);
    std::string text;
    for (size_t i = begin; i < end; ++i) text += Format(i == offset ? "[%02x]" : " %02x ", bytes[i]);
    return text.empty() ? "(end)" : text;
}

::testing::AssertionResult BytesEqual(const std::vector<unsigned char>& expected,
                                      const std::vector<unsigned char>& actual) {
    size_t common = std::min(expected.size(), actual.size());
    size_t offset = 0;
    while (offset < common && expected[offset] == actual[offset]) ++offset;
    if (offset == common && expected.size() == actual.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "bytes differ at offset " << offset << " (expected " << expected.size() << " bytes, got "
           << actual.size() << ")\n  expected: " << HexWindow(expected, offset)
           << "\n  actual:   " << HexWindow(actual, offset);
}

std::string FailureMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const OmbrelError& error) {
        return error.what();
    }
    return "(no failure)";
}

Bytes& Bytes::I32(int32_t value) {
    unsigned char raw[4];
    EncodeInt32(value, raw);
    bytes_.insert(bytes_.end(), raw, raw + 4);
    return *this;
}

Bytes& Bytes::F64(double value) {
    unsigned char raw[8];
    EncodeFloat64(value, raw);
    bytes_.insert(bytes_.end(), raw, raw + 8);
    return *this;
}

}  // namespace ombrel::test
