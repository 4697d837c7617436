#include "config/TextEncoding.h"

#include <gtest/gtest.h>

namespace quelsor {
namespace {

    struct Utf8Row {
        const char* bytes;
        bool valid;
    };

    const Utf8Row kUtf8Rows[] = {
        { "", true }, { "Etat general", true }, { "\xC3\xA9tat", true }, // é
        { "\xE2\x82\xAC", true }, // €
        { "\xF0\x9F\x8E\xB5", true }, // U+1F3B5
        { "\xC9tat", false }, // É in Windows-1252
        { "\xE9", false }, // truncated sequence at the end
        { "\xC0\xAF", false }, // overlong '/'
        { "\xE0\x80\xAF", false }, // overlong '/'
        { "\xED\xA0\x80", false }, // surrogate
        { "\xF4\x90\x80\x80", false }, // past U+10FFFF
        { "\x80", false }, // lone continuation byte
        { "\xF8\x88\x80\x80\x80", false }, // five-byte form
    };

    TEST(TextEncoding, RecognisesWellFormedUtf8)
    {
        for (const Utf8Row& row : kUtf8Rows)
            EXPECT_EQ(IsValidUtf8(row.bytes), row.valid) << "bytes '" << row.bytes << "'";
    }

    TEST(TextEncoding, ConvertsWindows1252ToUtf8)
    {
        EXPECT_EQ(Cp1252ToUtf8("Temp\xE9rature \xC9tat"), "Temp\xC3\xA9rature \xC3\x89tat");
        EXPECT_EQ(Cp1252ToUtf8("\x80 \x9C \xFF"), "\xE2\x82\xAC \xC5\x93 \xC3\xBF"); // € œ ÿ
        EXPECT_EQ(Cp1252ToUtf8("\x81\x8D"), "\xC2\x81\xC2\x8D"); // undefined bytes: C1 controls
        EXPECT_EQ(Cp1252ToUtf8("plain"), "plain");
    }

    TEST(TextEncoding, ConvertsUtf8ToWindows1252AndBack)
    {
        const std::string text = "Arr\xC3\xAAt \xE2\x82\xAC \xC5\x93 \xC3\xBF"; // Arrêt € œ ÿ
        EXPECT_EQ(Utf8ToCp1252(text), "Arr\xEAt \x80 \x9C \xFF");
        EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(text)), text);
        // No Windows-1252 form: a question mark per character, or per malformed byte.
        EXPECT_EQ(Utf8ToCp1252("a\xE2\x86\x92"
                               "b"),
            "a?b"); // →
        EXPECT_EQ(Utf8ToCp1252("a\xFF"
                               "b"),
            "a?b");
    }

} // namespace
} // namespace quelsor
