#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "config.h"
#include "output.h"
#include "plan.h"
#include "orv-str.h"
#include "test_support.h"

namespace {

struct Folder {
    std::string path;
    explicit Folder(const std::string& name) : path(name + "/") {
        std::filesystem::create_directory(name);
        for (const char* f : {"config.xml", "profiles.xml", "stats.xml", "user-profiles.xml"}) RemoveFile(path + f);
    }
    void Write(const char* file, const std::string& text) {
        FILE* f = fopen((path + file).c_str(), "wb");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
};

struct Config {
    AppConfig* c = nullptr;
    Config() {
        Config_Create(&c);
    }
    ~Config() {
        Config_Destroy(&c);
    }
};

const char kProfiles[] =
    "<?xml version=\"1.0\"?><Configuration><ProfileList><Profile><Name>Web</Name><Resize>1</Resize><Width>800</Width>"
    "<Height>600</Height><Quality>0.75</Quality><MaxSize>300</MaxSize></Profile><Profile><Name>Odd</Name></Profile>"
    "</ProfileList></Configuration>";

TEST(ConfigFiles, WrittenExactlyAndReadBack) {
    Folder dir("cfg-roundtrip");
    Config out;
    out.c->DialogX = -12;
    Str_Copy(out.c->Language, "pt-BR");
    out.c->CustomWidth = 1024;
    out.c->CustomQuality = 0.75;
    out.c->CustomMaxSize = 2048;
    Str_Copy(out.c->Append, "_small & <fast>");
    Str_Copy(out.c->ActiveProfile, "Web");
    out.c->Filter = RESIZE_FILTER_BILINEAR;
    out.c->Format = COPY_WEBP;
    out.c->Background = 0x1E90FF;
    out.c->CustomFit = FIT_CROP;
    out.c->OnCollision = COLLISION_NUMBER;
    out.c->CustomCropFocus = FOCUS_DETAIL;
    out.c->ImagesProcessed = 1234567890123LL;
    ASSERT_EQ(Config_SaveTo(out.c, dir.path.c_str()), 1);
    std::string text = ReadWholeFile(dir.path + "config.xml");
    EXPECT_EQ(text,
              "<?xml version=\"1.0\"?>\r\n<Configuration>\r\n"
              "    <General>\r\n        <DisableSave>false</DisableSave>\r\n"
              "        <SkipImageInfo>false</SkipImageInfo>\r\n        <DuplicateDate>true</DuplicateDate>\r\n"
              "        <Subfolders>true</Subfolders>\r\n"
              "    </General>\r\n    <GUI>\r\n        <DialogX>-12</DialogX>\r\n        <DialogY>0</DialogY>\r\n"
              "        <TrayMinimize>true</TrayMinimize>\r\n        <AlwaysOnTop>false</AlwaysOnTop>\r\n"
              "        <AutoClearList>true</AutoClearList>\r\n        <Language>pt-BR</Language>\r\n    </GUI>\r\n"
              "    <Resize>\r\n        <ActiveProfile>Web</ActiveProfile>\r\n        <AlsoProfiles/>\r\n"
              "        <Filter>Bilinear</Filter>\r\n"
              "    </Resize>\r\n"
              "    <Output>\r\n        <SameDirectory>false</SameDirectory>\r\n        <Path/>\r\n"
              "        <ColourProfile>sRGB</ColourProfile>\r\n        <Metadata>Camera</Metadata>\r\n"
              "        <Format>WebP</Format>\r\n        <Background>#1E90FF</Background>\r\n"
              "        <NeverLarger>true</NeverLarger>\r\n        <TotalSize>0</TotalSize>\r\n"
              "        <Filename>\r\n            <Append>_small &amp; &lt;fast&gt;</Append>\r\n"
              "            <Prepend/>\r\n            <OnCollision>Number</OnCollision>\r\n"
              "        </Filename>\r\n    </Output>\r\n"
              "    <Statistics>\r\n        <ImagesProcessed>1234567890123</ImagesProcessed>\r\n"
              "        <Filesize>\r\n            <Original>0</Original>\r\n            <Resized>0</Resized>\r\n"
              "        </Filesize>\r\n    </Statistics>\r\n"
              "    <Custom>\r\n        <Width>1024</Width>\r\n        <Height>0</Height>\r\n"
              "        <Quality>0.750000</Quality>\r\n        <MaxSize>2048</MaxSize>\r\n"
              "        <Turn>false</Turn>\r\n        <Percent>0</Percent>\r\n        <Dpi>0</Dpi>\r\n"
              "        <Fit>Crop</Fit>\r\n        <CropFocus>Detail</CropFocus>\r\n        <Unit>px</Unit>\r\n"
              "    </Custom>\r\n</Configuration>\r\n");
    EXPECT_EQ(ReadWholeFile(dir.path + "stats.xml"),
              "<?xml version=\"1.0\"?>\r\n<Configuration>\r\n    <Statistics>\r\n"
              "        <ImagesProcessed>1234567890123</ImagesProcessed>\r\n        <Filesize>\r\n"
              "            <Original>0</Original>\r\n            <Resized>0</Resized>\r\n        </Filesize>\r\n"
              "    </Statistics>\r\n</Configuration>\r\n");

    dir.Write("profiles.xml", kProfiles);
    Config in;
    ASSERT_EQ(Config_LoadFrom(in.c, dir.path.c_str()), 1);
    EXPECT_EQ(in.c->DialogX, -12);
    EXPECT_STREQ(in.c->Language, "pt-BR");
    EXPECT_EQ(in.c->CustomWidth, 1024);
    EXPECT_DOUBLE_EQ(in.c->CustomQuality, 0.75);
    EXPECT_EQ(in.c->CustomMaxSize, 2048);
    EXPECT_STREQ(in.c->Append, "_small & <fast>");
    EXPECT_EQ(in.c->ImagesProcessed, 1234567890123LL);
    EXPECT_EQ(in.c->DuplicateDate, 1);
    EXPECT_EQ(in.c->Filter, RESIZE_FILTER_BILINEAR);
    EXPECT_EQ(in.c->Format, COPY_WEBP);
    EXPECT_EQ(in.c->Background, 0x1E90FF);
    ASSERT_EQ(in.c->Profiles.count, 2);
    EXPECT_STREQ(in.c->Profiles.first->Name, "Web");
    EXPECT_EQ(in.c->Profiles.first->Width, 800);
    EXPECT_DOUBLE_EQ(in.c->Profiles.first->Quality, 0.75);
    EXPECT_EQ(in.c->Profiles.first->MaxSize, 300);
    EXPECT_EQ(in.c->Profiles.last->Quality, 0.0) << "a missing Quality child reads as 0";
    EXPECT_EQ(in.c->Profiles.last->MaxSize, 0) << "a missing MaxSize is no limit";
}

// Choices and colours by their names in any case; an unknown one, or none,
// is the default.
TEST(ConfigFiles, ChoicesReadAsTheirValueAndAnythingElseAsTheDefault) {
    Folder dir("cfg-filter");
    dir.Write("profiles.xml", kProfiles);
    const struct {
        const char* element;
        int32_t AppConfig::*field;
        int32_t value;
    } cases[] = {{"<Resize><Filter>bilinear</Filter></Resize>", &AppConfig::Filter, RESIZE_FILTER_BILINEAR},
                 {"<Resize><Filter>LANCZOS</Filter></Resize>", &AppConfig::Filter, RESIZE_FILTER_LANCZOS},
                 {"<Resize><Filter>Bicubic</Filter></Resize>", &AppConfig::Filter, RESIZE_FILTER_LANCZOS},
                 {"<Resize><Filter/></Resize>", &AppConfig::Filter, RESIZE_FILTER_LANCZOS},
                 {"", &AppConfig::Filter, RESIZE_FILTER_LANCZOS},
                 {"<Output><Format>original</Format></Output>", &AppConfig::Format, FORMAT_SAME_KIND},
                 {"<Output><Format>PNG</Format></Output>", &AppConfig::Format, COPY_PNG},
                 {"<Output><Format>gif</Format></Output>", &AppConfig::Format, COPY_JPEG},
                 {"<Output><Background>white</Background></Output>", &AppConfig::Background, 0xFFFFFF},
                 {"<Output><Background>#00ff7F</Background></Output>", &AppConfig::Background, 0x00FF7F},
                 {"<Output><Background>#12345</Background></Output>", &AppConfig::Background, 0},
                 {"<Output><Background>red</Background></Output>", &AppConfig::Background, 0}};
    for (const auto& c : cases) {
        dir.Write("config.xml", std::string("<Configuration>") + c.element + "</Configuration>");
        Config in;
        in.c->*c.field = 7;
        ASSERT_EQ(Config_LoadFrom(in.c, dir.path.c_str()), 1) << c.element;
        EXPECT_EQ(in.c->*c.field, c.value) << c.element;
    }
    // A value out of range in memory is written as the default's name.
    Config out;
    out.c->Filter = 7;
    ASSERT_EQ(Config_SaveTo(out.c, dir.path.c_str()), 1);
    EXPECT_NE(ReadWholeFile(dir.path + "config.xml").find("<Filter>Lanczos</Filter>"), std::string::npos);
}

TEST(ConfigFiles, MissingProfilesKeepEveryDefault) {
    Folder dir("cfg-noprofiles");
    dir.Write("config.xml", "<Configuration><GUI><AlwaysOnTop>yes</AlwaysOnTop></GUI></Configuration>");
    Config c;
    c.c->AlwaysOnTop = 0;
    EXPECT_EQ(Config_LoadFrom(c.c, dir.path.c_str()), 0);
    EXPECT_EQ(c.c->AlwaysOnTop, 0);
    EXPECT_EQ(c.c->TrayMinimize, 1);
}

TEST(ConfigFiles, FlagsStatsAndDamagedText) {
    Folder dir("cfg-flags");
    dir.Write("config.xml",
              "<?xml version=\"1.0\"?><Configuration><General><DisableSave>ON</DisableSave>"
              "<DuplicateDate>enabled</DuplicateDate></General><Statistics><ImagesProcessed>5</ImagesProcessed>"
              "</Statistics><Custom><Quality>0.9</Quality><Width>" +
                  std::string(200, '1') + "</Width></Custom><GUI><DialogX>\x01\xFF<<</Configuration>");
    dir.Write("profiles.xml", kProfiles);
    dir.Write("stats.xml",
              "<Configuration><Statistics><ImagesProcessed>7</ImagesProcessed></Statistics></Configuration>");
    Config c;
    ASSERT_EQ(Config_LoadFrom(c.c, dir.path.c_str()), 1);
    EXPECT_EQ(c.c->DisableSave, 1);
    EXPECT_EQ(c.c->DuplicateDate, 0) << "an unknown word reads as 0";
    EXPECT_EQ(c.c->ImagesProcessed, 7) << "stats.xml wins";
    EXPECT_DOUBLE_EQ(c.c->CustomQuality, 0.9);
}

// One damaged file must not take the settings or the statistics with it.
TEST(ConfigFiles, AFileThatCouldNotBeReadIsNeverOverwritten) {
    Folder dir("damaged");
    dir.Write("config.xml", "");
    dir.Write("profiles.xml", kProfiles);
    dir.Write("stats.xml",
              "<Configuration><Statistics><ImagesProcessed>7</ImagesProcessed></Statistics></Configuration>");
    Config c;
    EXPECT_EQ(Config_LoadFrom(c.c, dir.path.c_str()), 0);
    EXPECT_EQ(c.c->ImagesProcessed, 7) << "stats.xml is read all the same";
    c.c->ImagesProcessed += 1;
    {
        ScopedLog log("damaged.log", LOG_FILE);
        EXPECT_EQ(Config_SaveTo(c.c, dir.path.c_str()), 0);
        EXPECT_NE(log.Contents().find("Not saving config [" + dir.path + "config.xml]: it could not be read"),
                  std::string::npos);
    }
    EXPECT_EQ(ReadWholeFile(dir.path + "config.xml"), "");
    EXPECT_NE(ReadWholeFile(dir.path + "stats.xml").find("<ImagesProcessed>8</ImagesProcessed>"), std::string::npos);

    // The same for a statistics file that could not be read.
    dir.Write("config.xml", "<Configuration><GUI><AlwaysOnTop>yes</AlwaysOnTop></GUI></Configuration>");
    dir.Write("stats.xml", "");
    Config s;
    EXPECT_EQ(Config_LoadFrom(s.c, dir.path.c_str()), 1);
    EXPECT_EQ(Config_SaveTo(s.c, dir.path.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(dir.path + "stats.xml"), "");

    // A first start, with no files at all, creates them.
    Folder fresh("first-start");
    Config f;
    EXPECT_EQ(Config_LoadFrom(f.c, fresh.path.c_str()), 0);
    EXPECT_EQ(Config_SaveTo(f.c, fresh.path.c_str()), 1);
    EXPECT_TRUE(FileExists(fresh.path + "config.xml"));
    EXPECT_TRUE(FileExists(fresh.path + "stats.xml"));
}

// The user's profiles: a copy of a shipped one takes its place and every
// field of a new one comes back as written (a text with markup's
// characters too, a format of its own); the shipped file is never written;
// restoring brings the shipped values back or removes the user's; a file
// that could not be read is kept.
TEST(ConfigFiles, TheUsersProfilesComeBackAndRestore) {
    Folder dir("own-profiles");
    dir.Write("config.xml", "<Configuration><Resize><ActiveProfile>Passport</ActiveProfile></Resize></Configuration>");
    dir.Write("profiles.xml", kProfiles);
    Config made;
    ASSERT_EQ(Config_LoadFrom(made.c, dir.path.c_str()), 1);
    ResizeProfile* web = Config_FindProfile(made.c, "web");
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->Shipped * 10 + web->Own, 10);
    EXPECT_EQ(Plan_Format(made.c), made.c->Format) << "no profile of that name yet: Custom's";
    web->Width = 1000;
    web->Own = 1;
    ResizeProfile* passport = Config_AddProfile(made.c);
    *passport = ResizeProfile{"Passport",
                              0.9,
                              1,
                              413,
                              531,
                              50,
                              1,
                              0,
                              300,
                              FIT_CROP,
                              FOCUS_DETAIL,
                              "_id & <more>",
                              UNIT_MM,
                              COPY_PNG,
                              1,
                              0,
                              passport->next,
                              passport->previous};
    ASSERT_EQ(Config_SaveTo(made.c, dir.path.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(dir.path + "profiles.xml"), kProfiles);

    Config back;
    ASSERT_EQ(Config_LoadFrom(back.c, dir.path.c_str()), 1);
    ASSERT_EQ(back.c->Profiles.count, 3);
    EXPECT_STREQ(back.c->Profiles.first->Name, "Web") << "in the shipped one's place";
    EXPECT_EQ(back.c->Profiles.first->Width, 1000);
    EXPECT_EQ(back.c->Profiles.first->Own + back.c->Profiles.first->Shipped, 2);
    const ResizeProfile* p = back.c->Profiles.last;
    // Field by field: the texts' bytes after their ends are no field's.
    EXPECT_TRUE(Str_Equal(p->Name, passport->Name) && p->Quality == passport->Quality &&
                p->Resize == passport->Resize && p->Width == passport->Width && p->Height == passport->Height &&
                p->MaxSize == passport->MaxSize && p->Turn == passport->Turn && p->Percent == passport->Percent &&
                p->Dpi == passport->Dpi && p->Fit == passport->Fit && p->CropFocus == passport->CropFocus &&
                Str_Equal(p->Suffix, passport->Suffix) && p->Unit == passport->Unit && p->Format == passport->Format &&
                p->Own == passport->Own && p->Shipped == passport->Shipped)
        << "every field as written";
    EXPECT_EQ(Plan_Format(back.c), COPY_PNG);

    EXPECT_EQ(Config_RestoreProfile(back.c, dir.path.c_str(), back.c->Profiles.first), 1);
    EXPECT_EQ(back.c->Profiles.first->Width, 800);
    EXPECT_EQ(back.c->Profiles.first->Own, 0);
    EXPECT_EQ(Config_RestoreProfile(back.c, dir.path.c_str(), back.c->Profiles.last), 1);
    ASSERT_EQ(back.c->Profiles.count, 2);
    EXPECT_STREQ(back.c->Profiles.last->Name, "Odd");
    ASSERT_EQ(Config_SaveProfiles(back.c, dir.path.c_str()), 1);
    Config restored;
    Config_LoadFrom(restored.c, dir.path.c_str());
    EXPECT_EQ(restored.c->Profiles.count, 2);
    EXPECT_EQ(restored.c->Profiles.first->Width, 800);

    dir.Write("user-profiles.xml", "");
    Config damaged;
    Config_LoadFrom(damaged.c, dir.path.c_str());
    EXPECT_EQ(damaged.c->KeepProfilesFile, 1);
    Config_FindProfile(damaged.c, "Odd")->Own = 1;
    EXPECT_EQ(Config_SaveProfiles(damaged.c, dir.path.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(dir.path + "user-profiles.xml"), "");
}

TEST(ConfigFiles, ShippedFilesLoad) {
    Config c;
    ASSERT_EQ(Config_Load(c.c), 1) << "config.xml and profiles.xml beside the test program";
    EXPECT_EQ(c.c->SameDirectory, 1);
    EXPECT_STREQ(c.c->Append, "_resized");
    EXPECT_EQ(c.c->Profiles.count, 6);
    EXPECT_EQ(c.c->Profiles.last->MaxSize, 300) << "one profile with a size limit";
    EXPECT_EQ(c.c->Profiles.first->MaxSize, 0);
    EXPECT_EQ(c.c->DuplicateDate, 1);
    // A first start shrinks with a real profile, and Custom has sensible
    // values that the quality box offers.
    EXPECT_STREQ(c.c->ActiveProfile, "Web");
    EXPECT_EQ(c.c->CustomWidth, 1024);
    EXPECT_EQ(c.c->CustomHeight, 768);
    EXPECT_DOUBLE_EQ(c.c->CustomQuality, 0.75);
}

}  // namespace
