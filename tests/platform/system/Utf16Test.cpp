#include "platform/system/Utf16.h"

#include <gtest/gtest.h>

namespace {

using namespace tarvel::platform;

TEST(Utf16, WellFormedTextRoundTripsAtEveryEncodedLength)
{
    // One, two, three and four UTF-8 bytes, the last a surrogate pair.
    std::u16string text = u"a\u00e9\u20ac\U0001F5A8";
    ASSERT_EQ(Utf16ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x96\xA8");
    EXPECT_EQ(Utf8ToUtf16(*Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8Replacing(text), *Utf16ToUtf8(text));
    EXPECT_EQ(Utf8ToUtf16Replacing(*Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8(u""), "");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\0')), std::string(1, '\0'));
}

TEST(Utf16, UnpairedSurrogatesAreRefusedOrReplacedOneForOne)
{
    // Alone, before or after a letter, a pair in the wrong order, two leading halves.
    const std::u16string cases[] = {{char16_t(0xD800)}, {char16_t(0xDC00)}, {char16_t(0xDBFF), u'x'}, {u'x', char16_t(0xDFFF)}, {char16_t(0xDC00), char16_t(0xD800)}, {char16_t(0xD800), char16_t(0xDBFF)}};
    for (const std::u16string& text : cases) {
        EXPECT_EQ(Utf16ToUtf8(text), std::nullopt) << text.size();
        std::string shown = Utf16ToUtf8Replacing(text);
        std::u16string back = *Utf8ToUtf16(shown);
        ASSERT_EQ(back.size(), text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            EXPECT_EQ(back[i], text[i] >= 0xD800 && text[i] <= 0xDFFF ? u'\uFFFD' : text[i]);
    }
}

TEST(Utf16, MalformedUtf8IsRefusedOrReplacedByteForByte)
{
    struct Case {
        std::string_view bytes;
        std::u16string_view replaced;
    };
    const Case cases[] = {
        {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
        {"a\xC0\xAF\x62", u"a\uFFFD\uFFFDb"},               // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong in three bytes
        {"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong in four bytes
        {"\xE2\x82", u"\uFFFD\uFFFD"},                      // truncated
        {"\xF0\x9F\x98", u"\uFFFD\uFFFD\uFFFD"},            // truncated at the end
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate spelt in UTF-8
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\x80z", u"\uFFFDz"},                              // stray continuation byte
        {"\xFF", u"\uFFFD"},
        {"\xC3(", u"\uFFFD("},  // lead without continuation
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.bytes), std::nullopt) << c.bytes;
        EXPECT_EQ(Utf8ToUtf16Replacing(c.bytes), c.replaced) << c.bytes;
    }
    EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), std::u16string(u"\U0010FFFF")) << "the last code point";
    EXPECT_EQ(Utf8ToUtf16("\xEF\xBF\xBD"), std::u16string(u"\uFFFD")) << "U+FFFD itself is text";
}

}  // namespace
