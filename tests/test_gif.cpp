#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap.h"
#include "gif.h"
#include "orv-core.h"
#include "png.h"
#include "test_support.h"

namespace {


// Renders the first image member as the batch job does.
struct Rendered : Decoded {
    GIFStruct* gif = nullptr;
    int loaded = 0;  // what GIF_LoadBuffer returned
    int found = 0;   // 1 when the file has an image member
    explicit Rendered(const Bytes& file) {
        GIF_Create(&gif);
        Run("gif-decode.log", [&] {
            loaded = GIF_LoadBuffer(gif, file.data(), uint32_t(file.size()));
            GIFMemberStruct* m = nullptr;
            if (loaded && GIF_FirstMember(gif, &m)) {
                for (; m; GIF_NextMember(gif, m, &m)) {
                    int32_t type = 0;
                    GIF_GetMemberType(gif, m, &type);
                    if (type == GIF_TYPEIMAGE) {
                        found = 1;
                        return GIF_MemberToBitmap(gif, m, bitmap);
                    }
                }
            }
            if (loaded) Log_Print(0, "No image in GIF\n");
            return 0;
        });
    }
    ~Rendered() { GIF_Destroy(&gif); }
};

// A GIF with a 4-colour global table and one image whose LZW data is given
// as codes of a fixed width (3 bits for a minimum code size of 2).
Bytes MakeGif(int w, int h, const std::vector<int>& codes, int transparent = -1, int interlace = 0,
              bool trailer = true) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a', (unsigned char)w, 0, (unsigned char)h, 0, 0x81, 0, 0};
    Bytes table = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    b.insert(b.end(), table.begin(), table.end());
    if (transparent >= 0) {
        Bytes gce = {0x21, 0xF9, 4, 1, 0, 0, (unsigned char)transparent, 0};
        b.insert(b.end(), gce.begin(), gce.end());
    }
    Bytes image = {0x2C, 0, 0, 0, 0, (unsigned char)w, 0, (unsigned char)h, 0, (unsigned char)(interlace ? 0x40 : 0)};
    b.insert(b.end(), image.begin(), image.end());
    b.push_back(2);
    Bytes data;
    uint32_t acc = 0;
    int bits = 0, width = 3, next = 6;
    for (int code : codes) {
        acc |= uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            data.push_back((unsigned char)acc);
            acc >>= 8;
            bits -= 8;
        }
        if (code == 4) {
            width = 3;
            next = 6;
        } else if (++next > (1 << width) && width < 12) {
            ++width;
        }
    }
    if (bits) data.push_back((unsigned char)acc);
    for (size_t at = 0; at < data.size(); at += 255) {
        size_t n = std::min<size_t>(255, data.size() - at);
        b.push_back((unsigned char)n);
        b.insert(b.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    b.push_back(0);
    if (trailer) b.push_back(0x3B);
    return b;
}

TEST(Gif, OpaqueAndTransparentPixels) {
    Rendered r(MakeGif(2, 2, {4, 0, 1, 2, 3, 5}, 3));
    ASSERT_EQ(r.ok, 1) << r.log;
    EXPECT_EQ(r.Pixel(0, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(r.Pixel(1, 0), (std::vector<int>{0, 255, 0, 255}));
    EXPECT_EQ(r.Pixel(0, 1), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(r.Pixel(1, 1), (std::vector<int>{0, 0, 255, 0})) << "background colour, alpha 0";
}

// A 20 MB comment before the picture is kept whole. (Copied over and over
// as it grew, it took minutes; this suite would show it.)
TEST(Gif, LongCommentsReadInOnePass) {
    Bytes gif = MakeGif(2, 2, {4, 0, 1, 2, 3, 5});
    Bytes comment = {0x21, 0xFE};
    const int kBlocks = 20 * 1024 * 1024 / 255;
    for (int i = 0; i < kBlocks; ++i) {
        comment.push_back(255);
        comment.insert(comment.end(), 255, (unsigned char)('a' + i % 26));
    }
    comment.push_back(0);
    gif.insert(gif.begin() + 13 + 12, comment.begin(), comment.end());
    Rendered r(gif);
    ASSERT_EQ(r.ok, 1) << r.log;
    GIFMemberStruct* m = nullptr;
    ASSERT_EQ(GIF_FirstMember(r.gif, &m), 1);
    int32_t type = 0;
    GIF_GetMemberType(r.gif, m, &type);
    ASSERT_EQ(type, GIF_TYPECOMMENT);
    ASSERT_EQ(m->dataSize, kBlocks * 255);
    EXPECT_EQ(m->data[255], 'b');
    // A chain cut short fails without allocating for what is missing.
    Bytes cut(gif.begin(), gif.begin() + 13 + 12 + 1000);
    EXPECT_EQ(Rendered(cut).loaded, 0);
}

TEST(Gif, MalformedFiles) {
    Rendered noTrailer(MakeGif(2, 2, {4, 0, 1, 2, 3, 5}, -1, 0, false));
    EXPECT_EQ(noTrailer.loaded, 0);
    EXPECT_NE(noTrailer.log.find("Unexpected end of stream"), std::string::npos);
    // An unknown extension before the picture is passed over, sub-blocks
    // and all; one cut short ends the file.
    Bytes unknown = MakeGif(2, 2, {4, 0, 1, 2, 3, 5});
    unknown.insert(unknown.begin() + 13 + 12, {0x21, 0x02, 3, 'a', 'b', 'c', 1, 'd', 0});
    Rendered label(unknown);
    EXPECT_NE(label.log.find("Unknown secondary operator 0x02 ("), std::string::npos) << label.log;
    ASSERT_EQ(label.ok, 1) << label.log;
    EXPECT_EQ(label.Pixel(0, 0), (std::vector<int>{0, 0, 255, 255}));
    Bytes cutUnknown(unknown.begin(), unknown.begin() + 13 + 12 + 5);
    EXPECT_EQ(Rendered(cutUnknown).loaded, 0);
    Bytes startCode = MakeGif(1, 1, {4, 0, 5});
    startCode[13 + 12 + 10] = 12;
    EXPECT_NE(Rendered(startCode).log.find("Invalid Start Code (12)\r\n"), std::string::npos);
    // An image wider than the screen is clipped to it.
    Bytes outside = MakeGif(2, 2, {4, 0, 1, 2, 3, 5});
    outside[13 + 12 + 5] = 3;
    Rendered clipped(outside);
    EXPECT_NE(clipped.log.find("GIF Image (0, 0, 3, 2) not fits to logical screen boundary (2, 2): clipped\r\n"),
              std::string::npos);
    ASSERT_EQ(clipped.ok, 1) << clipped.log;
    EXPECT_EQ(clipped.bitmap->width, 2);
    EXPECT_EQ(clipped.Pixel(0, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(clipped.Pixel(1, 0), (std::vector<int>{0, 255, 0, 255}));
    Rendered badCode(MakeGif(2, 1, {4, 7, 5}));
    EXPECT_NE(badCode.log.find("Unexpected code (7)\r\n"), std::string::npos) << badCode.log;
}

TEST(Gif, ShortDataLeavesIndexZeroAndInterlacedRowOrder) {
    Rendered r(MakeGif(2, 2, {4, 3, 5}));
    ASSERT_EQ(r.ok, 1) << r.log;
    EXPECT_EQ(r.Pixel(0, 0)[3], 255);
    EXPECT_EQ(r.Pixel(1, 1), (std::vector<int>{0, 0, 255, 255})) << "missing pixels are colour 0";

    // 1 x 10 interlaced: the ten indexes arrive in row order 0, 8, 4, 2, 6,
    // 1, 3, 5, 7, 9.
    std::vector<int> codes = {4};
    const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    for (int i = 0; i < 10; ++i) codes.push_back(order[i] % 2 ? 1 : (order[i] % 4 ? 2 : 0));
    codes.push_back(5);
    // Keep the code table from growing past the three-bit width.
    std::vector<int> cleared = {4};
    for (size_t i = 1; i + 1 < codes.size(); ++i) {
        cleared.push_back(codes[i]);
        cleared.push_back(4);
    }
    cleared.push_back(5);
    Rendered interlaced(MakeGif(1, 10, cleared, -1, 1));
    ASSERT_EQ(interlaced.ok, 1) << interlaced.log;
    for (int row = 0; row < 10; ++row) {
        int index = row % 2 ? 1 : (row % 4 ? 2 : 0);
        static const int kRed[3] = {255, 0, 0};
        EXPECT_EQ(interlaced.Pixel(0, row)[2], kRed[index]) << row;
    }
}

// A handful of LZW bytes cannot fill an image of 16000 x 16000: refused
// before its indexes are allocated, under a memory limit far below them.
// A large screen around a small image is sound, and decodes.
TEST(Gif, ImagesTheirDataCannotFillAreRefusedBeforeAllocating) {
    Bytes huge = MakeGif(2, 2, {4, 3, 5});
    const size_t image = 13 + 12;  // the image descriptor, after the screen and the colour table
    ASSERT_EQ(huge[image], 0x2C);
    for (size_t at : {size_t(6), size_t(8), image + 5, image + 7}) {
        huge[at] = 0x80;
        huge[at + 1] = 0x3E;
    }
    Bytes screenOnly = MakeGif(2, 2, {4, 3, 5});
    screenOnly[6] = screenOnly[8] = 0xD0;
    screenOnly[7] = screenOnly[9] = 0x02;
    {
        MemoryRoom room(4 << 20);
        Rendered r(huge);
        EXPECT_EQ(r.loaded, 0);
        EXPECT_NE(r.log.find("GIF image data cannot fill 16000 x 16000"), std::string::npos) << r.log;
        Rendered wide(screenOnly);
        EXPECT_EQ(wide.ok, 1) << wide.log;
        EXPECT_EQ(wide.bitmap->width, 720);
        EXPECT_EQ(wide.Pixel(0, 0)[3], 255);
    }
}

std::map<std::string, std::string> Conf(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        size_t eq = line.find(" = ");
        if (eq != std::string::npos) values[section + "." + line.substr(0, eq)] = line.substr(eq + 3);
    }
    return values;
}

// The suite files Brimlow refuses, each with the words of its log. Every
// other file must decode.
const std::map<std::string, std::string> kRefused = {
    {"image-zero-height.gif", "GIF Image has invalid size (1, 0)"},
    {"image-zero-size.gif", "GIF Image has invalid size (0, 0)"},
    {"image-zero-width.gif", "GIF Image has invalid size (0, 1)"},
    {"invalid-code.gif", "Unexpected code (7)"},
    {"invalid-colors.gif", "Invalid Color Index (2), Color Table Size (2)"},
    {"max-size.gif", "No image in GIF"},
    {"no-data.gif", "No image in GIF"},
    {"overflow-codes-max.gif", "Invalid Start Code (255)"},
    {"overflow-codes.gif", "Invalid Start Code (12)"},
    {"zero-height.gif", "No image in GIF"},
    {"zero-size.gif", "No image in GIF"},
    {"zero-width.gif", "No image in GIF"}};

// The suite's first frames follow browser rules; where Brimlow's rule (first
// image over the background) draws an opaque pixel, it must be the suite's.
TEST(GifSuite, FirstFramesAgreeOnOpaquePixels) {
    std::string folder = TestData("gif/suite/");
    std::vector<std::string> confs = FilesEnding(folder, ".conf");
    if (confs.empty()) MISSING_TEST_DATA() << "GIF suite not found";
    int compared = 0, refused = 0;
    for (const std::string& name : confs) {
        std::map<std::string, std::string> conf = Conf(ReadWholeFile(folder + name));
        std::string gif = ReadWholeFile(folder + conf["config.input"]);
        Rendered r(Bytes(gif.begin(), gif.end()));
        std::string first = conf["config.frames"].substr(0, conf["config.frames"].find(','));
        std::string file = conf["config.input"];
        if (kRefused.count(file)) {
            EXPECT_EQ(r.ok, 0) << file << " is refused";
            EXPECT_NE(r.log.find(kRefused.at(file)), std::string::npos) << file << ": " << r.log;
            ++refused;
            continue;
        }
        ASSERT_EQ(r.ok, 1) << file << ": " << r.log;
        if (first.empty()) continue;
        // Browsers show images without a delay together with the next one as
        // one frame; Brimlow renders the first image alone. Only files where
        // both rules give the same first frame are compared.
        int images = 0;
        GIFMemberStruct* firstImage = nullptr;
        for (GIFMemberStruct* m = r.gif->members.first; m; m = m->next)
            if (m->Type == GIF_TYPEIMAGE && images++ == 0) firstImage = m;
        if (images > 1 && firstImage->delay == 0) continue;
        std::string expected;
        if (conf.count(first + ".pixels")) {
            expected = ReadWholeFile(folder + conf[first + ".pixels"]);
        } else if (conf.count(first + ".image")) {
            Rgba ref;
            if (!ImageMagickRgba(folder + conf[first + ".image"], &ref)) continue;
            expected = ref.bytes;
        }
        int w = r.bitmap->width, h = r.bitmap->height;
        if (expected.size() != size_t(w) * h * 4) continue;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* e = reinterpret_cast<const unsigned char*>(expected.data()) + (size_t(y) * w + x) * 4;
                std::vector<int> p = r.Pixel(x, y);
                if (p[3] != 255 || e[3] != 255) continue;
                ASSERT_EQ(p[2], e[0]) << name << " at " << x << "," << y;
                ASSERT_EQ(p[1], e[1]) << name << " at " << x << "," << y;
                ASSERT_EQ(p[0], e[2]) << name << " at " << x << "," << y;
            }
        ++compared;
    }
    EXPECT_GE(compared, 40);
    EXPECT_EQ(refused, int(kRefused.size()));
}

TEST(GifSuite, CorruptFilesFailCleanly) {
    std::string folder = TestData("gif/suite/");
    if (FilesEnding(folder, ".gif").empty()) MISSING_TEST_DATA() << "GIF suite not found";
    for (const char* name : {"invalid-code.gif", "no-data.gif"}) {
        std::string gif = ReadWholeFile(folder + name);
        if (gif.empty()) continue;
        Rendered r(Bytes(gif.begin(), gif.end()));
        EXPECT_EQ(r.ok, 0) << name << " " << r.log;
    }
    // Files every browser shows: images past the screen, a background index
    // past the table, extensions no one knows.
    for (const char* name : {"image-outside-bg.gif", "image-overlap-bg.gif", "invalid-background.gif",
                             "unknown-extension.gif", "unknown-application-extension.gif", "4095-codes.gif",
                             "max-codes.gif"}) {
        std::string gif = ReadWholeFile(folder + name);
        Rendered r(Bytes(gif.begin(), gif.end()));
        EXPECT_EQ(r.ok, 1) << name << " " << r.log;
    }
    for (const std::string& name : FilesEnding(folder, ".gif")) {
        std::string gif = ReadWholeFile(folder + name);
        Rendered r(Bytes(gif.begin(), gif.end()));
        if (!r.loaded) {
            EXPECT_EQ(r.gif->members.count, 0) << "a failed load keeps no members: " << name;
        }
    }
}

}  // namespace
