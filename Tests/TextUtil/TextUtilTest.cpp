#include <gtest/gtest.h>

#include <string>

#include "SimDevice.h"
#include "TextUtil.h"

namespace {

std::wstring Take(wchar_t* text)
{
    OwnedWide owner(text);
    return text ? std::wstring(text) : std::wstring(L"<none>");
}

std::string Take(char* text)
{
    OwnedUtf8 owner(text);
    return text ? std::string(text) : std::string("<none>");
}

TEST(JoinPath, PutsOneSeparatorBetweenPieces)
{
    EXPECT_EQ(Take(JoinDevicePath(L"a", L"b")), L"a/b");
    EXPECT_EQ(Take(JoinDevicePath(L"a/", L"b")), L"a/b");
    EXPECT_EQ(Take(JoinDevicePath(L"a", L"/b")), L"a/b");
    EXPECT_EQ(Take(JoinDevicePath(L"a/", L"/b")), L"a/b");
    EXPECT_EQ(Take(JoinDevicePath(L"a/", L"//b")), L"a//b");
}

TEST(JoinPath, EmptyAndMissingPieces)
{
    EXPECT_EQ(Take(JoinDevicePath(L"", L"b")), L"b");
    EXPECT_EQ(Take(JoinDevicePath(L"a", L"")), L"a");
    EXPECT_EQ(Take(JoinDevicePath(L"a", nullptr)), L"a");
    EXPECT_EQ(Take(JoinDevicePath(nullptr, L"b")), L"<none>");
    EXPECT_EQ(Take(JoinDevicePath(L"", L"")), L"");
    EXPECT_EQ(Take(JoinDevicePath(L"/", L"/")), L"/");
}

TEST(JoinPath, LocalPathsUseBackslashOnly)
{
    EXPECT_EQ(Take(JoinLocalPath(L"C:\\dir", L"file")), L"C:\\dir\\file");
    EXPECT_EQ(Take(JoinLocalPath(L"C:\\dir\\", L"\\file")), L"C:\\dir\\file");
    EXPECT_EQ(Take(JoinLocalPath(L"a/", L"b")), L"a/\\b");
}

TEST(DupString, CopiesAndKeepsNone)
{
    EXPECT_EQ(Take(DupString(L"R\u00e9sum\u00e9")), L"R\u00e9sum\u00e9");
    EXPECT_EQ(Take(DupString(L"")), L"");
    EXPECT_EQ(DupString(nullptr), nullptr);
}

TEST(Utf8, RoundTripsEveryPlane)
{
    const char* samples[] = {
        "plain", "", "R\xC3\xA9sum\xC3\xA9 \xE2\x80\x93 Anna\xE2\x80\x99s notes.txt",
        "\xF0\x9F\x93\x84 page", "\xE4\xB8\xAD\xE6\x96\x87", "\xEF\xBF\xBD",
    };
    for (const char* sample : samples) {
        OwnedWide wide(FromUtf8(sample));
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(Take(ToUtf8(wide.get())), sample);
    }
    OwnedWide pair(FromUtf8("\xF0\x9F\x93\x84"));
    EXPECT_EQ(std::wstring(pair.get()), std::wstring(L"\xD83D\xDCC4"));
    EXPECT_EQ(ToUtf8(nullptr), nullptr);
    EXPECT_EQ(FromUtf8(nullptr), nullptr);
}

TEST(ParseDecimalU64, AcceptsOnlyPlainDigitsInRange)
{
    uint64_t value = 42;
    EXPECT_EQ(ParseDecimalU64("0", &value), 1);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(ParseDecimalU64("007", &value), 1);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(ParseDecimalU64("18446744073709551615", &value), 1);
    EXPECT_EQ(value, UINT64_MAX);

    value = 99;
    for (const char* bad : {"18446744073709551616", "12a", "-1", "", " 1", "1 ", "1,000", "+5"}) {
        EXPECT_EQ(ParseDecimalU64(bad, &value), 0) << bad;
        EXPECT_EQ(value, 99u) << bad;
    }
}

TEST(ParseDecimalU64, RefusesNumbersThatWouldWrapToALargerValue)
{
    // 30000000000000000000 mod 2^64 is larger than 3000000000000000000: a wrap test alone misses it.
    uint64_t value = 5;
    EXPECT_EQ(ParseDecimalU64("30000000000000000000", &value), 0);
    EXPECT_EQ(ParseDecimalU64("99999999999999999999", &value), 0);
    EXPECT_EQ(value, 5u);
}

TEST(FormatFileTime, ShortDateAndTimeOrNothingWhenUnknown)
{
    EXPECT_EQ(FormatFileTime(0), nullptr);
    // Shown in local time, in any zone: the year stays, a short time has no seconds, and an hour
    // later on the same day shows otherwise.
    const uint64_t noon = SimFileTime(2019, 6, 15, 12, 34, 59);
    std::wstring shown = Take(FormatFileTime(noon));
    EXPECT_NE(shown.find(L"2019"), std::wstring::npos) << testing::PrintToString(shown);
    EXPECT_EQ(shown.find(L"59"), std::wstring::npos) << testing::PrintToString(shown);
    EXPECT_NE(Take(FormatFileTime(noon + 36000000000ull)), shown);
    std::wstring distant = Take(FormatFileTime(SimFileTime(30827, 6, 15, 12, 0, 0)));
    EXPECT_NE(distant.find(L"30827"), std::wstring::npos) << testing::PrintToString(distant);
}

TEST(FindExtension, FindsTheTextAfterTheLastDot)
{
    size_t length = 0;
    const wchar_t* name = L"a.pdf";
    EXPECT_EQ(FindExtension(name, &length), name + 2);
    EXPECT_EQ(length, 3u);
    const wchar_t* hidden = L".pdf";
    EXPECT_EQ(FindExtension(hidden, &length), hidden + 1);
    EXPECT_EQ(length, 3u);
    const wchar_t* twoDots = L"archive.tar.gz";
    EXPECT_EQ(FindExtension(twoDots, &length), twoDots + 12);
    EXPECT_EQ(length, 2u);
}

TEST(FindExtension, NoExtension)
{
    size_t length = 0;
    for (const wchar_t* name : {L"a.", L"abc", L"dir.x/abc", L"x", L"", L"notes."}) {
        EXPECT_EQ(FindExtension(name, &length), nullptr) << name;
    }
    EXPECT_EQ(FindExtension(nullptr, &length), nullptr);
}

TEST(LastPathElement, ScansBackToTheSeparator)
{
    const wchar_t* path = L"/a/b";
    EXPECT_EQ(LastDevicePathElement(path), path + 3);
    const wchar_t* folder = L"/a/b/";
    EXPECT_EQ(LastDevicePathElement(folder), folder + 5);
    EXPECT_EQ(*LastDevicePathElement(folder), L'\0');
    const wchar_t* bare = L"abc";
    EXPECT_EQ(LastDevicePathElement(bare), bare);
    const wchar_t* empty = L"";
    EXPECT_EQ(LastDevicePathElement(empty), empty);
    EXPECT_EQ(LastDevicePathElement(nullptr), nullptr);

    const wchar_t* local = L"C:\\x\\y.txt";
    EXPECT_EQ(LastLocalPathElement(local), local + 5);
    const wchar_t* mixed = L"C:\\x/y";
    EXPECT_EQ(LastLocalPathElement(mixed), mixed + 3);
}

TEST(StorableWindowsName, EveryNameBecomesOneNameWindowsStoresAsItIs)
{
    struct Case {
        const wchar_t* device;
        const wchar_t* storable;
    };
    const Case cases[] = {
        // Storable names pass unchanged, also with dots, blanks and non-ASCII letters inside.
        {L"Guide.pdf", L"Guide.pdf"}, {L" lead .tar.gz", L" lead .tar.gz"}, {L"R\u00e9sum\u00e9 \u2013 A", L"R\u00e9sum\u00e9 \u2013 A"},
        {L"console", L"console"}, {L"com10", L"com10"}, {L"lpt", L"lpt"}, {L"auxiliary.txt", L"auxiliary.txt"},
        // Separators, drive and stream colons, wildcards and control characters.
        {L"..\\..\\x", L".._.._x"}, {L"a/b", L"a_b"}, {L"a:b", L"a_b"}, {L"*?\"<>|", L"______"},
        {L"tab\tline\nend\x1f", L"tab_line_end_"},
        // Trailing dots and blanks: never "." or "..", never a name Windows would shorten.
        {L".", L"_"}, {L"..", L"__"}, {L"...", L"___"}, {L"name. ", L"name__"}, {L"name.", L"name_"}, {L"x ", L"x_"},
        {L"", L"_"},
        // Reserved device names, whatever the case and extension.
        {L"con", L"_con"}, {L"CON", L"_CON"}, {L"nul.txt", L"_nul.txt"}, {L"COM1", L"_COM1"}, {L"lpt9", L"_lpt9"},
        {L"Aux.tar.gz", L"_Aux.tar.gz"}, {L"prn .txt", L"_prn .txt"}, {L"con.", L"_con_"}, {L"COM\u00b9", L"_COM\u00b9"},
        {L"conout$", L"_conout$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.device)));
        EXPECT_EQ(Take(StorableWindowsName(c.device)), c.storable);
    }
    EXPECT_EQ(Take(StorableWindowsName(nullptr)), L"<none>");
}

}  // namespace

namespace {

// Any bytes a device gives come back unchanged; well-formed UTF-8 reads as its text, every other
// byte shows as U+FFFD and stays apart from the text U+FFFD itself.
TEST(DeviceText, KeepsEveryByteAndShowsTheOddOnesAsReplacement)
{
    struct Case {
        const char* bytes;
        const wchar_t* shown;
    } const cases[] = {
        {"plain", L"plain"},
        {"caf\xC3\xA9 \xF0\x9F\x93\x84", L"caf\u00e9 \U0001F4C4"},
        {"bad\xFF", L"bad\uFFFD"},
        {"\xC0\xAF", L"\uFFFD\uFFFD"},              // an overlong "/" is no separator
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},    // an encoded surrogate
        {"\xE2\x82", L"\uFFFD\uFFFD"},              // cut short at the end
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xEF\xBF\xBD", L"\uFFFD"},                // U+FFFD written by the device
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.bytes);
        OwnedWide kept(DeviceTextToUtf16(test.bytes));
        ASSERT_TRUE(kept);
        EXPECT_EQ(Take(DeviceTextToUtf8(kept.get())), test.bytes);
        EXPECT_EQ(Take(ShownDeviceName(kept.get())), test.shown);
        EXPECT_EQ(Take(StorableWindowsName(kept.get())), Take(StorableWindowsName(test.shown)));
    }
    // A lone surrogate typed by the user goes to the device as U+FFFD, as the system converts it.
    EXPECT_EQ(Take(DeviceTextToUtf8(L"a\xD800z")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Take(DeviceTextToUtf16(nullptr)), L"<none>");
}

TEST(LocalPathAsIs, OnlyFullPathsInTheUsualFormGetThePrefix)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* asIs;
        const wchar_t* shown;
    } const cases[] = {
        {L"C:\\a\\con", L"\\\\?\\C:\\a\\con", L"C:\\a\\con"},
        {L"z:\\dots.", L"\\\\?\\z:\\dots.", L"z:\\dots."},
        {L"\\\\server\\share\\b ", L"\\\\?\\UNC\\server\\share\\b ", L"\\\\?\\UNC\\server\\share\\b "},
        {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x", L"C:\\x"},
        {L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
        {L"C:\\a\\..\\b", L"C:\\a\\..\\b", L"C:\\a\\..\\b"},
        {L"C:\\a\\.", L"C:\\a\\.", L"C:\\a\\."},
        {L"C:/a", L"C:/a", L"C:/a"},
        {L"a\\b", L"a\\b", L"a\\b"},
        {L"C:a", L"C:a", L"C:a"},
        {L"C:\\a\\..b", L"\\\\?\\C:\\a\\..b", L"C:\\a\\..b"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(test.path)));
        OwnedWide asIs(LocalPathAsIs(test.path));
        EXPECT_EQ(Take(DupString(asIs.get())), test.asIs);
        EXPECT_STREQ(ShownLocalPath(asIs.get()), test.shown);
    }
}

}  // namespace

namespace {

// A number goes before a file's last extension only; a folder's dots and a leading dot are part of
// the name.
TEST(NumberedName, NumbersGoBeforeAFilesLastExtensionOnly)
{
    struct Case {
        const wchar_t* name;
        bool isFolder;
        const wchar_t* numbered;
    } const cases[] = {
        {L"Guide.pdf", false, L"Guide (2).pdf"},      {L"a.tar.gz", false, L"a.tar (2).gz"},
        {L"README", false, L"README (2)"},            {L".hidden", false, L".hidden (2)"},
        {L"..x", false, L"..x (2)"},                  {L".config.json", false, L".config (2).json"},
        {L"trailing.", false, L"trailing. (2)"},      {L"Books.v1", true, L"Books.v1 (2)"},
        {L".git", true, L".git (2)"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(test.name)));
        EXPECT_EQ(Take(NumberedName(test.name, 2, test.isFolder)), test.numbered);
    }
    EXPECT_EQ(Take(NumberedName(L"x.txt", 4294967295u, false)), L"x (4294967295).txt");
    EXPECT_EQ(Take(NumberedName(nullptr, 2, false)), L"<none>");
}

// The device keeps letter cases apart and takes composed and decomposed forms as one name.
TEST(DeviceNameKey, OneNameToTheDeviceWhenEqualComposed)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool same;
    } const cases[] = {
        {L"Caf\u00e9.pdf", L"Cafe\u0301.pdf", true},  {L"\u212b", L"\u00c5", true},  // Angstrom sign
        {L"B.txt", L"b.txt", false},                   {L"\u00c9", L"\u00e9", false},
        {L"a\xDCFF", L"a\xDCFF", true},                {L"a\xDCFF", L"a\xDCFE", false},  // kept bytes
        {L"", L"", true},                              {L"x", L"", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(test.a) + L"|" + test.b));
        EXPECT_EQ(SameDeviceName(test.a, test.b), test.same);
        EXPECT_EQ(SameDeviceName(test.b, test.a), test.same);
    }
    EXPECT_EQ(Take(DeviceNameKey(L"Cafe\u0301")), L"Caf\u00e9");
    EXPECT_FALSE(SameDeviceName(nullptr, L""));
}

}  // namespace
