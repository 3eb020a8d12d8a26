// Path operations, folder creation, copying and the local-minutes calendar
// of the file layer. The platform decides the path syntax (file_sys.h).
#include "file.h"
#include "file_sys.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/file_path";

int LastNameBreak(const char* path) {
    int at = -1;
    for (int i = 0; path[i]; ++i)
        if (FileSys_IsNameBreak(path[i])) at = i;
    return at;
}

int LastSeparator(const char* path) {
    int at = -1;
    for (int i = 0; path[i]; ++i)
        if (FileSys_IsSeparator(path[i])) at = i;
    return at;
}

// Copies the first count characters of text into a buffer of size bytes.
void CopyPart(char* buf, int size, const char* text, int count) {
    if (!buf || size <= 0) return;
    int n = count < size - 1 ? count : size - 1;
    for (int i = 0; i < n; ++i) buf[i] = text[i];
    buf[n] = 0;
}

int Exists(const char* path) {
    FileInfo info;
    uint32_t error = 0;
    return FileSys_Stat(path, &info, &error);
}

int MakeDirs(char* path, int verbose) {
    if (verbose) Log_Print(0, "Check dir [%s]\n", path);
    if (!path[0] || FileSys_IsBareDrive(path) || Exists(path)) return 1;
    int cut = LastSeparator(path);
    if (cut > 0) {
        char separator = path[cut];
        path[cut] = 0;
        MakeDirs(path, verbose);
        path[cut] = separator == '\\' || separator == '/' ? FileSys_Separator() : separator;
    }
    int exists = 0;
    uint32_t error = 0;
    if (FileSys_MakeDir(path, &exists, &error)) {
        if (verbose) Log_Print(0, "Create Dir = %s\n", path);
        return 1;
    }
    if (exists) return 1;
    Log_Print(0, "Unable to create [%d:%.8X] Dir = %s\n", int(error), error, path);
    return 0;
}

// Removes "\\?\" from a system path and turns "\\?\UNC\" into "\\".
void StripLongPathPrefix(char* path) {
    if (Str_EqualN(path, "\\\\?\\UNC\\", 8))
        Str_Copy(path + 2, path + 8);
    else if (Str_EqualN(path, "\\\\?\\", 4))
        Str_Copy(path, path + 4);
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = int(yoe + era * 400 + (m <= 2));
    *month = int(m);
    *day = int(d);
}

}  // namespace

int File_IsSameFile(const char* a, const char* b) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    return FileSys_SameFile(a, b);
}

int File_ListFolder(const char* folder, FolderVisitor fn, void* data) {
    if (!folder || !fn) Core_NullPointer(kModule, __LINE__);
    return FileSys_ListFolder(folder, fn, data);
}

int File_CreateDir(const char* path, int stripLast, int verbose) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    char work[STR_TEXT_SIZE];
    Str_CopyN(work, path, int(sizeof work));
    if (stripLast) {
        int cut = LastSeparator(work);
        work[cut < 0 ? 0 : cut] = 0;
    }
    return MakeDirs(work, verbose);
}

int File_GetProgramDir(char* buf, int size) {
    if (!buf) Core_NullPointer(kModule, __LINE__);
    char path[STR_TEXT_SIZE];
    if (!FileSys_ProgramPath(path, int(sizeof path))) {
        CopyPart(buf, size, "", 0);
        return 0;
    }
    StripLongPathPrefix(path);
    Path_Normalize(path, 0);
    CopyPart(buf, size, path, LastSeparator(path) + 1);
    return 1;
}

int File_GetTempDir(char* buf, int size) {
    if (!buf) Core_NullPointer(kModule, __LINE__);
    char path[STR_TEXT_SIZE];
    if (!FileSys_TempPath(path, int(sizeof path))) {
        CopyPart(buf, size, "", 0);
        return 0;
    }
    Path_Normalize(path, 1);
    Str_CopyN(buf, path, size);
    return 1;
}

char Path_Separator(void) {
    return FileSys_Separator();
}

int Path_Compare(const char* a, const char* b) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    return FileSys_CompareNames(a, b);
}

int Path_Normalize(char* path, int trailing) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    if (!path[0]) return 1;
    const char separator = FileSys_Separator();
    for (char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') *p = separator;
    int root = FileSys_RootLength(path);

    // The components after the root: "." is dropped, ".." takes away the
    // component before it, empty ones (doubled separators) vanish.
    int starts[STR_TEXT_SIZE];
    int lengths[STR_TEXT_SIZE];
    int count = 0;
    for (int i = root; path[i];) {
        int end = i;
        while (path[end] && path[end] != separator) ++end;
        int length = end - i;
        int isDot = length == 1 && path[i] == '.';
        int isDotDot = length == 2 && path[i] == '.' && path[i + 1] == '.';
        int topIsDotDot = count > 0 && lengths[count - 1] == 2 && path[starts[count - 1]] == '.' &&
                          path[starts[count - 1] + 1] == '.';
        if (isDotDot && count > 0 && !topIsDotDot) {
            --count;
        } else if (length > 0 && !isDot) {
            starts[count] = i;
            lengths[count++] = length;
        }
        i = path[end] ? end + 1 : end;
    }

    char out[STR_TEXT_SIZE];
    int n = 0;
    for (int i = 0; i < root; ++i) out[n++] = path[i];
    if (count == 0 && root == 0) out[n++] = '.';
    for (int c = 0; c < count; ++c) {
        if (c > 0 && n < STR_TEXT_SIZE - 1) out[n++] = separator;
        for (int k = 0; k < lengths[c] && n < STR_TEXT_SIZE - 1; ++k) out[n++] = path[starts[c] + k];
    }
    if (trailing && out[n - 1] != separator && n < STR_TEXT_SIZE - 1) out[n++] = separator;
    out[n] = 0;
    Str_Copy(path, out);
    return 1;
}

int Path_Split(const char* path, char* folder, int folderSize, char* name, int nameSize, char* extension,
               int extensionSize) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    int breakAt = LastNameBreak(path);
    const char* base = path + breakAt + 1;
    const char* dot = nullptr;
    for (const char* p = base; *p; ++p)
        if (*p == '.') dot = p;
    CopyPart(folder, folderSize, path, breakAt + 1);
    int baseLength = int(Str_Length(base));
    CopyPart(name, nameSize, base, dot ? int(dot - base) : baseLength);
    if (dot)
        CopyPart(extension, extensionSize, dot + 1, int(Str_Length(dot + 1)));
    else
        CopyPart(extension, extensionSize, "", 0);
    return 1;
}

int Path_Numbered(const char* path, int n, char* out, int size) {
    if (!path || !out) Core_NullPointer(kModule, __LINE__);
    char folder[STR_TEXT_SIZE], name[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
    out[0] = 0;
    if (Str_Length(path) >= STR_TEXT_SIZE) return 0;
    Path_Split(path, folder, int(sizeof folder), name, int(sizeof name), extension, int(sizeof extension));
    char number[16];
    Str_Format(number, int(sizeof number), " (%d)%s", n, extension[0] ? "." : "");
    if (int64_t(Str_Length(path)) + Str_Length(number) >= size) return 0;
    Str_Format(out, size, "%s%s%s%s", folder, name, number, extension);
    return 1;
}

int Path_GetName(const char* path, char* buf, int size, int stripExtension) {
    if (!path || !buf) Core_NullPointer(kModule, __LINE__);
    const char* base = path + LastNameBreak(path) + 1;
    int length = int(Str_Length(base));
    if (stripExtension)
        for (int i = length - 1; i >= 0; --i)
            if (base[i] == '.') {
                length = i;
                break;
            }
    CopyPart(buf, size, base, length);
    return 1;
}

LocalMinutes File_ToLocalMinutes(int year, int month, int day, int hour, int minute) {
    return LocalMinutes((DaysFromCivil(year, month, day) + 1) * 1440 + hour * 60 + minute);
}

void File_FromLocalMinutes(LocalMinutes minutes, int* year, int* month, int* day, int* hour, int* minute) {
    int64_t m = minutes;
    int64_t days = (m >= 0 ? m / 1440 : (m - 1439) / 1440) - 1;
    int64_t rest = m - (days + 1) * 1440;
    CivilFromDays(days, year, month, day);
    *hour = int(rest / 60);
    *minute = int(rest % 60);
}
