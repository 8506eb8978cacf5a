// url!'s percent coding: which escapes decode, and which bytes each set keeps when encoding.

#include <gtest/gtest.h>

#include <string>

#include "datatypes/url.h"

using namespace xol;

TEST(UrlCoding, DecodeEscapes)
{
    struct Case {
        char const* text;
        std::u32string decoded;
    };
    Case const cases[] = {
        { "%41", U"A" },
        { "a%2fb%2F", U"a/b/" },
        { "%C3%A9", U"\u00E9" }, // a lead byte with its escaped continuation: one code point
        { "%E4%B8%AD!", U"\u4E2D!" },
        { "%F0%9F%98%80", U"\U0001F600" },
        { "%E9", U"%E9" }, // a lead byte without its continuation stays as written
        { "%E9x", U"%E9x" },
        { "%E4%B8", U"%E4\u00B8" }, // then the continuation byte alone
        { "%C3%41", U"\uFFFE" }, // escaped, but not UTF-8
        { "%80", U"\u0080" }, // a stray continuation byte is its own value
        { "%FF", U"\u00FF" },
        { "%ZZ", U"%ZZ" },
        { "%4", U"%4" },
        { "%", U"%" },
        { "caf\xC3\xA9 %20", U"caf\u00E9  " },
        { "", U"" },
    };
    for (Case const& c : cases) EXPECT_EQ(url::decode_utf8(c.text), c.decoded) << c.text;
    EXPECT_EQ(url::decode_escape("%4a"), std::optional<std::uint8_t>(0x4A));
    EXPECT_EQ(url::decode_escape("x%4a"), std::nullopt);
}

TEST(UrlCoding, EncodeKeptSets)
{
    std::string path;
    std::string component;
    for (int byte = 0; byte < 256; ++byte) {
        if (url::encode_char(static_cast<std::uint8_t>(byte), url::KeptSet::Path).size() == 1) path += char(byte);
        if (url::encode_char(static_cast<std::uint8_t>(byte), url::KeptSet::Component).size() == 1)
            component += char(byte);
    }
    std::string const alphanumerics = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(path,
        "!#$&'()*+,-./" + alphanumerics.substr(0, 10) + ":=?@" + alphanumerics.substr(10, 26) + "_"
            + alphanumerics.substr(36) + "~");
    EXPECT_EQ(component,
        "-." + alphanumerics.substr(0, 10) + alphanumerics.substr(10, 26) + "_" + alphanumerics.substr(36) + "~");
    EXPECT_EQ(url::encode_char(' ', url::KeptSet::Path), "%20");
    EXPECT_EQ(url::encode_char(0xE9, url::KeptSet::Path), "%E9");
    EXPECT_EQ(url::encode_char('/', url::KeptSet::Component), "%2F");
}
