// The WebP bridge against libwebp's own tools: pictures made by cwebp and
// img2webp decode to exactly what dwebp decodes (an animation to its first
// frame), and a photo's profile and Exif travel to its copy.
#include <gtest/gtest.h>

#include <string>

#include "bitmap.h"
#include "job_support.h"
#include "orv-str.h"
#include "test_support.h"
#include "webpl.h"
#include "input.h"
#include "copy.h"

namespace {

TEST(WebP, DecodesAsLibwebpsOwnDecoder) {
    std::string dir = Fresh("webp");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 97x61 -seed 3 plasma:green-purple -depth 8 " + dir + "still.png && " +
                       "/usr/bin/convert -size 97x61 gradient:'rgba(255,0,0,0.1)-rgba(0,0,255,0.9)' " +
                       "-define png:color-type=6 " + dir + "clear.png && /usr/bin/convert " + dir + "still.png -negate " +
                       dir + "second.png"),
              0);
    struct Case {
        const char* name;
        std::string make;       // the tool's command that writes the picture
        std::string reference;  // a picture whose decode it must equal
    } cases[] = {
        {"lossy.webp", "cwebp -quiet -q 80 " + dir + "still.png -o ", ""},
        {"lossless.webp", "cwebp -quiet -lossless " + dir + "still.png -o ", dir + "still.png"},
        {"alpha.webp", "cwebp -quiet -exact -q 80 " + dir + "clear.png -o ", ""},
        {"anim.webp", "img2webp -lossless " + dir + "still.png -lossy " + dir + "second.png -o ", dir + "still.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = dir + c.name;
        ASSERT_EQ(RunShell(c.make + file + " > /dev/null"), 0);
        std::string reference = c.reference;
        if (reference.empty()) {
            reference = file + ".pam";
            ASSERT_EQ(RunShell("dwebp -quiet " + file + " -pam -o " + reference), 0);
        }
        Rgba theirs;
        ASSERT_TRUE(ImageMagickRgba(reference, &theirs));
        BitmapStruct* ours = nullptr;
        Bitmap_Create(&ours);
        ASSERT_EQ(LoadImageByExtension(file.c_str(), ours), 1);
        int32_t w = 0, h = 0;
        std::string bytes = ReadWholeFile(file);
        EXPECT_EQ(WEBP_ReadSize(reinterpret_cast<const unsigned char*>(bytes.data()), uint32_t(bytes.size()), &w, &h), 1);
        EXPECT_EQ(w, 97);
        EXPECT_EQ(h, 61);
        EXPECT_EQ(ours->width, theirs.width);
        EXPECT_TRUE(TopDownRgba(ours) == theirs.bytes) << "pixels differ from the reference";
        Bitmap_Destroy(&ours);
    }
    // A photo's profile and Exif, kept by cwebp, reach the copy: converted
    // colours (no profile carried), the date kept.
    std::string fields = TaggedPhotoCopyFields(dir, "", "cwebp -quiet -lossless -metadata icc,exif", "photo.webp");
    EXPECT_NE(fields.find("-ExifIFD:DateTimeOriginal=2024:05:01 10:00:00"), std::string::npos) << fields;
    EXPECT_EQ(fields.find("-ICC_Profile:"), std::string::npos) << "converted to sRGB";
}

}  // namespace
