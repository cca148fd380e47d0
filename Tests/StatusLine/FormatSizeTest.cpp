#include <gtest/gtest.h>

#include <string>

#include "StatusLine.h"

namespace {

std::wstring Size(uint64_t bytes)
{
    return FormatSize(bytes);
}

TEST(FormatSize, BytesAndKilobytesRoundUpOnlyFromFiveBytesLeftOver)
{
    EXPECT_EQ(L"0 B", Size(0));
    EXPECT_EQ(L"1023 B", Size(1023));
    EXPECT_EQ(L"1 KB", Size(1024));
    EXPECT_EQ(L"1 KB", Size(1028));
    EXPECT_EQ(L"2 KB", Size(1029));
    EXPECT_EQ(L"1024 KB", Size(1048575));
}

TEST(FormatSize, MegabytesShowTheRemainderInHundredsOfKilobytes)
{
    EXPECT_EQ(L"1 MB", Size(1048576));
    EXPECT_EQ(L"1.5 MB", Size(1572864));
    EXPECT_EQ(L"1 MB", Size(1149952));
    EXPECT_EQ(L"1.10 MB", Size(2096128));
    EXPECT_EQ(L"1023.10 MB", Size(1073741823));
}

TEST(FormatSize, GigabytesShowTheRemainderInHundredsOfMegabytes)
{
    EXPECT_EQ(L"1 GB", Size(1073741824));
    EXPECT_EQ(L"15.10 GB", Size(17154703360ull));
    EXPECT_EQ(L"17179869183.10 GB", Size(UINT64_MAX));
}

TEST(FormatSize, EachCallOverwritesTheSameBuffer)
{
    const wchar_t* first = FormatSize(1);
    const wchar_t* second = FormatSize(1024);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(L"1 KB", first);
}

}  // namespace
