// A copy's camera data as exiftool, which we did not write, reads it: the
// date and camera kept without the location, everything kept, or nothing;
// the orientation upright and the size the copy's; and a block exiftool's
// validation finds nothing wrong with.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "job_support.h"
#include "orv-str.h"
#include "test_support.h"
#include "formats.h"
#include "measure.h"
#include "prepare.h"
#include "winmain_job.h"

namespace {

// exiftool's reading of a file, one "-Group:Tag=value" line a field.
std::string Fields(const std::string& path) {
    RunShell("exiftool -a -G1 -args " + path + " > fields.txt 2>&1");
    return ReadWholeFile("fields.txt");
}

TEST(CameraData, KeptWithoutTheLocationOrAllOrNone) {
    std::string dir = Fresh("exif");
    std::string photo = dir + "photo.jpg";
    MakeJpeg(photo, 120, 80);
    // A phone's photo stored on its side, with its place and the usual
    // fields, XMP and IPTC beside.
    ASSERT_EQ(RunShell("exiftool -q -overwrite_original -Orientation#=6 -Make=Canon -Model='EOS R5' "
                       "-DateTimeOriginal='2024:05:01 10:00:00' -OffsetTimeOriginal=+02:00 -LensModel='RF 24-70' "
                       "-ExposureTime=1/200 -FNumber=4 -ISO=200 -Flash=16 -FocalLength=35 -Artist=Me "
                       "-Copyright='(c) Me' -SerialNumber=123 -ExifImageWidth=120 -ExifImageHeight=80 "
                       "-ColorSpace=1 -GPSLatitude=48.85 -GPSLatitudeRef=N -GPSLongitude=2.35 -GPSLongitudeRef=E "
                       "-XMP-dc:Creator=Me -IPTC:Keywords=trip " + photo),
              0);
    ASSERT_NE(Fields(photo).find("-GPS:GPSLatitude="), std::string::npos) << "exiftool wrote the place";
    const std::vector<std::string> camera = {"-IFD0:Make=Canon", "-IFD0:Model=EOS R5", "-IFD0:Artist=Me",
                                             "-IFD0:Copyright=(c) Me", "-ExifIFD:DateTimeOriginal=2024:05:01 10:00:00",
                                             "-ExifIFD:OffsetTimeOriginal=+02:00", "-ExifIFD:LensModel=RF 24-70",
                                             "-ExifIFD:ExposureTime=1/200", "-ExifIFD:FNumber=4.0",
                                             "-ExifIFD:ISO=200", "-ExifIFD:FocalLength=35.0 mm",
                                             "-IFD0:Orientation=Horizontal (normal)", "-ExifIFD:ExifImageWidth=40",
                                             "-ExifIFD:ExifImageHeight=60", "-ExifIFD:ColorSpace=sRGB"};
    const std::vector<std::string> place = {"-GPS:", "-ExifIFD:SerialNumber=", "-XMP-dc:Creator=", "-IPTC:Keywords="};
    struct Case {
        int metadata;
        bool keepsCamera;
        bool keepsPlace;
    } cases[] = {{METADATA_CAMERA, true, false}, {METADATA_ALL, true, true}, {METADATA_NONE, false, false}};
    Config cfg;
    Str_Copy(cfg.c->ActiveProfile, "Custom");
    cfg.c->CustomWidth = 40;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.metadata);
        cfg.c->Metadata = c.metadata;
        std::string copy = dir + "copy" + std::to_string(c.metadata) + ".jpg";
        ASSERT_EQ(ResizeFile(cfg.c, photo.c_str(), copy.c_str(), &work), 1);
        std::string fields = Fields(copy);
        for (const std::string& f : camera) EXPECT_EQ(fields.find(f) != std::string::npos, c.keepsCamera) << f;
        for (const std::string& f : place) EXPECT_EQ(fields.find(f) != std::string::npos, c.keepsPlace) << f;
        if (c.metadata == METADATA_NONE) {
            EXPECT_EQ(fields.find("-IFD0:"), std::string::npos) << fields;
        }
        RunShell("exiftool -validate -warning -error -a " + copy + " > validate.txt 2>&1");
        EXPECT_EQ(ReadWholeFile("validate.txt"), "Validate                        : OK\n");
    }
    // A block whose first directory lies outside it still gives a copy,
    // without camera data.
    std::string bytes = ReadWholeFile(photo);
    size_t at = bytes.find(std::string("Exif\0\0", 6));
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + 10, 4, "\x7f\xff\xff\xf0", 4);
    std::ofstream(dir + "damaged.jpg", std::ios::binary) << bytes;
    cfg.c->Metadata = METADATA_CAMERA;
    ASSERT_EQ(ResizeFile(cfg.c, (dir + "damaged.jpg").c_str(), (dir + "damaged-copy.jpg").c_str(), &work), 1);
    EXPECT_EQ(Fields(dir + "damaged-copy.jpg").find("-IFD0:Make"), std::string::npos);
    ResizeWork_Destroy(&work);
}

}  // namespace
