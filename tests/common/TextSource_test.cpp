#include "common/TextSource.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TextNumberScanner.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

TEST(TextSource, GetPeekAndUngetWalkTheText) {
    MemoryTextSource source("ab\xff");
    EXPECT_EQ(source.Peek(), 'a');
    EXPECT_EQ(source.Get(), 'a');
    const int b = source.Get();
    source.Unget(b);
    EXPECT_EQ(source.Get(), 'b');
    EXPECT_EQ(source.Get(), 0xff);  // bytes come back unsigned
    EXPECT_EQ(source.Get(), TextSource::kEnd);
    EXPECT_TRUE(source.AtEnd());
    EXPECT_FALSE(source.Failed());
}

TEST(TextSource, ReadLineKeepsCarriageReturnsAndReportsTheEnd) {
    MemoryTextSource source("one\r\ntwo\n\nlast");
    std::string line;
    ASSERT_TRUE(source.ReadLine(line));
    EXPECT_EQ(line, "one\r");
    ASSERT_TRUE(source.ReadLine(line));
    EXPECT_EQ(line, "two");
    ASSERT_TRUE(source.ReadLine(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(source.ReadLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(source.ReadLine(line));
    EXPECT_EQ(line, "");
}

TEST(TextSource, ReadCrossesTheBufferAndIncludesAPushedBackByte) {
    // Longer than one 64 KiB fill, so the read spans two.
    std::string text(70000, 'x');
    text[0] = 'a';
    text.back() = 'z';
    MemoryTextSource source(text);
    source.Unget(source.Get());
    std::string read(text.size() + 10, '\0');
    EXPECT_EQ(source.Read(read.data(), read.size()), text.size());
    read.resize(text.size());
    EXPECT_EQ(read, text);
}

TEST(TextSource, AFileAndTheSameTextInMemoryScanAlike) {
    const std::string text = " 12\n-1.5-2.5\r\n7 x";
    test::TempDir folder;
    test::WriteFileText(folder.File("numbers.txt"), text);
    FileHandle file;
    ASSERT_TRUE(file.Open(folder.File("numbers.txt"), "rb"));
    FileTextSource fromFile(std::move(file));
    MemoryTextSource fromMemory(text);
    for (TextSource* source : {static_cast<TextSource*>(&fromFile), static_cast<TextSource*>(&fromMemory)}) {
        TextNumberScanner scanner(*source, "numbers.txt");
        int32_t whole = 0;
        double a = 0.0, b = 0.0;
        ASSERT_TRUE(scanner.ReadInt(whole));
        EXPECT_EQ(whole, 12);
        ASSERT_TRUE(scanner.ReadDouble(a));
        ASSERT_TRUE(scanner.ReadDouble(b));
        EXPECT_EQ(a, -1.5);
        EXPECT_EQ(b, -2.5);
        ASSERT_TRUE(scanner.ReadInt(whole));
        EXPECT_EQ(whole, 7);
        EXPECT_FALSE(scanner.ReadInt(whole));
        EXPECT_FALSE(source->Failed());
    }
}

TEST(FileHandle, ClosesOnceAndReportsAFileThatCannotBeOpened) {
    test::TempDir folder;
    FileHandle file;
    EXPECT_FALSE(file.Open(folder.File("missing/none.txt"), "rb"));
    EXPECT_FALSE(file);
    EXPECT_TRUE(file.Close());  // nothing open
    ASSERT_TRUE(file.Open(folder.File("out.txt"), "wb"));
    EXPECT_GE(std::fputs("hi", file.Get()), 0);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file);
    EXPECT_EQ(test::ReadFileText(folder.File("out.txt")), "hi");
}

}  // namespace
}  // namespace ombrel
