#include "SimFixture.h"

namespace {

std::u16string Characters(CFStringRef string, CFIndex location, CFIndex length)
{
    std::u16string text(static_cast<size_t>(length), u'#');
    SimTest::lib.CFStringGetCharacters(string, CFRange{location, length}, reinterpret_cast<uint16_t*>(&text[0]));
    return text;
}

using CoreFoundation = SimTest;

TEST_F(CoreFoundation, ConstantStringsAreSharedAndOutliveRelease)
{
    CFStringRef command = lib.__CFStringMakeConstantString("Command");
    EXPECT_EQ(lib.__CFStringMakeConstantString("Command"), command);
    EXPECT_NE(lib.__CFStringMakeConstantString("command"), command);
    for (int i = 0; i < 5; ++i) {
        lib.CFRelease(command);
    }
    ASSERT_EQ(lib.CFStringGetLength(command), 7);
    EXPECT_EQ(Characters(command, 0, 7), u"Command");

    // UTF-8 text becomes UTF-16 units; the range is passed by value.
    CFStringRef accented = lib.__CFStringMakeConstantString("R\xC3\xA9sum\xC3\xA9 \xE2\x80\x93 x");
    ASSERT_EQ(lib.CFStringGetLength(accented), 10);
    EXPECT_EQ(Characters(accented, 1, 5), u"\u00e9sum\u00e9");
    EXPECT_EQ(Characters(accented, 7, 1), u"\u2013");
}

TEST_F(CoreFoundation, OptionsDictionaryComparesKeysByPointer)
{
    unsigned live = SimLiveCfObjects();
    CFDictionaryRef options = VendDocumentsOptions();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(SimLiveCfObjects(), live + 1);
    EXPECT_EQ(lib.CFDictionaryGetValue(options, lib.__CFStringMakeConstantString("Command")),
              lib.__CFStringMakeConstantString("VendDocuments"));

    // An equal text in another object is another key for a dictionary made with null callbacks.
    CFStringRef copy = lib.AMDeviceCopyValue(StartDevice(), nullptr, lib.__CFStringMakeConstantString("DeviceName"));
    const void* key = copy;
    const void* value = copy;
    CFDictionaryRef byPointer = lib.CFDictionaryCreate(nullptr, &key, &value, 1, nullptr, nullptr);
    EXPECT_EQ(lib.CFDictionaryGetValue(byPointer, lib.__CFStringMakeConstantString("Sim iPhone")), nullptr);
    EXPECT_EQ(lib.CFDictionaryGetValue(byPointer, copy), copy);
    lib.CFRelease(byPointer);
    lib.CFRelease(copy);
    lib.CFRelease(options);
    EXPECT_EQ(SimLiveCfObjects(), live);
}

TEST_F(CoreFoundation, WrongObjectsFailSafely)
{
    unsigned bad = SimBadCfCalls();
    CFDictionaryRef options = VendDocumentsOptions();
    CFStringRef text = lib.__CFStringMakeConstantString("abc");
    int notAnObject[4] = {0, 0, 0, 0};

    lib.CFRelease(notAnObject);
    lib.CFRelease(nullptr);
    EXPECT_EQ(lib.CFStringGetLength(reinterpret_cast<CFStringRef>(options)), 0);
    EXPECT_EQ(lib.CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(text), text), nullptr);
    EXPECT_EQ(Characters(text, 2, 5), u"#####");  // out of range: nothing written
    EXPECT_EQ(Characters(text, -1, 1), u"#");
    EXPECT_EQ(SimBadCfCalls(), bad + 6);

    lib.CFRelease(options);
    lib.CFRelease(options);  // the second release meets a freed object
    EXPECT_EQ(SimBadCfCalls(), bad + 7);
}

}  // namespace
