// The replay tool's platform-free part on the host: PNG files out and back in, the
// script report against the runtime reader's rules, the comparison, the arguments, and the
// batch's list and results.
#include "tools/replay/core/batch_list.h"
#include "tools/replay/core/picture_compare.h"
#include "tools/replay/core/png_codec.h"
#include "tools/replay/core/replay_options.h"
#include "tools/replay/core/replay_status.h"
#include "tools/replay/core/script_report.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace {

// A drawing-like picture: flat areas, an edge, and a few noisy rows.
RgbPicture sample_picture(int width, int height) {
    RgbPicture picture;
    picture.width = width;
    picture.height = height;
    std::mt19937 random(7);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const bool noisy = y % 17 == 3;
            const uint8_t r = noisy ? static_cast<uint8_t>(random()) : (x < width / 3 ? 255 : 0);
            picture.rgb.insert(picture.rgb.end(), {r, static_cast<uint8_t>(y), 200});
        }
    return picture;
}

uint32_t get32(const std::vector<uint8_t> &bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

void put32(std::vector<uint8_t> &bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; i++)
        bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

TEST(ReplayPng, OwnPicturesComeBackAsEightBitRgb) {
    const int sizes[][2] = {{595, 496}, {1, 1}, {7, 300}, {1021, 3}};
    for (const auto &[width, height] : sizes) {
        const RgbPicture picture = sample_picture(width, height);
        const std::vector<uint8_t> png = encode_png(picture);
        // The header right after the signature: width, height, 8 bits, colour type 2 (RGB),
        // deflate, filtered rows, no interlacing.
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
        EXPECT_EQ(get32(png, 16), uint32_t(width));
        EXPECT_EQ(get32(png, 20), uint32_t(height));
        EXPECT_EQ(std::vector<uint8_t>(png.begin() + 24, png.begin() + 29),
                  (std::vector<uint8_t>{8, 2, 0, 0, 0}));
        RgbPicture back;
        std::string error;
        ASSERT_TRUE(decode_png(png, back, error)) << width << " x " << height << ": " << error;
        EXPECT_TRUE(back == picture) << width << " x " << height;
        EXPECT_EQ(encode_png(picture), png) << "the same picture should give the same bytes";
    }
    const RgbPicture large = sample_picture(595, 496);
    EXPECT_LT(encode_png(large).size(), large.rgb.size() / 4) << "flat areas should compress";
}

TEST(ReplayPng, ReadsPaletteAndFilteredRowsAndRefusesDamage) {
    // 3 x 2, palette of three colours, rows filtered with Sub and Paeth, packed by zlib.
    const std::vector<uint8_t> png = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x03, 0x00, 0x00,
        0x00, 0xaa, 0xaa, 0x96, 0x28, 0x00, 0x00, 0x00, 0x09, 0x50, 0x4c, 0x54, 0x45, 0x0a,
        0x14, 0x1e, 0xc8, 0x64, 0x32, 0x00, 0x00, 0xff, 0x3f, 0x74, 0x29, 0xef, 0x00, 0x00,
        0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x64, 0x60, 0x64, 0x64, 0x61,
        0x62, 0x60, 0x00, 0x00, 0x00, 0x31, 0x00, 0x0a, 0xb8, 0xec, 0x40, 0x54, 0x00, 0x00,
        0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    RgbPicture picture;
    std::string error;
    ASSERT_TRUE(decode_png(png, picture, error)) << error;
    const std::vector<uint8_t> want = {10, 20, 30,  200, 100, 50,  0, 0, 255,
                                       0,  0,  255, 0,   0,   255, 0, 0, 255};
    EXPECT_EQ(picture.width, 3);
    EXPECT_EQ(picture.height, 2);
    EXPECT_TRUE(picture.rgb == want);

    std::vector<uint8_t> damaged = png;
    damaged[70] ^= 0x10;
    EXPECT_FALSE(decode_png(damaged, picture, error));
    EXPECT_FALSE(decode_png(std::vector<uint8_t>(png.begin(), png.begin() + 60), picture, error));
    EXPECT_FALSE(decode_png({'G', 'I', 'F', '8'}, picture, error));

    // An intact file whose header claims one row more than its data holds, checksum mended.
    std::vector<uint8_t> short_data = encode_png(sample_picture(40, 30));
    put32(short_data, 20, 31);
    put32(short_data, 29, static_cast<uint32_t>(crc32(0, short_data.data() + 12, 17)));
    EXPECT_FALSE(decode_png(short_data, picture, error));
    EXPECT_EQ(error, "the PNG file's pixel data is damaged");
}

// A PNG file of the given kind: the rows (filter bytes included) packed by zlib, with `extra`
// chunks (name and data) before the pixel data, which is split in two IDAT chunks.
std::vector<uint8_t> png_file(int width, int height, uint8_t depth, uint8_t type,
                              const std::vector<uint8_t> &rows,
                              const std::vector<std::pair<std::string, std::string>> &extra) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&out](const std::string &kind, const std::vector<uint8_t> &data) {
        out.resize(out.size() + 4);
        put32(out, out.size() - 4, static_cast<uint32_t>(data.size()));
        const size_t start = out.size();
        out.insert(out.end(), kind.begin(), kind.end());
        out.insert(out.end(), data.begin(), data.end());
        out.resize(out.size() + 4);
        put32(out, out.size() - 4, crc32(0, out.data() + start, out.size() - 4 - start));
    };
    std::vector<uint8_t> header(13);
    put32(header, 0, width);
    put32(header, 4, height);
    header[8] = depth;
    header[9] = type;
    chunk("IHDR", header);
    for (const auto &[kind, data] : extra)
        chunk(kind, std::vector<uint8_t>(data.begin(), data.end()));
    uLongf size = compressBound(rows.size());
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, rows.data(), rows.size(), 9);
    packed.resize(size);
    chunk("IDAT", std::vector<uint8_t>(packed.begin(), packed.begin() + size / 2));
    chunk("IDAT", std::vector<uint8_t>(packed.begin() + size / 2, packed.end()));
    chunk("IEND", {});
    return out;
}

// The chunks' names, in order.
std::vector<std::string> chunk_names(const std::vector<uint8_t> &png) {
    std::vector<std::string> names;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + get32(png, at))
        names.emplace_back(png.begin() + at + 4, png.begin() + at + 8);
    return names;
}

TEST(ReplayPng, ReadsPalettesPackedFewerThanEightBitsToAPixel) {
    // 5 x 2 in a palette of three colours, four 2-bit indices to a byte, the first in the high
    // bits: the second row filtered with Sub, which works on whole bytes.
    const std::string palette = {10, 20, 30, char(200), 100, 50, 0, 0, char(255)};
    const std::vector<uint8_t> rows = {0, 0x19, 0x00, 1, 0xAA, 0x96};
    const std::vector<uint8_t> file = png_file(5, 2, 2, 3, rows, {{"PLTE", palette}});
    RgbPicture picture;
    std::string error;
    ASSERT_TRUE(decode_png(file, picture, error)) << error;
    const std::vector<uint8_t> c[] = {{10, 20, 30}, {200, 100, 50}, {0, 0, 255}};
    std::vector<uint8_t> want;
    for (const int index : {0, 1, 2, 1, 0, 2, 2, 2, 2, 1})
        want.insert(want.end(), c[index].begin(), c[index].end());
    EXPECT_EQ(picture.rgb, want);
    std::vector<uint8_t> kept;
    ASSERT_TRUE(read_png(file, nullptr, &kept, error)) << error;
    EXPECT_FALSE(kept.empty()) << "a packed palette's file shows its pixels as it is";
    // Index 3 of a palette of three.
    EXPECT_FALSE(decode_png(png_file(5, 2, 2, 3, {0, 0xFF, 0, 0, 0, 0}, {{"PLTE", palette}}),
                            picture, error));
    EXPECT_EQ(error, "the PNG file's palette is short");
}

TEST(ReplayPng, ProgramsFilesAreKeptWithTheirCriticalChunksAloneWhenTheyShowThePixels) {
    // 2 x 2 in a palette of three colours, rows filtered with Paeth and Up, with a
    // transparency, a gamma and a text that the kept file leaves out.
    const std::string palette = {10, 20, 30, char(200), 100, 50, 0, 0, char(255)};
    const std::vector<uint8_t> rows = {4, 2, 255, 2, 0, 1};
    const std::vector<uint8_t> file = png_file(2, 2, 8, 3, rows,
                                               {{"gAMA", std::string("\0\0\xB1\x8F", 4)},
                                                {"PLTE", palette},
                                                {"tRNS", std::string(1, '\0')},
                                                {"tEXt", std::string("Author\0Z", 8)}});
    RgbPicture want, picture;
    std::string error;
    ASSERT_TRUE(decode_png(file, want, error)) << error;
    EXPECT_EQ(want.rgb, (std::vector<uint8_t>{0, 0, 255, 200, 100, 50, 0, 0, 255, 0, 0, 255}));
    std::vector<uint8_t> kept;
    ASSERT_TRUE(read_png(file, nullptr, &kept, error)) << error;
    EXPECT_EQ(chunk_names(kept),
              (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IDAT", "IEND"}));
    ASSERT_TRUE(decode_png(kept, picture, error)) << error;
    EXPECT_TRUE(picture == want);

    // 8-bit RGB as the runtime writes it, and grey: kept as they are.
    const RgbPicture sample = sample_picture(40, 30);
    ASSERT_TRUE(read_png(encode_png(sample), &picture, &kept, error)) << error;
    EXPECT_EQ(kept, encode_png(sample));
    EXPECT_TRUE(picture == sample);
    ASSERT_TRUE(read_png(png_file(2, 1, 8, 0, {0, 7, 9}, {}), &picture, &kept, error)) << error;
    EXPECT_FALSE(kept.empty()) << "8-bit grey";

    // What would not show exactly the decoded pixels is not kept, but still read: an alpha
    // channel, 16-bit samples, a zlib stream with more after the last row, another filter
    // method in the header.
    const struct {
        const char *what;
        std::vector<uint8_t> file;
        std::vector<uint8_t> rgb;
    } not_kept[] = {
        {"RGBA", png_file(1, 1, 8, 6, {0, 1, 2, 3, 4}, {}), {1, 2, 3}},
        {"16-bit", png_file(1, 1, 16, 2, {0, 1, 2, 3, 4, 5, 6}, {}), {1, 3, 5}},
        {"more data", png_file(1, 1, 8, 2, {0, 1, 2, 3, 0}, {}), {1, 2, 3}},
    };
    for (const auto &other : not_kept) {
        kept = {1};
        EXPECT_TRUE(read_png(other.file, &picture, &kept, error)) << other.what << ": " << error;
        EXPECT_TRUE(kept.empty()) << other.what;
        EXPECT_EQ(picture.rgb, other.rgb) << other.what;
    }
    std::vector<uint8_t> method = encode_png(sample);
    method[27] = 1;
    put32(method, 29, static_cast<uint32_t>(crc32(0, method.data() + 12, 17)));
    EXPECT_TRUE(read_png(method, nullptr, &kept, error)) << error;
    EXPECT_TRUE(kept.empty()) << "filter method 1";
}

struct ScriptCase {
    const char *what;
    std::string bytes;
    ScriptTextMode mode;
    int64_t events;
    ScriptStop stop;
    long line;
};

TEST(ReplayScriptReport, EventsAndWhereTheReaderStops) {
    const auto W = ScriptTextMode::WINDOWS_TEXT;
    const std::string long_line = "ZEPHA_MOUSE(1, 2);" + std::string(493, ' ') + "continued\n";
    const ScriptCase cases[] = {
        {"complete", "ZEPHA_PERIODIC(5);\nZEPHA_MOUSE(1, 2);\n", W, 6, ScriptStop::END, 2},
        {"counts 0 and 1 are one event each", "ZEPHA_PERIODIC(0);\nZEPHA_PERIODIC(1);\n", W, 2,
         ScriptStop::END, 2},
        {"CR LF and blank lines", "ZEPHA_KBD(97);\r\n\r\n\nZEPHA_KBD(98);\r\n", W, 2,
         ScriptStop::END, 4},
        {"byte-order mark", "\xEF\xBB\xBFZEPHA_KBD(97);\nZEPHA_KBD(98);\n", W, 0,
         ScriptStop::BYTE_ORDER_MARK, 1},
        {"junk line", "ZEPHA_KBD(97);\nhello\nZEPHA_KBD(98);\n", W, 1, ScriptStop::NOT_A_RECORD, 2},
        {"no newline at the end", "ZEPHA_KBD(97);\nZEPHA_KBD(98);", W, 1, ScriptStop::NO_NEWLINE,
         2},
        {"Ctrl+Z with more after it", "ZEPHA_KBD(97);\n\x1AZEPHA_KBD(98);\n", W, 1,
         ScriptStop::END_OF_FILE_MARK, 2},
        {"a long line's second piece is a line of its own", long_line, W, 1,
         ScriptStop::NOT_A_RECORD, 1},
        {"empty", "", W, 0, ScriptStop::END, 0},
        {"bytes as they are: CR LF blank line is no record", "ZEPHA_KBD(97);\r\n\r\n",
         ScriptTextMode::BYTES, 1, ScriptStop::NOT_A_RECORD, 2},
    };
    for (const ScriptCase &c : cases) {
        const ScriptReport report = read_script_report(c.bytes, c.mode);
        EXPECT_EQ(report.events, c.events) << c.what;
        EXPECT_EQ(static_cast<int>(report.stop), static_cast<int>(c.stop)) << c.what;
        EXPECT_EQ(report.stop_line, c.line) << c.what;
    }
    const ScriptReport junk = read_script_report("ZEPHA_KBD(97);\nhello\n", W);
    EXPECT_EQ(script_stop_field(junk), "line 2: not a record");
    EXPECT_NE(describe_script_stop(junk).find("line 2"), std::string::npos);
}

TEST(ReplayCompare, CountsAndMarksDifferingPixels) {
    RgbPicture expected = sample_picture(4, 3), got = expected;
    EXPECT_EQ(count_differing_pixels(got, expected), 0);
    got.rgb[0] ^= 1;         // pixel (0, 0)
    got.rgb[3 * 5 + 2] ^= 1; // pixel (1, 1)
    EXPECT_EQ(count_differing_pixels(got, expected), 2);
    const RgbPicture diff = difference_picture(got, expected);
    auto at = [&](int x, int y) {
        const uint8_t *p = &diff.rgb[(y * diff.width + x) * 3];
        return std::vector<uint8_t>(p, p + 3);
    };
    EXPECT_EQ(at(0, 0), (std::vector<uint8_t>{255, 0, 255}));
    EXPECT_EQ(at(1, 1), (std::vector<uint8_t>{255, 0, 255}));
    const uint8_t *e = &expected.rgb[3 * 2];
    EXPECT_EQ(at(2, 0), (std::vector<uint8_t>{static_cast<uint8_t>(255 - (255 - e[0]) / 4),
                                              static_cast<uint8_t>(255 - (255 - e[1]) / 4),
                                              static_cast<uint8_t>(255 - (255 - e[2]) / 4)}));

    const RgbPicture wider = sample_picture(5, 3);
    EXPECT_EQ(count_differing_pixels(wider, expected), 3) << "the extra column differs";
    EXPECT_EQ(difference_picture(wider, expected).width, 5);
}

TEST(ReplayOptions, CallsAndMistakes) {
    ReplayOptions o;
    std::string error;
    ASSERT_TRUE(
        parse_replay_arguments({"p.exe", "s.scr", "o.png", "--expect", "e.png", "--tolerance", "12",
                                "--answer", "-x", "--answer", "Ann", "--strict", "--timeout", "5"},
                               o, error))
        << error;
    EXPECT_EQ(o.mode, ReplayOptions::Mode::ONE);
    EXPECT_EQ(o.expect, "e.png");
    EXPECT_EQ(o.tolerance, 12);
    EXPECT_EQ(o.answers, (std::vector<std::string>{"-x", "Ann"}));
    EXPECT_TRUE(o.strict);
    EXPECT_EQ(o.timeout_s, 5u);
    ASSERT_TRUE(parse_replay_arguments({"--batch", "list.txt", "out", "--jobs", "3"}, o, error));
    EXPECT_EQ(o.mode, ReplayOptions::Mode::BATCH);
    EXPECT_EQ(o.jobs, 3u);
    const std::vector<std::vector<std::string>> wrong = {
        {"p.exe", "s.scr"},
        {"p.exe", "s.scr", "o.png", "--timeout", "0"},
        {"p.exe", "s.scr", "o.png", "--tolerance", "3"},
        {"p.exe", "s.scr", "o.png", "--jobs", "2"},
        {"--batch", "list.txt", "out", "--expect", "e.png"},
        {"p.exe", "s.scr", "o.png", "--colour"},
        {"p.exe", "s.scr", "o.png", "--answer"},
    };
    for (const auto &args : wrong)
        EXPECT_FALSE(parse_replay_arguments(args, o, error)) << args.back();
    EXPECT_EQ(diff_picture_path("out/a.PNG"), "out/a.diff.png");
    EXPECT_EQ(diff_picture_path("a"), "a.diff.png");
}

TEST(ReplayBatch, ListRecordsAndResults) {
    std::vector<BatchEntry> entries;
    std::string error;
    ASSERT_TRUE(parse_batch_list("\xEF\xBB\xBF# class 3b\r\n\r\nann.exe one.scr\r\n"
                                 "\"bo b/ob.exe\"\tdir/two.scr  \"e x.png\"\n",
                                 entries, error))
        << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[0].program, "ann.exe");
    EXPECT_EQ(entries[1].program, "bo b/ob.exe");
    EXPECT_EQ(entries[1].expected, "e x.png");
    EXPECT_EQ(batch_picture_name(entries[1]), "004-ob-two.png");
    EXPECT_FALSE(parse_batch_list("a.exe\n", entries, error));
    EXPECT_EQ(error.rfind("line 1", 0), 0u);
    EXPECT_FALSE(parse_batch_list("a.exe b.scr \"c\n", entries, error));

    ReplayResult result;
    result.status = 125;
    result.events = 6;
    result.script_stop = "line 2: not a record";
    result.differing = 17;
    result.picture = true;
    result.message = "17 pixels differ, \"here\"\nand there";
    ReplayResult back;
    ASSERT_TRUE(parse_result_record(format_result_record(result), back));
    EXPECT_EQ(back.status, 125);
    EXPECT_EQ(back.events, 6);
    EXPECT_EQ(back.script_stop, result.script_stop);
    EXPECT_EQ(back.differing, 17);
    EXPECT_TRUE(back.picture);
    EXPECT_EQ(back.message, "17 pixels differ, \"here\" and there");

    ASSERT_TRUE(parse_batch_list("a.exe s.scr e.png\n", entries, error));
    back.seconds = 1.5;
    const std::string csv = results_csv(entries, {back});
    EXPECT_EQ(csv.substr(csv.find('\n') + 1),
              "1,a.exe,s.scr,e.png,125,differs from expected,6,line 2: not a record,17,1.50,"
              "001-a-s.png,\"17 pixels differ, \"\"here\"\" and there\"\r\n");
    EXPECT_STREQ(status_meaning(120, true), "complete");
}

} // namespace
