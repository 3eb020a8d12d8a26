// Win32 half of the file layer: kernel file handles, sharing modes, file
// times converted with the time-zone rules of their own date.
#include <windows.h>

#include <string.h>

#include "file_sys.h"
#include "orv-core_sys.h"
#include "orv-core_win32.h"
#include "orv-str.h"

namespace {

HANDLE H(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

int Fail(uint32_t* error) {
    *error = uint32_t(GetLastError());
    return 0;
}

int64_t Ticks(const FILETIME& t) {
    return int64_t((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

HANDLE OpenForTimes(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// 1 for a path Windows hands to a device instead of a file: the device
// namespace, or a last part whose name before its first dot (and any
// trailing spaces) is CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9, in
// any case and folder ("photos\\CON.jpg" is the console on many versions).
int IsDeviceName(const char* path) {
    if (path[0] == '\\' && path[1] == '\\' && path[2] == '.' && path[3] == '\\') return 1;
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    char stem[8];
    int length = 0;
    for (const char* p = name; *p && *p != '.'; ++p) {
        if (length == int(sizeof stem) - 1) return 0;
        stem[length++] = char(*p >= 'a' && *p <= 'z' ? *p - 32 : *p);
    }
    while (length > 0 && stem[length - 1] == ' ') --length;
    stem[length] = 0;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kDevices)
        if (lstrcmpA(stem, device) == 0) return 1;
    return length == 4 && (memcmp(stem, "COM", 3) == 0 || memcmp(stem, "LPT", 3) == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

int FileSys_Open(const char* path, int access, int create, int share, intptr_t* handle, uint32_t* error) {
    if (IsDeviceName(path)) {
        *error = ERROR_BAD_DEVICE;
        return 0;
    }
    DWORD desired = ((access & FILESYS_READ) ? GENERIC_READ : 0) | ((access & FILESYS_WRITE) ? GENERIC_WRITE : 0);
    DWORD shareMode = ((share & FILE_MODE_SHAREREAD) ? FILE_SHARE_READ : 0) |
                      ((share & FILE_MODE_SHAREWRITE) ? FILE_SHARE_WRITE : 0);
    HANDLE h = CreateFileA(path, desired, shareMode, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail(error);
    // Pipes, consoles and devices reached by another spelling are not files.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        *error = ERROR_BAD_DEVICE;
        return 0;
    }
    *handle = reinterpret_cast<intptr_t>(h);
    return 1;
}

int FileSys_Read(intptr_t handle, void* buffer, uint32_t count, uint32_t* got, uint32_t* error) {
    DWORD n = 0;
    if (!ReadFile(H(handle), buffer, DWORD(count), &n, nullptr)) return Fail(error);
    *got = uint32_t(n);
    return 1;
}

int FileSys_Write(intptr_t handle, const void* data, uint32_t count, uint32_t* put, uint32_t* error) {
    DWORD n = 0;
    if (!WriteFile(H(handle), data, DWORD(count), &n, nullptr)) return Fail(error);
    *put = uint32_t(n);
    return 1;
}

int FileSys_Seek(intptr_t handle, int64_t offset, int origin, int64_t* position, uint32_t* error) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER at;
    DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(H(handle), distance, &at, method)) return Fail(error);
    *position = int64_t(at.QuadPart);
    return 1;
}

int FileSys_Truncate(intptr_t handle, int64_t length, uint32_t* error) {
    int64_t current = 0;
    if (!FileSys_Seek(handle, 0, 1, &current, error)) return 0;
    int64_t at = 0;
    if (!FileSys_Seek(handle, length, 0, &at, error)) return 0;
    int ok = SetEndOfFile(H(handle)) ? 1 : Fail(error);
    FileSys_Seek(handle, current, 0, &at, error);
    return ok;
}

int FileSys_Flush(intptr_t handle, uint32_t* error) {
    return FlushFileBuffers(H(handle)) ? 1 : Fail(error);
}

int FileSys_Close(intptr_t handle, uint32_t* error) {
    return CloseHandle(H(handle)) ? 1 : Fail(error);
}

int FileSys_Stat(const char* path, FileInfo* info, uint32_t* error) {
    // Windows answers for a device name with the device's own attributes,
    // or with an error of its own choosing: either way it is no file.
    if (IsDeviceName(path)) {
        *error = ERROR_BAD_DEVICE;
        return 0;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return Fail(error);
    info->size = int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    info->modeBits = FILE_INFO_READ;
    info->modeBits |= (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_INFO_FOLDER : FILE_INFO_REGULAR;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) info->modeBits |= FILE_INFO_WRITE;
    info->created = Ticks(data.ftCreationTime);
    info->accessed = Ticks(data.ftLastAccessTime);
    info->written = Ticks(data.ftLastWriteTime);
    return 1;
}

int FileSys_GetTime(const char* path, int which, SysTime* out, int* opened, uint32_t* error) {
    *opened = 0;
    HANDLE h = OpenForTimes(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return Fail(error);
    *opened = 1;
    FILETIME times[3];
    BOOL ok = GetFileTime(h, &times[0], &times[1], &times[2]);
    if (!ok) Fail(error);
    CloseHandle(h);
    if (!ok) return 0;
    SYSTEMTIME utc;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&times[which], &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return Fail(error);
    out->year = local.wYear;
    out->month = local.wMonth;
    out->day = local.wDay;
    out->hour = local.wHour;
    out->minute = local.wMinute;
    out->second = local.wSecond;
    return 1;
}

int FileSys_SetTime(const char* path, int which, const SysTime* in, int* opened, uint32_t* error) {
    *opened = 0;
    HANDLE h = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return Fail(error);
    *opened = 1;
    SYSTEMTIME local = {};
    local.wYear = WORD(in->year);
    local.wMonth = WORD(in->month);
    local.wDay = WORD(in->day);
    local.wHour = WORD(in->hour);
    local.wMinute = WORD(in->minute);
    local.wSecond = WORD(in->second);
    SYSTEMTIME utc;
    FILETIME time;
    int ok = TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &time);
    if (ok)
        ok = SetFileTime(h, which == FILESYS_CREATED ? &time : nullptr, which == FILESYS_ACCESSED ? &time : nullptr,
                         which == FILESYS_WRITTEN ? &time : nullptr);
    if (!ok) Fail(error);
    CloseHandle(h);
    return ok;
}

int FileSys_SetTicks(const char* path, int which, int64_t ticks, uint32_t* error) {
    HANDLE h = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return Fail(error);
    FILETIME time = {DWORD(uint64_t(ticks)), DWORD(uint64_t(ticks) >> 32)};
    int ok = SetFileTime(h, which == FILESYS_CREATED ? &time : nullptr, which == FILESYS_ACCESSED ? &time : nullptr,
                         which == FILESYS_WRITTEN ? &time : nullptr);
    if (!ok) Fail(error);
    CloseHandle(h);
    return ok;
}

int FileSys_Delete(const char* path, uint32_t* error) {
    return DeleteFileA(path) ? 1 : Fail(error);
}

int FileSys_RemoveDir(const char* path, uint32_t* error) {
    return RemoveDirectoryA(path) ? 1 : Fail(error);
}

int FileSys_MakeDir(const char* path, int* exists, uint32_t* error) {
    *exists = 0;
    if (CreateDirectoryA(path, nullptr)) return 1;
    Fail(error);
    *exists = *error == ERROR_ALREADY_EXISTS;
    return 0;
}

int FileSys_Copy(const char* source, const char* target, uint32_t* error) {
    return CopyFileA(source, target, FALSE) ? 1 : Fail(error);
}

int FileSys_Rename(const char* from, const char* to, uint32_t* error) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : Fail(error);
}

int FileSys_Identity(const char* path, FileIdentity* identity) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return 0;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return 1;
}

uint32_t FileSys_FullError(void) {
    return ERROR_DISK_FULL;
}

int FileSys_Problem(uint32_t error) {
    switch (error) {
    case 0:
        return FILE_PROBLEM_NONE;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return FILE_PROBLEM_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FILE_PROBLEM_ACCESS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FILE_PROBLEM_FULL;
    case ERROR_FILENAME_EXCED_RANGE:
        return FILE_PROBLEM_TOO_LONG;
    case ERROR_BAD_DEVICE:
    case ERROR_BAD_DEV_TYPE:
        return FILE_PROBLEM_NOT_REGULAR;
    }
    return FILE_PROBLEM_OTHER;
}

int FileSys_Transient(uint32_t error) {
    // Another program holding the file for a moment (a virus scanner, an
    // editor saving) lets go soon; anything else stays as it is.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

int FileSys_SameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* paths[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        HANDLE h = CreateFileA(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 0;
        BOOL ok = GetFileInformationByHandle(h, &info[i]);
        CloseHandle(h);
        if (!ok) return 0;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

int FileSys_ListFolder(const char* folder, FolderVisitor fn, void* data) {
    int length = int(Str_Length(folder));
    const char* separator = length > 0 && FileSys_IsSeparator(folder[length - 1]) ? "" : "\\";
    char pattern[STR_TEXT_SIZE];
    wchar_t widePattern[STR_TEXT_SIZE];
    if (Str_Format(pattern, int(sizeof pattern), "%s%s*", folder, separator) >= int(sizeof pattern) - 1 ||
        !Core_ToWide(pattern, widePattern, STR_TEXT_SIZE))
        return 0;
    // The wide calls: an ANSI listing would hand over a name its code page
    // cannot spell as question marks, which then names no file.
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(widePattern, &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    char name[STR_TEXT_SIZE], path[STR_TEXT_SIZE];
    do {
        const wchar_t* n = found.cFileName;
        if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
        DWORD attributes = found.dwFileAttributes;
        int isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const char* problem = nullptr;
        if (!Core_FromWide(0, n, name, int(sizeof name), &problem))
            WideCharToMultiByte(CP_ACP, 0, n, -1, name, int(sizeof name) - 1, nullptr, nullptr);
        name[sizeof name - 1] = 0;
        int need = length + int(Str_Length(separator)) + int(Str_Length(name));
        if (!problem && need >= int(sizeof path)) problem = kCoreNameTooLong;
        Str_Format(path, int(sizeof path), "%s%s%s", folder, separator, name);
        if (!fn(path, isFolder, problem, data)) break;
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return 1;
}

int FileSys_ProgramPath(char* buf, int size) {
    return Sys_ProgramPath(buf, size);
}

int FileSys_TempPath(char* buf, int size) {
    DWORD n = GetTempPathA(DWORD(size), buf);
    if (n == 0 || n >= DWORD(size)) {
        buf[0] = 0;
        return 0;
    }
    return 1;
}

char FileSys_Separator(void) {
    return '\\';
}

// NTFS and FAT take one name in two spellings of letter case as one file.
int FileSys_CompareNames(const char* a, const char* b) {
    return Str_CompareNoCase(a, b);
}

int FileSys_IsSeparator(char c) {
    return c == '\\' || c == '/';
}

int FileSys_IsNameBreak(char c) {
    return c == '\\' || c == '/' || c == ':';
}

int FileSys_RootLength(const char* path) {
    if (FileSys_IsSeparator(path[0]) && FileSys_IsSeparator(path[1])) return 2;
    if (path[0] && path[1] == ':') return FileSys_IsSeparator(path[2]) ? 3 : 2;
    return FileSys_IsSeparator(path[0]) ? 1 : 0;
}

int FileSys_IsBareDrive(const char* path) {
    return path[0] && path[1] == ':' && !path[2];
}
