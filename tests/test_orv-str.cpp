#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

#include "orv-str.h"
#include "test_support.h"

namespace {

std::string F(const char* format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    Str_FormatV(buf, int(sizeof buf), format, ap);
    va_end(ap);
    return buf;
}

TEST(Format, FieldsSignsAndPrecision) {
    EXPECT_EQ(F(""), "");
    EXPECT_EQ(F("%5d", -42), "  -42");
    EXPECT_EQ(F("%05d", -42), "-0042");
    EXPECT_EQ(F("%-5d|", -42), "-42  |");
    EXPECT_EQ(F("%+d", 7), "+7");
    EXPECT_EQ(F("%+d", -7), "-7");
    EXPECT_EQ(F("%.3d", 5), "005");
    EXPECT_EQ(F("[%.0d]", 0), "[]");
    EXPECT_EQ(F("[%5.0d]", 0), "[]");
    EXPECT_EQ(F("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |");
    EXPECT_EQ(F("%.*d", 4, 7), "0007");
    EXPECT_EQ(F("%i %l %ll", -1, -2, int64_t(-3000000000LL)), "-1 -2 -3000000000");
    EXPECT_EQ(F("%d", INT32_MIN), "-2147483648");
    EXPECT_EQ(F("%I64d", INT64_MIN), "-9223372036854775808");
}

TEST(Format, UnsignedBasesAndPrefixes) {
    EXPECT_EQ(F("%#6x", 255), "0x    ff");
    EXPECT_EQ(F("%X", 255), "FF");
    EXPECT_EQ(F("%I64x", int64_t(255)), "FF");
    EXPECT_EQ(F("%.8X", 0x1F), "0000001F");
    EXPECT_EQ(F("%u", -1), "4294967295");
    EXPECT_EQ(F("%+u", 5), "5");
    EXPECT_EQ(F("%+I64u", uint64_t(5)), "+5");
    EXPECT_EQ(F("%#o %o", 8, 8), "010 10");
    EXPECT_EQ(F("%b", 5), "101");
    EXPECT_EQ(F("%I64b", int64_t(6)), "110");
    EXPECT_EQ(F("%I64u", UINT64_MAX), "18446744073709551615");
    EXPECT_EQ(F("%p", reinterpret_cast<void*>(0x1234)), "0000000000001234");
    EXPECT_EQ(F("%#p", reinterpret_cast<void*>(0xabc)), "0x0000000000000ABC");
}

TEST(Format, ThousandsGrouping) {
    EXPECT_EQ(F("%'I64d", int64_t(1234567)), "1,234,567");
    EXPECT_EQ(F("%'I64d", int64_t(999)), "999");
    EXPECT_EQ(F("%'I64d", int64_t(-1000)), "-1,000");
    EXPECT_EQ(F("%'d", 1000000), "1,000,000");
    EXPECT_EQ(F("%'x", 0x1234567), "1,234,567");
    EXPECT_EQ(F("%'.2f", 1234567.891), "1,234,567.89");
    EXPECT_EQ(F("%'10d|", 12345), "    12,345|");
}

TEST(Format, FloatingPoint) {
    EXPECT_EQ(F("%.2f", 3.14159), "3.14");
    EXPECT_EQ(F("%.2f", 0.999), "1.00");
    EXPECT_EQ(F("%f", 1.5), "1.500000");
    EXPECT_EQ(F("%.0f", 2.5), "3");
    EXPECT_EQ(F("%.12f", 0.5), "0.500000000");
    EXPECT_EQ(F("%f", INFINITY), "1.#INF00");
    EXPECT_EQ(F("%f", -INFINITY), "-1.#INF00");
    EXPECT_EQ(F("%+f", NAN), "1.#QNAN0");
    EXPECT_EQ(F("%.1f", -0.25), "-0.3");
    EXPECT_EQ(F("%8.3f|", 2.0), "   2.000|");
    EXPECT_EQ(F("%+.1f", 2.0), "+2.0");
    EXPECT_EQ(F("%a", 0x00018000), "1.500000");
    EXPECT_EQ(F("%a", 0x00000001), "0.000015");
    EXPECT_EQ(F("%+a", 0x00020000), "+2.000000");
}

TEST(Format, StringsAndCharacters) {
    EXPECT_EQ(F("%s", static_cast<const char*>(nullptr)), "NULL");
    EXPECT_EQ(F("%8s|", static_cast<const char*>(nullptr)), "NULL|");
    EXPECT_EQ(F("%.3s", "abcdef"), "abc");
    EXPECT_EQ(F("%S", "ab1"), "AB1");
    EXPECT_EQ(F("%#s", "caf\xE9"), "NONASCII");
    EXPECT_EQ(F("%s", "caf\xE9"), "caf\xE9");
    EXPECT_EQ(F("%-4s|%4s|", "ab", "cd"), "ab  |  cd|");
    EXPECT_EQ(F("%05s", "ab"), "   ab");
    EXPECT_EQ(F("%c%C%3c", 'a', 'b', 'z'), "aB  z");
    const uint16_t wide[] = {'W', 'i', 0x1E9, 0};
    EXPECT_EQ(F("%unicode", wide), "Wi\xE9");
    EXPECT_EQ(F("%Unicode", wide), "WI\xE9");
    EXPECT_EQ(F("%#unicode", wide), "NONASCII");
    EXPECT_EQ(F("%.1unicode", wide), "W");
}

TEST(Format, SpecialConversions) {
    EXPECT_EQ(F("%Data"), "Data");
    EXPECT_EQ(F("%%"), "%");
    EXPECT_EQ(F("%I32d"), "I32d");
    EXPECT_EQ(F("100%"), "100");
    EXPECT_EQ(F("%-%"), "%");
    const unsigned char bytes[] = {0x01, 0xAB, 0xFF};
    EXPECT_EQ(F("%3hex", bytes), "01abff");
    EXPECT_EQ(F("%2HEX", bytes), "01AB");
    EXPECT_EQ(F("[%hex]", bytes), "[]");
    const unsigned char guid[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(F("%guid", guid), "00112233-4455-6677-8899-aabbccddeeff");
    const unsigned char ip[4] = {1, 22, 0, 255};
    EXPECT_EQ(F("%ipv4", ip), "1.22.0.255");
    EXPECT_EQ(F("%.4ipv4", ip), "1.22");
    EXPECT_EQ(F("%ipv4 %guid %hex", nullptr, nullptr, nullptr), "NULL NULL NULL");
}

TEST(Format, TabsExpandFromTheStartOfTheCall) {
    EXPECT_EQ(F("\tx"), "    x");
    EXPECT_EQ(F("ab\tx"), "ab  x");
    EXPECT_EQ(F("abcd\tx"), "abcd    x");
    EXPECT_EQ(F("%s\tx", "a\tb"), "a\tb x");
}

TEST(Format, TruncationAndReports) {
    ScopedLog log("str-overrun.log", LOG_FILE);
    char buf[5];
    EXPECT_EQ(Str_Format(buf, 5, "abcd"), 4);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(log.Contents(), "");
    EXPECT_EQ(Str_Format(buf, 5, "abcde"), 4);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(log.Contents(), "\r\n\r\nERROR: The next string overran the print buffer!\r\nLINE: abcde");
    EXPECT_EQ(Str_Format(buf, 5, "%d", 123456), 4);
    EXPECT_STREQ(buf, "1234");
    char one[1];
    EXPECT_EQ(Str_Format(one, 1, "x"), 0);
    EXPECT_STREQ(one, "");
    EXPECT_EQ(Str_Format(buf, 0, "tiny"), 0);
    EXPECT_NE(log.Contents().find("ERROR: The next string too small to contain anything!\r\nLINE: tiny"),
              std::string::npos);
    char path[12] = "C:\\";
    EXPECT_EQ(Str_AppendFormat(path, int(sizeof path), "%s", "dir"), 3);
    EXPECT_STREQ(path, "C:\\dir");
    EXPECT_EQ(Str_AppendFormat(path, int(sizeof path), "%s", "\\longer"), 5);
    EXPECT_STREQ(path, "C:\\dir\\long");
}

// A cut never splits a character: copies, formatting that overruns and a
// precision all stop before the first character that does not fit whole.
TEST(Format, CutsFallOnCharacterBoundaries) {
    ScopedLog log("str-cut.log", LOG_FILE);
    struct Case {
        const char* text;
        int size;  // buffer bytes, terminator included
        const char* kept;
    };
    const Case cases[] = {
        {"Caf\xc3\xa9", 5, "Caf"},                       // é is two bytes: one left is not enough
        {"Caf\xc3\xa9", 6, "Caf\xc3\xa9"},
        {"\xd0\x9c\xd0\xbe", 4, "\xd0\x9c"},             // Мо
        {"\xe6\x9d\xb1\xe4\xba\xac", 6, "\xe6\x9d\xb1"},  // 東京
        {"\xe6\x9d\xb1\xe4\xba\xac", 3, ""},
        {"a\xf0\x9f\x98\x80", 5, "a"},                  // an emoji is four bytes
        {"a\xf0\x9f\x98\x80", 6, "a\xf0\x9f\x98\x80"},
        {"plain", 4, "pla"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char buf[16];
        EXPECT_EQ(Str_CopyN(buf, c.text, c.size), strlen(c.text) < size_t(c.size));
        EXPECT_STREQ(buf, c.kept);
        Str_Format(buf, c.size, "%s", c.text);
        EXPECT_STREQ(buf, c.kept);
        Str_Format(buf, int(sizeof buf), "%.*s", c.size - 1, c.text);
        EXPECT_STREQ(buf, c.kept);
    }
}

// Well-formed UTF-8, and the ill-formed kinds a name from outside may hold.
TEST(Strings, Utf8IsCheckedStrictly) {
    struct Case {
        const char* text;
        int good;
    };
    const Case cases[] = {
        {"plain", 1}, {"Caf\xc3\xa9", 1}, {"\xe6\x9d\xb1", 1}, {"\xf0\x9f\x98\x80", 1}, {"\xf4\x8f\xbf\xbf", 1},
        {"\xc0\xaf", 0},          // "/" spelled in two bytes
        {"\xe0\x80\xaf", 0},      // and in three
        {"\xed\xa0\x80", 0},      // a surrogate
        {"\xf4\x90\x80\x80", 0},  // above U+10FFFF
        {"\xc3", 0},              // cut short
        {"\xe6\x9d", 0},
        {"a\x80" "b", 0},         // a stray continuation byte
        {"\xff", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Str_IsUtf8(c.text, int(strlen(c.text))), c.good) << c.text;
}

// The conversions the C library shares with ours must agree with it.
TEST(Format, AgreesWithTheCLibraryOnCommonConversions) {
    std::mt19937 rng(12345);
    const char* formats[] = {"%d", "%5d", "%-7d|", "%07d", "%.4d", "%+d", "%u", "%x", "%X", "%08X",
                             "%o", "%#x", "%#o", "%10.6d", "%-+6d|"};
    char ours[64];
    char theirs[64];
    for (int round = 0; round < 2000; ++round) {
        int value = int(rng());
        if (round % 3 == 0) value %= 1000;
        const char* fmt = formats[round % (sizeof formats / sizeof formats[0])];
        Str_Format(ours, int(sizeof ours), fmt, value);
        snprintf(theirs, sizeof theirs, fmt, value);
        if (value == 0 && std::string(fmt).find('#') != std::string::npos) continue;
        ASSERT_STREQ(ours, theirs) << fmt << " of " << value;
    }
    const char* strings[] = {"", "a", "hello", "a longer text"};
    const char* stringFormats[] = {"%s", "%8s|", "%-8s|", "%.3s", "%6.2s|"};
    for (const char* s : strings) {
        for (const char* fmt : stringFormats) {
            Str_Format(ours, int(sizeof ours), fmt, s);
            snprintf(theirs, sizeof theirs, fmt, s);
            EXPECT_STREQ(ours, theirs) << fmt << " of '" << s << "'";
        }
    }
    // Values exact in binary round the same way in both.
    for (int eighths = -80; eighths <= 80; ++eighths) {
        double v = eighths / 8.0;
        for (const char* fmt : {"%.3f", "%f", "%9.4f|", "%+.5f"}) {
            Str_Format(ours, int(sizeof ours), fmt, v);
            snprintf(theirs, sizeof theirs, fmt, v);
            EXPECT_STREQ(ours, theirs) << fmt << " of " << v;
        }
    }
}

TEST(Strings, CopyAppendAndCompare) {
    char buf[8];
    EXPECT_EQ(Str_CopyN(buf, "hello", 3), 0);
    EXPECT_STREQ(buf, "he");
    EXPECT_EQ(Str_CopyN(buf, "hello", 6), 1);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(Str_CopyN(buf, "hello", 1), 0);
    EXPECT_STREQ(buf, "");
    {
        ScopedLog log("str-copy.log", LOG_FILE);
        Str_Copy(buf, "keep");
        EXPECT_EQ(Str_CopyN(buf, "x", 0), 0);
        EXPECT_STREQ(buf, "keep");
        EXPECT_EQ(log.Contents(), "Empty length passed to copy (0)\r\n");
    }
    Str_Copy(buf, "ab");
    EXPECT_EQ(Str_AppendN(buf, "cdefghij", int(sizeof buf)), 1);
    EXPECT_STREQ(buf, "abcdefg");
    Str_Copy(buf, "ab");
    Str_Append(buf, "cd");
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(Str_Length(buf), 4u);
    EXPECT_EQ(Str_Equal("abc", "abc"), 1);
    EXPECT_EQ(Str_Equal("abc", "abd"), 0);
    EXPECT_EQ(Str_Equal("abc", "ab"), 0);
    EXPECT_EQ(Str_EqualNoCase("AbC", "aBc"), 1);
    EXPECT_EQ(Str_EqualNoCase("\xC9", "\xE9"), 0);
    EXPECT_EQ(Str_EqualN("ab\0x", "ab\0y", 3), 1);
    EXPECT_EQ(Str_EqualN("ab\0x", "ab\0y", 4), 0);
    EXPECT_EQ(Str_EqualN("a", "b", 0), 1);
}

TEST(Strings, PrefixSuffixAndSearch) {
    EXPECT_EQ(Str_StartsWithNoCase("Configuration.General", "CONFIG"), 1);
    EXPECT_EQ(Str_StartsWithNoCase("abc", ""), 1);
    EXPECT_EQ(Str_StartsWithNoCase("ab", "abc"), 0);
    EXPECT_EQ(Str_EndsWithNoCase("IMG.JPG", ".jpg"), 1);
    EXPECT_EQ(Str_EndsWithNoCase(".jpg", "IMG.JPG"), 1);
    EXPECT_EQ(Str_EndsWithNoCase("IMG.JPEG", ".jpg"), 0);
    const char* found = nullptr;
    EXPECT_EQ(Str_FindChar("a.b.c", '.', &found), 1);
    EXPECT_STREQ(found, ".b.c");
    EXPECT_EQ(Str_FindChar("abc", 0, &found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(Str_FindNoCase("photo_RESIZED.jpg", "_resized", &found), 1);
    EXPECT_STREQ(found, "_RESIZED.jpg");
    EXPECT_EQ(Str_FindNoCase("photo", "x", &found), 0);
    char text[] = "Mixed 1a";
    Str_ToUpper(text);
    EXPECT_STREQ(text, "MIXED 1A");
    Str_Reverse(text);
    EXPECT_STREQ(text, "A1 DEXIM");
}

TEST(Strings, NumberParsing) {
    EXPECT_EQ(Str_AtoI("0x1F"), 31);
    EXPECT_EQ(Str_AtoI("0XfFz"), 255);
    EXPECT_EQ(Str_AtoI("-12abc"), -12);
    EXPECT_EQ(Str_AtoI("+42"), 42);
    EXPECT_EQ(Str_AtoI("abc"), 0);
    EXPECT_EQ(Str_AtoI(""), 0);
    EXPECT_EQ(Str_AtoI(nullptr), 0);
    EXPECT_EQ(Str_AtoI("12-5"), 12);
    EXPECT_EQ(Str_AtoI("9000000000"), 9000000000LL);
    EXPECT_DOUBLE_EQ(Str_AtoF("3.25"), 3.25);
    EXPECT_DOUBLE_EQ(Str_AtoF("+3"), 0.0);
    EXPECT_DOUBLE_EQ(Str_AtoF("-0.5x"), -0.5);
    EXPECT_DOUBLE_EQ(Str_AtoF("1.2.5"), 12.5);
    EXPECT_DOUBLE_EQ(Str_AtoF("0.85"), 0.85);
    EXPECT_DOUBLE_EQ(Str_AtoF(nullptr), 0.0);
}

TEST(Strings, Booleans) {
    int out = -1;
    EXPECT_EQ(Str_ParseBool("yes", &out, 0), 1);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(Str_ParseBool("maybe", &out, 1), 0);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(Str_ParseBool("", &out, 0), 1);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(Str_ParseBool("Off", &out, 1), 1);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(Str_ParseBool("TRUEISH", &out, 0), 0);
    EXPECT_EQ(Str_ParseBool("false", &out, 1), 1);
    EXPECT_EQ(out, 0);
}

TEST(Checksums, MatchTheStandardCrc32) {
    uint32_t hash = 0;
    EXPECT_EQ(Str_Hash("abc", 1, &hash), 3);
    EXPECT_EQ(hash, 0x352441C2u);
    Str_Hash("abc", 0, &hash);
    EXPECT_EQ(hash, 0xA3830348u);
    Str_Hash("ABC", 1, &hash);
    EXPECT_EQ(hash, 0xA3830348u);
    EXPECT_EQ(Str_Hash("", 0, &hash), 0);
    EXPECT_EQ(hash, 0u);
    // The check value of the CRC-32 catalogue.
    EXPECT_EQ(Core_Crc32("123456789", 9), 0xCBF43926u);
    uint32_t reg = 0xFFFFFFFFu;
    Core_Crc32Update("1234", 4, &reg);
    Core_Crc32Update("56789", 5, &reg);
    EXPECT_EQ(~reg, 0xCBF43926u);
    EXPECT_EQ(Mem_Compare("abc", "abd", 2), 1);
    EXPECT_EQ(Mem_Compare("abc", "abd", 3), 0);
}

TEST(Strings, RunawayNumbersAreCutNotFatal) {
    std::string digits(200, '7');
    EXPECT_EQ(Str_AtoI(digits.c_str()), Str_AtoI(digits.substr(0, 69).c_str()));
    EXPECT_EQ(Str_AtoI(("0x" + std::string(100, 'f')).c_str()), -1);
    EXPECT_DOUBLE_EQ(Str_AtoF(("1." + std::string(150, '5')).c_str()), Str_AtoF(("1." + std::string(67, '5')).c_str()));
}

TEST(Strings, FatalStopOnAnOverlongNumberConversion) {
    EXPECT_EQ(RunProbe("bigvalue"), 1);
    EXPECT_NE(ReadWholeFile("probe-bigvalue.log").find("ABORT: Value exceeds buffer size (85 > 85)"),
              std::string::npos);
}

}  // namespace
