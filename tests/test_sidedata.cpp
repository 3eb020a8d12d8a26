// The side-data record every decoder fills and every writer reads: a block
// kept is a copy of its own, one over the cap or of no bytes is not kept
// (and takes the earlier block of its kind with it), an Exif block loses the
// "Exif\0\0" some files put before it and needs a TIFF header, and a record
// handed on leaves nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "orv-core.h"
#include "sidedata.h"
#include "test_support.h"

namespace {

TEST(SideData, BlocksKeptUnderOneCap) {
    const std::string tiff = std::string("II*\0\x08\0\0\0rest", 12);
    auto held = [](const SideDataStruct& side, int kind) {
        return side.block[kind] ? std::string(reinterpret_cast<char*>(side.block[kind]), size_t(side.size[kind])) : "";
    };
    const struct {
        const char* name;
        int kind;
        std::string data;
        int64_t size;      // bytes offered; -1: the data's own
        int kept;          // SideData_Keep's or SideData_KeepExif's result
        std::string held;  // what the record holds of the kind after
    } cases[] = {
        {"profile", SIDE_PROFILE, "acsp", -1, 1, "acsp"},
        {"empty", SIDE_XMP, "", -1, 0, ""},
        {"over the cap", SIDE_IPTC, "x", int64_t(SIDE_MOST_BYTES) + 1, 0, ""},
        {"exif as TIFF", SIDE_EXIF, tiff, -1, 1, tiff},
        {"exif after its marker's prefix", SIDE_EXIF, std::string("Exif\0\0", 6) + tiff, -1, 1, tiff},
        {"exif without a TIFF header", SIDE_EXIF, "Exif", -1, 0, ""},
    };
    for (const auto& c : cases) {
        SideDataStruct side = {};
        // An earlier block of the kind is replaced or dropped, never kept.
        ASSERT_EQ(SideData_Keep(&side, c.kind, reinterpret_cast<const unsigned char*>("old"), 3), 1);
        std::string copy = c.data;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(copy.data());
        const int64_t size = c.size < 0 ? int64_t(copy.size()) : c.size;
        // The cap is checked before a byte is read: the offered size alone.
        EXPECT_EQ(
            c.kind == SIDE_EXIF ? SideData_KeepExif(&side, bytes, size) : SideData_Keep(&side, c.kind, bytes, size),
            c.kept)
            << c.name;
        EXPECT_EQ(held(side, c.kind), c.held) << c.name;
        if (!copy.empty()) copy[copy.size() - 1] ^= 1;
        EXPECT_EQ(held(side, c.kind), c.held) << c.name << ": a copy of its own";
        SideDataStruct to = {};
        SideData_Take(&to, &side);
        for (int k = 0; k < SIDE_KINDS; ++k) EXPECT_EQ(side.block[k], nullptr) << c.name;
        EXPECT_EQ(to.size[c.kind], int32_t(c.held.size())) << c.name;
        SideData_Drop(&to, c.kind);
        EXPECT_EQ(to.block[c.kind], nullptr) << c.name;
        SideData_Reset(&to);
    }
}

}  // namespace
