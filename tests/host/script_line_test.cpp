// The script reader's grammar, one line at a time, on the host with the sanitizers. Each line is
// handed over in a heap block of exactly its size, so any read past its NUL fails the run.
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "runtime/pure/script_line.h"

using namespace zepha;

namespace {

ScriptRecord parse(const std::string &text) {
    std::unique_ptr<char[]> line(new char[text.size() + 1]);
    memcpy(line.get(), text.c_str(), text.size() + 1);
    return parse_script_line(line.get());
}

void expect_mouse(const std::string &line, int32_t x, int32_t y) {
    const ScriptRecord record = parse(line);
    EXPECT_EQ(record.kind, SCRIPT_MOUSE) << "line \"" << line << "\"";
    EXPECT_EQ(record.x, x) << "x of \"" << line << "\"";
    EXPECT_EQ(record.y, y) << "y of \"" << line << "\"";
}

void expect_key(const std::string &line, int code) {
    const ScriptRecord record = parse(line);
    EXPECT_EQ(record.kind, SCRIPT_KEY) << "line \"" << line << "\"";
    EXPECT_EQ(static_cast<unsigned char>(record.key), code) << "key of \"" << line << "\"";
}

void expect_count(const std::string &line, int32_t count) {
    const ScriptRecord record = parse(line);
    EXPECT_EQ(record.kind, SCRIPT_PERIODIC) << "line \"" << line << "\"";
    EXPECT_EQ(record.count, count) << "count of \"" << line << "\"";
}

void expect_unrecognised(const std::string &line) {
    EXPECT_EQ(parse(line).kind, SCRIPT_UNRECOGNISED) << "line \"" << line << "\"";
}

} // namespace

TEST(ScriptLine, ReadsWhatTheRecorderWrites) {
    expect_mouse("ZEPHA_MOUSE(-120, 45);\n", -120, 45);
    expect_mouse("ZEPHA_MOUSE(-2147483648, 2147483647);\n", INT_MIN, INT_MAX);
    expect_key("ZEPHA_KBD(97);\n", 97);
    expect_key("ZEPHA_KBD(-23);\n", 233);
    expect_count("ZEPHA_PERIODIC(12);\n", 12);
}

TEST(ScriptLine, TheSeventhCharacterChoosesTheRecord) {
    // Characters 1 to 6 are never examined.
    expect_key("......K 5", 5);
    expect_mouse("xxxxxxM1,2", 1, 2);
    expect_count("ZEPHA_PERIOD", 0);
    expect_unrecognised("ZEPHA_kBD(1);\n");
    expect_unrecognised("ZEPHA_QUIT(1);\n");
    // A keyword shifted by a leading space is read by whatever lands in 7th place.
    expect_unrecognised(" ZEPHA_KBD(1);\n");
    expect_key("      KBD(3);\n", 3);
    // Characters above 127 (negative chars) neither select a record nor take part in numbers.
    expect_unrecognised("ZEPHA_\xcb(1);\n");
    expect_key("\xff\xff\xff\xff\xff\xffK\xe9-7\xe9", -7 & 0xFF);
}

TEST(ScriptLine, LinesTooShortForARecordAreUnrecognised) {
    for (const char *line : {"", "\n", "Z", "ZEPHA", "ZEPHA\n", "ZEPHA_", "ZEPHA_\n", "     \n"})
        expect_unrecognised(line);
    // Seven characters are enough; the number is then missing and reads as 0.
    expect_key("ZEPHA_K", 0);
}

TEST(ScriptLine, LooseSpellingsOfTheNumbers) {
    expect_mouse("ZEPHA_MOUSE 10 -20\n", 10, -20);
    expect_mouse("ZEPHA_MOUSE(10,-20);", 10, -20);
    // A number is the whole run of digits and minus signs, converted as far as it reads as one.
    expect_key("ZEPHA_KBD(12-3);\n", 12);
    expect_key("ZEPHA_KBD(--5);\n", 0);
    expect_key("ZEPHA_KBD(7-);\n", 7);
    // y is searched from the end of x's whole run, not from where x's conversion stopped.
    expect_mouse("ZEPHA_MOUSE(12-3, 4);\n", 12, 4);
    expect_mouse("ZEPHA_MOUSE(1-2-3)(9)\n", 1, 9);
    expect_mouse("ZEPHA_MOUSE(-, 8)\n", 0, 8);
    // Anything after the numbers is ignored.
    expect_key("ZEPHA_KBD(65); and 66\n", 65);
}

TEST(ScriptLine, KeysKeepTheirLowEightBits) {
    expect_key("ZEPHA_KBD(200);\n", 200);
    expect_key("ZEPHA_KBD(-56);\n", 200);
    expect_key("ZEPHA_KBD(256);\n", 0);
    expect_key("ZEPHA_KBD(-1);\n", 255);
    expect_key("ZEPHA_KBD(-128);\n", 128);
}

TEST(ScriptLine, PeriodicCountsStartAtTheFirstDigit) {
    expect_count("ZEPHA_PERIODIC(0);\n", 0);
    expect_count("ZEPHA_PERIODIC(1);\n", 1);
    expect_count("ZEPHA_PERIODIC(-7);\n", 7);
    expect_count("ZEPHA_PERIODIC(3-4);\n", 3);
    expect_count("ZEPHA_PERIODIC();\n", 0);
}

TEST(ScriptLine, MissingNumbersReadAsZero) {
    expect_key("ZEPHA_KBD();\n", 0);
    expect_mouse("ZEPHA_MOUSE();\n", 0, 0);
    expect_mouse("ZEPHA_MOUSE(5);\n", 5, 0);
    expect_mouse("ZEPHA_MOUSE(-5", -5, 0);
}

TEST(ScriptLine, OnlyElevenCharactersOfANumberCount) {
    // Eleven characters hold every 32-bit value; beyond that the value saturates.
    expect_mouse("ZEPHA_MOUSE(2147483648, -2147483649);\n", INT_MAX, INT_MIN);
    expect_mouse("ZEPHA_MOUSE(99999999999, -9999999999);\n", INT_MAX, INT_MIN);
    expect_count("ZEPHA_PERIODIC(99999999999);\n", INT_MAX);
    // The twelfth character and after are not converted, but y still starts after the run.
    expect_mouse("ZEPHA_MOUSE(000000000001234, 5);\n", 0, 5);
    expect_mouse("ZEPHA_MOUSE(-00000000005, 6);\n", 0, 6);
    expect_mouse("ZEPHA_MOUSE(-0000000005, 6);\n", -5, 6);
    expect_count("ZEPHA_PERIODIC(000000000007);\n", 0);
    const std::string digits(600, '9');
    expect_mouse("ZEPHA_MOUSE(" + digits + ", 3);\n", INT_MAX, 3);
}

TEST(ScriptLine, RecordsOtherThanTheirOwnCarryNothing) {
    const ScriptRecord key = parse("ZEPHA_KBD(12, 34);\n");
    EXPECT_EQ(key.x, 0);
    EXPECT_EQ(key.y, 0);
    EXPECT_EQ(key.count, 0);
    const ScriptRecord unknown = parse("ZEPHA_XYZ(12, 34);\n");
    EXPECT_EQ(unknown.x, 0);
    EXPECT_EQ(unknown.y, 0);
    EXPECT_EQ(unknown.key, 0);
    EXPECT_EQ(unknown.count, 0);
}
