#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file.h"
#include "orv-str.h"
#include "test_support.h"

namespace {

const std::string kDir = "filetest";

std::string P(const std::string& relative) {
    return kDir + "/" + relative;
}

// Writes bytes through the layer in binary mode.
void Put(const std::string& path, const std::string& bytes) {
    FileStruct* f = nullptr;
    File_Create(&f);
    ASSERT_EQ(File_Open(f, path.c_str(), FILE_MODE_WRITE), 1);
    uint32_t put = 0;
    if (!bytes.empty()) {
        ASSERT_EQ(File_Write(f, bytes.data(), uint32_t(bytes.size()), &put), 1);
    }
    File_Close(f);
    File_Destroy(&f);
}

class FileTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(kDir);
        File_Create(&file);
    }
    void TearDown() override {
        File_Destroy(&file);
    }
    FileStruct* file = nullptr;
};

TEST_F(FileTest, WritingCreatesMissingFoldersAndReadingAMissingFileFailsAtOnce) {
    std::string path = P("new1/deeper/x.jpg");
    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_WRITE), 1);
    EXPECT_EQ(File_IsOpen(file), 1);
    int64_t size = -1;
    File_GetSize(file, &size);
    EXPECT_EQ(size, 0);
    File_Close(file);
    EXPECT_TRUE(FileExists(path));

    ScopedLog log("file-missing.log", LOG_FILE);
    std::string missing = P("nothing-here.bmp");
    double start = Core_Seconds();
    EXPECT_EQ(File_Open(file, missing.c_str(), FILE_MODE_READ), 0);
    EXPECT_LT(Core_Seconds() - start, 1.0);
    EXPECT_EQ(File_IsOpen(file), 0);
    EXPECT_NE(log.Contents().find("Unable to open file [" + missing + "][00008000](2 : 00000002)\r\n"),
              std::string::npos)
        << log.Contents();
    // Not found is final: one look, no retries.
    EXPECT_EQ(CountOf(log.Contents(), "Unable to stat (" + missing + "):"), 1);
}

TEST_F(FileTest, OpenModesOnAnExistingFile) {
    std::string path = P("ten.bin");
    Put(path, "0123456789");

    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_WRITE | FILE_MODE_APPEND), 1);
    uint32_t put = 0;
    File_Write(file, "AB", 2, &put);
    File_Close(file);
    EXPECT_EQ(ReadWholeFile(path), "0123456789AB");

    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_READ | FILE_MODE_WRITE | FILE_MODE_TEXT), 1);
    int64_t position = -1;
    File_Tell(file, &position);
    EXPECT_EQ(position, 0);
    File_Close(file);
    EXPECT_EQ(ReadWholeFile(path), "0123456789AB");

    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_WRITE), 1);
    File_Close(file);
    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(FileTest, ASecondOpenIsRefusedAndTheFirstStaysOpen) {
    std::string a = P("first.bin");
    std::string b = P("second.bin");
    Put(a, "abc");
    ScopedLog log("file-twice.log", LOG_FILE);
    ASSERT_EQ(File_Open(file, a.c_str(), FILE_MODE_READ), 1);
    EXPECT_EQ(File_Open(file, b.c_str(), FILE_MODE_WRITE), 0);
    EXPECT_EQ(log.Contents(), "Previous file [" + a + "] must be closed before opening [" + b + "]\r\n");
    char buf[4] = {0};
    uint32_t got = 0;
    EXPECT_EQ(File_Read(file, buf, 3, &got), 1);
    EXPECT_EQ(std::string(buf, got), "abc");
    EXPECT_EQ(File_Stat(file, a.c_str()), 0);
    File_Close(file);
    EXPECT_FALSE(FileExists(b));
}

TEST_F(FileTest, ReadingPastTheEndAndSizesFromTheLastStat) {
    std::string path = P("eighty.bin");
    Put(path, std::string(80, 'x'));
    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_READ), 1);
    char buf[100];
    uint32_t got = 0;
    EXPECT_EQ(File_Read(file, buf, 100, &got), 1);
    EXPECT_EQ(got, 80u);
    EXPECT_EQ(File_Read(file, buf, 100, &got), 0);
    EXPECT_EQ(got, 0u);
    File_Close(file);

    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_WRITE | FILE_MODE_APPEND), 1);
    uint32_t put = 0;
    File_Write(file, "yyyy", 4, &put);
    int64_t size = 0;
    File_GetSize(file, &size);
    EXPECT_EQ(size, 80);
    File_Close(file);
    File_GetSize(file, &size);
    EXPECT_EQ(size, 80);
    File_Stat(file, path.c_str());
    File_GetSize(file, &size);
    EXPECT_EQ(size, 84);
    EXPECT_EQ(File_GetSizeByPath(path.c_str(), &size), 1);
    EXPECT_EQ(size, 84);
    EXPECT_EQ(File_GetSizeByPath(P("absent").c_str(), &size), 0);
    EXPECT_EQ(size, 0);
}

TEST_F(FileTest, TextModeStoresCrLfAndReadsItBack) {
    std::string path = P("text.txt");
    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_WRITE | FILE_MODE_TEXT), 1);
    std::string text = "a\nb\rc\n\n";
    uint32_t put = 0;
    EXPECT_EQ(File_Write(file, text.data(), uint32_t(text.size()), &put), 1);
    EXPECT_EQ(put, text.size());
    File_Close(file);
    EXPECT_EQ(ReadWholeFile(path), "a\r\nb\rc\r\n\r\n");

    // Reads of two bytes split every CR LF pair across calls.
    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_READ | FILE_MODE_TEXT), 1);
    std::string back;
    char buf[2];
    uint32_t got = 0;
    while (File_Read(file, buf, 2, &got)) back.append(buf, got);
    File_Close(file);
    EXPECT_EQ(back, text);
}

TEST_F(FileTest, SeekTellTruncateAndUnopenedObjects) {
    std::string path = P("trunc.bin");
    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_READ | FILE_MODE_WRITE), 1);
    uint32_t put = 0;
    File_Write(file, "0123456789", 10, &put);
    EXPECT_EQ(File_SeekStart(file, 4), 1);
    EXPECT_EQ(File_Truncate(file), 1);
    EXPECT_EQ(File_SeekEnd(file, 0), 1);
    int64_t position = 0;
    File_Tell(file, &position);
    EXPECT_EQ(position, 4);
    EXPECT_EQ(File_Flush(file), 1);
    File_Close(file);
    EXPECT_EQ(ReadWholeFile(path), "0123");

    ScopedLog log("file-closed.log", LOG_FILE);
    char buf[4];
    uint32_t got = 7;
    EXPECT_EQ(File_Read(file, buf, 4, &got), 0);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(File_Write(file, "x", 1, &put), 0);
    EXPECT_EQ(File_Seek(file, 0, 0), 0);
    EXPECT_EQ(File_Tell(file, &position), 0);
    EXPECT_EQ(File_Flush(file), 0);
    EXPECT_EQ(File_Open(file, path.c_str(), 0), 0);
    EXPECT_EQ(log.Contents(), "File not opened for read [" + path + "](4)\r\nFile not opened for write [" + path +
                                  "](1)\r\nNo file handle is open - cannot seek\r\nNo file handle is open - cannot "
                                  "tell\r\nNo file handle is open - cannot flush\r\nUnknown mode [0]\r\n");
}

TEST_F(FileTest, DestroyingAnOpenObjectClosesItWithAWarning) {
    std::string path = P("left-open.bin");
    RemoveFile(path);
    ScopedLog log("file-destroy.log", LOG_FILE);
    FileStruct* other = nullptr;
    File_Create(&other);
    File_Open(other, path.c_str(), FILE_MODE_WRITE);
    File_Destroy(&other);
    EXPECT_EQ(other, nullptr);
    // Opening a new file for writing stats it first, harmlessly.
    EXPECT_EQ(log.Contents(), "Unable to stat (" + path + "):2\r\nFile not properly closed on delete [" + path + "]\r\n");
}

TEST_F(FileTest, FoldersEraseAndCopy) {
    ScopedLog log("file-dirs.log", LOG_FILE);
    std::string deep = P("tree/a/b");
    EXPECT_EQ(File_CreateDir(deep.c_str(), 0, 1), 1);
    EXPECT_EQ(File_Stat(file, deep.c_str()), 1);
    EXPECT_EQ(file->isFolder, 1);
    std::string text = log.Contents();
    EXPECT_NE(text.find("Check dir [" + deep + "]\r\n"), std::string::npos);
    EXPECT_NE(text.find("Create Dir = "), std::string::npos);
    EXPECT_EQ(File_CreateDir(deep.c_str(), 0, 0), 1);
    std::string named = P("tree/c/file.jpg");
    EXPECT_EQ(File_CreateDir(named.c_str(), 1, 0), 1);
    EXPECT_EQ(File_Stat(file, P("tree/c").c_str()), 1);
    EXPECT_EQ(File_Stat(file, named.c_str()), 0);

    std::string source = P("tree/a/source.bin");
    std::string target = P("tree/a/target.bin");
    Put(source, "copy me");
    Put(target, "old and longer");
    EXPECT_EQ(File_Copy(source.c_str(), target.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(target), "copy me");
    File_ClearProblem();
    EXPECT_EQ(File_Copy(P("tree/none").c_str(), target.c_str()), 0);
    EXPECT_EQ(File_GetProblem(), FILE_PROBLEM_NOT_FOUND) << "the reason the preview's Save shows";
    EXPECT_NE(log.Contents().find("Unable to copy file [" + P("tree/none") + "] to [" + target + "] ["),
              std::string::npos);

    EXPECT_EQ(File_Erase(file, P("tree/a").c_str()), 0);
    EXPECT_NE(log.Contents().find("Unable to erase directory [" + P("tree/a") + "] ["), std::string::npos);
    EXPECT_EQ(File_Erase(file, source.c_str()), 1);
    EXPECT_EQ(File_Erase(file, target.c_str()), 1);
    EXPECT_EQ(File_Erase(file, P("tree/a/b").c_str()), 1);
    EXPECT_EQ(File_Erase(file, P("tree/a").c_str()), 1);
    EXPECT_FALSE(FileExists(source));
    EXPECT_EQ(File_Erase(file, P("tree/a").c_str()), 0);
    EXPECT_NE(log.Contents().find("Unable to get info to erase [" + P("tree/a") + "]\r\n"), std::string::npos);
}

TEST_F(FileTest, ProgramAndTemporaryFolders) {
    char dir[STR_TEXT_SIZE];
    ASSERT_EQ(File_GetProgramDir(dir, int(sizeof dir)), 1);
    EXPECT_EQ(dir[Str_Length(dir) - 1], Path_Separator());
    std::string self = std::string(dir) + PROBE_COMMAND;
    EXPECT_EQ(File_Stat(file, self.c_str()), 1) << self;
    char temp[STR_TEXT_SIZE];
    ASSERT_EQ(File_GetTempDir(temp, int(sizeof temp)), 1);
    EXPECT_EQ(temp[Str_Length(temp) - 1], Path_Separator());
    EXPECT_EQ(File_Stat(file, temp), 1);
    EXPECT_EQ(file->isFolder, 1);
}

struct Split {
    std::string folder, name, extension;
};

Split SplitOf(const char* path) {
    char folder[STR_TEXT_SIZE], name[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
    Path_Split(path, folder, int(sizeof folder), name, int(sizeof name), extension, int(sizeof extension));
    return {folder, name, extension};
}

std::string Normalized(const char* path, int trailing) {
    char buf[STR_TEXT_SIZE];
    Str_CopyN(buf, path, int(sizeof buf));
    Path_Normalize(buf, trailing);
    return buf;
}

std::string NameOf(const char* path, int strip) {
    char buf[STR_TEXT_SIZE];
    Path_GetName(path, buf, int(sizeof buf), strip);
    return buf;
}

TEST(Paths, SplitNameAndNormalizeCommonToBothPlatforms) {
    Split s = SplitOf("photo");
    EXPECT_EQ(s.folder, "");
    EXPECT_EQ(s.name, "photo");
    EXPECT_EQ(s.extension, "");
    s = SplitOf("pics/cat.photo.JPG");
    EXPECT_EQ(s.folder, "pics/");
    EXPECT_EQ(s.name, "cat.photo");
    EXPECT_EQ(s.extension, "JPG");
    s = SplitOf("dir.v2/file");
    EXPECT_EQ(s.name, "file");
    EXPECT_EQ(s.extension, "");
    char small[4];
    Path_Split("abcdef.jpg", nullptr, 0, small, int(sizeof small), nullptr, 0);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(NameOf("a/b/IMG_1.jpeg", 1), "IMG_1");
    EXPECT_EQ(NameOf("a/b/IMG_1.jpeg", 0), "IMG_1.jpeg");
    const char sep = Path_Separator();
    const std::string S(1, sep);
    EXPECT_EQ(Normalized("", 1), "");
    EXPECT_EQ(Normalized("a/./b/../c", 1), "a" + S + "c" + S);
    EXPECT_EQ(Normalized("a/b/", 0), "a" + S + "b");
    EXPECT_EQ(Normalized("../x/../../y", 0), ".." + S + ".." + S + "y");
    EXPECT_EQ(Normalized("a\\b", 0), "a" + S + "b");
}

#if BRIMLOW_PLATFORM_WIN32
TEST(Paths, DrivesAndBackslashes) {
    EXPECT_EQ(Normalized("C:/a/./b/../c", 1), "C:\\a\\c\\");
    EXPECT_EQ(Normalized("C:/a/b/", 0), "C:\\a\\b");
    EXPECT_EQ(Normalized("C:\\", 0), "C:\\");
    EXPECT_EQ(Normalized("\\\\server\\share\\x\\..\\y", 0), "\\\\server\\share\\y");
    Split s = SplitOf("C:\\pics\\cat.photo.JPG");
    EXPECT_EQ(s.folder, "C:\\pics\\");
    EXPECT_EQ(s.name, "cat.photo");
    EXPECT_EQ(s.extension, "JPG");
    s = SplitOf("C:\\dir.v2\\file");
    EXPECT_EQ(s.name, "file");
    EXPECT_EQ(s.extension, "");
    EXPECT_EQ(SplitOf("D:cat.gif").folder, "D:");
    EXPECT_EQ(Path_Separator(), '\\');
}
#else
TEST(Paths, OnlySlashSeparatesOnPosix) {
    EXPECT_EQ(Normalized("/a/./b/../c", 1), "/a/c/");
    EXPECT_EQ(Normalized("/", 0), "/");
    Split s = SplitOf("/pics/C:cat\\x.JPG");
    EXPECT_EQ(s.folder, "/pics/");
    EXPECT_EQ(s.name, "C:cat\\x");
    EXPECT_EQ(s.extension, "JPG");
    EXPECT_EQ(NameOf("dir/a:b.png", 1), "a:b");
    EXPECT_EQ(Path_Separator(), '/');
}
#endif

TEST(LocalMinutes, CountFromTheLastDayOf1969) {
    EXPECT_EQ(File_ToLocalMinutes(1970, 1, 1, 0, 0), 1440);
    EXPECT_EQ(File_ToLocalMinutes(1969, 12, 31, 0, 0), 0);
    EXPECT_EQ(File_ToLocalMinutes(1970, 1, 2, 1, 1), 2 * 1440 + 61);
    for (int64_t m = -5000000; m < 40000000; m += 7919) {
        int y, mo, d, h, mi;
        File_FromLocalMinutes(LocalMinutes(m), &y, &mo, &d, &h, &mi);
        ASSERT_EQ(File_ToLocalMinutes(y, mo, d, h, mi), m);
    }
    // Checked against the C library's calendar.
    struct tm t = {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
#if BRIMLOW_PLATFORM_WIN32
    time_t utc = _mkgmtime(&t);
#else
    time_t utc = timegm(&t);
#endif
    EXPECT_EQ(File_ToLocalMinutes(2026, 12, 6, 9, 41), LocalMinutes(utc / 60 + 1440 + 9 * 60 + 41));
}

// Sets a time, reads it back, and copies all three times to a second file.
TEST_F(FileTest, TimesSurviveAGetAndASetAlsoInSummerTime) {
#if BRIMLOW_PLATFORM_POSIX
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
#endif
    std::string source = P("dated-source.jpg");
    std::string target = P("dated-target.jpg");
    Put(source, "s");
    Put(target, "t");
    struct Date {
        int y, mo, d, h, mi, s;
    } dates[] = {{2026, 7, 15, 14, 30, 25}, {2026, 1, 15, 8, 5, 9}, {2025, 10, 26, 1, 59, 59}};
    ASSERT_EQ(File_Stat(file, source.c_str()), 1);
    for (const Date& date : dates) {
        LocalMinutes minutes = File_ToLocalMinutes(date.y, date.mo, date.d, date.h, date.mi);
        ASSERT_EQ(File_SetWriteTime(file, minutes, date.s), 1);
        ASSERT_EQ(File_SetAccessTime(file, minutes + 3, date.s), 1);
        LocalMinutes back = 0;
        int seconds = -1;
        ASSERT_EQ(File_GetWriteTime(file, &back, &seconds), 1);
        EXPECT_EQ(back, minutes);
        EXPECT_EQ(seconds, date.s);
        ASSERT_EQ(File_GetAccessTime(file, &back, &seconds), 1);
        EXPECT_EQ(back, minutes + 3);
    }

    FileStruct* other = nullptr;
    File_Create(&other);
    ASSERT_EQ(File_Stat(other, target.c_str()), 1);
    LocalMinutes m = 0;
    int s = 0;
    File_GetWriteTime(file, &m, &s);
    EXPECT_EQ(File_SetWriteTime(other, m, s), 1);
    File_GetAccessTime(file, &m, &s);
    EXPECT_EQ(File_SetAccessTime(other, m, s), 1);
    File_GetCreationTime(file, &m, &s);
#if BRIMLOW_PLATFORM_WIN32
    EXPECT_EQ(File_SetCreationTime(other, m, s), 1);
#else
    {
        ScopedLog log("file-ctime.log", LOG_FILE);
        EXPECT_EQ(File_SetCreationTime(other, m, s), 0);
        EXPECT_EQ(log.Contents().find("Unable to set creation time for file (" + target + "):"), 0u);
    }
#endif
    for (auto get : {File_GetWriteTime, File_GetAccessTime}) {
        LocalMinutes a = 0, b = 1;
        int sa = 0, sb = 1;
        get(file, &a, &sa);
        get(other, &b, &sb);
        EXPECT_EQ(a, b);
        EXPECT_EQ(sa, sb);
    }
    File_Destroy(&other);
#if BRIMLOW_PLATFORM_POSIX
    unsetenv("TZ");
    tzset();
#endif
}

TEST_F(FileTest, TimesNeedAStatFirst) {
    ScopedLog log("file-nostat.log", LOG_FILE);
    LocalMinutes m = 5;
    int s = 5;
    EXPECT_EQ(File_GetWriteTime(file, &m, &s), 0);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(File_SetWriteTime(file, 100, 0), 0);
    File_Stat(file, P("gone.jpg").c_str());
    EXPECT_EQ(File_GetWriteTime(file, &m, &s), 0);
    std::string text = log.Contents();
    EXPECT_EQ(CountOf(text, "A file must be stat'd first\r\n"), 2);
    EXPECT_NE(text.find("Unable to open file (" + P("gone.jpg") + "):2/00000002\r\n"), std::string::npos) << text;
}

#if BRIMLOW_PLATFORM_WIN32
TEST_F(FileTest, AFileHeldExclusivelyIsRetriedThenRefused) {
    std::string path = P("held.bin");
    Put(path, "x");
    ASSERT_EQ(File_Open(file, path.c_str(), FILE_MODE_READ), 1);
    FileStruct* other = nullptr;
    File_Create(&other);
    other->retries = 5;
    double start = Core_Seconds();
    EXPECT_EQ(File_Open(other, path.c_str(), FILE_MODE_READ), 0);
    EXPECT_GE(Core_Seconds() - start, 0.45);
    File_Close(file);
    EXPECT_EQ(File_Open(other, path.c_str(), FILE_MODE_READ | FILE_MODE_SHAREREAD), 1);
    File_Destroy(&other);
}
#endif

}  // namespace

namespace {

TEST_F(FileTest, WholeFilesReplaceTheTargetOrLeaveIt) {
    std::string target = P("whole.bin");
    ASSERT_EQ(File_SaveWhole(target.c_str(), "first", 5, 0), 1);
    EXPECT_EQ(ReadWholeFile(target), "first");
    ASSERT_EQ(File_SaveWhole(target.c_str(), "a\nb", 3, 1), 1);
    EXPECT_EQ(ReadWholeFile(target), "a\r\nb") << "text mode, and a shorter file leaves no tail";
    // A write that fails half-way (a full disk) keeps the earlier file byte
    // for byte, leaves no temporary file and says why.
    std::string big(100000, 'x');
    File_ClearProblem();
    File_FailWritesAfter(50000);
    EXPECT_EQ(File_SaveWhole(target.c_str(), big.data(), uint32_t(big.size()), 0), 0);
    File_FailWritesAfter(-1);
    EXPECT_EQ(File_GetProblem(), FILE_PROBLEM_FULL);
    EXPECT_STREQ(File_ProblemText(File_GetProblem()), "disk full");
    EXPECT_EQ(ReadWholeFile(target), "a\r\nb");
    EXPECT_EQ(FolderNames(kDir), std::vector<std::string>({"whole.bin"}));
    // A link at the target is replaced; the file it points to is untouched.
    Put(P("precious.jpg"), "precious");
    ASSERT_EQ(MakeLink("precious.jpg", P("link.jpg")), 0);
    ASSERT_EQ(File_SaveWhole(P("link.jpg").c_str(), "thumb", 5, 0), 1);
    EXPECT_EQ(ReadWholeFile(P("precious.jpg")), "precious");
    EXPECT_EQ(ReadWholeFile(P("link.jpg")), "thumb");
    EXPECT_EQ(File_IsSameFile(P("link.jpg").c_str(), P("precious.jpg").c_str()), 0);
}

TEST_F(FileTest, ProblemsAndIdentities) {
    File_ClearProblem();
    EXPECT_EQ(File_Open(file, P("missing.bin").c_str(), FILE_MODE_READ), 0);
    EXPECT_EQ(File_GetProblem(), FILE_PROBLEM_NOT_FOUND);
    EXPECT_STREQ(File_ProblemText(File_GetProblem()), "not found");
    // A path that does not fit is refused, never cut.
    std::string longName = P(std::string(330, 'n') + ".jpg");
    File_ClearProblem();
    EXPECT_EQ(File_Open(file, longName.c_str(), FILE_MODE_WRITE), 0);
    EXPECT_EQ(File_GetProblem(), FILE_PROBLEM_TOO_LONG);
    EXPECT_EQ(File_SaveWhole(longName.c_str(), "x", 1, 0), 0);
    EXPECT_EQ(FolderNames(kDir).size(), 0u);
    Put(P("one.bin"), "1");
    ASSERT_EQ(MakeLink("one.bin", P("two.bin")), 0);
    FileIdentity a, b, c;
    ASSERT_EQ(File_GetIdentity(P("one.bin").c_str(), &a), 1);
    ASSERT_EQ(File_GetIdentity(P("two.bin").c_str(), &b), 1);
    Put(P("three.bin"), "1");
    ASSERT_EQ(File_GetIdentity(P("three.bin").c_str(), &c), 1);
    EXPECT_TRUE(a.volume == b.volume && a.index == b.index);
    EXPECT_FALSE(a.volume == c.volume && a.index == c.index);
    EXPECT_EQ(File_GetIdentity(P("none.bin").c_str(), &c), 0);
    // Copying a file onto itself must not empty it.
    EXPECT_EQ(File_Copy(P("one.bin").c_str(), P("two.bin").c_str()), 0);
    EXPECT_EQ(ReadWholeFile(P("one.bin")), "1");
}

}  // namespace
