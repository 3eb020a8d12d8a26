// POSIX half of the file layer. "/" is the only separator; "\" and ":" are
// ordinary name characters. The sharing bits have no meaning here. The
// creation time is the birth time where the file system keeps one.
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "file_sys.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

const int64_t kTicksPerSecond = 10000000;
const int64_t kEpochDifference = 11644473600LL;

int64_t TicksFrom(const struct statx_timestamp& t) {
    return (int64_t(t.tv_sec) + kEpochDifference) * kTicksPerSecond + t.tv_nsec / 100;
}

int Fail(uint32_t* error) {
    *error = uint32_t(errno);
    return 0;
}

int StatxOf(int dirfd, const char* path, int flags, struct statx* sx, uint32_t* error) {
    if (statx(dirfd, path, flags, STATX_BASIC_STATS | STATX_BTIME, sx) != 0) return Fail(error);
    return 1;
}

// The creation time falls back to the write time where no birth time is
// kept, so that a copy still receives a meaningful date.
const struct statx_timestamp& TimeOf(const struct statx& sx, int which) {
    if (which == FILESYS_CREATED) return (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    if (which == FILESYS_ACCESSED) return sx.stx_atime;
    return sx.stx_mtime;
}

int CopyBytes(int from, int to, uint32_t* error) {
    char buffer[65536];
    for (;;) {
        ssize_t n = read(from, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(error);
        }
        if (n == 0) return 1;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(to, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return Fail(error);
            }
            done += w;
        }
    }
}

}  // namespace

int FileSys_Open(const char* path, int access, int create, int, intptr_t* handle, uint32_t* error) {
    int flags = O_CLOEXEC;
    if (access == (FILESYS_READ | FILESYS_WRITE))
        flags |= O_RDWR;
    else if (access == FILESYS_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (create) flags |= O_CREAT;
    // Without waiting: a FIFO or a device would otherwise block the open
    // until another program comes to the other end.
    int fd = open(path, flags | O_NONBLOCK, 0666);
    if (fd < 0) return Fail(error);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        close(fd);
        *error = folder ? EISDIR : ENODEV;
        return 0;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *handle = fd;
    return 1;
}

int FileSys_Read(intptr_t handle, void* buffer, uint32_t count, uint32_t* got, uint32_t* error) {
    for (;;) {
        ssize_t n = read(int(handle), buffer, count);
        if (n >= 0) {
            *got = uint32_t(n);
            return 1;
        }
        if (errno != EINTR) return Fail(error);
    }
}

int FileSys_Write(intptr_t handle, const void* data, uint32_t count, uint32_t* put, uint32_t* error) {
    for (;;) {
        ssize_t n = write(int(handle), data, count);
        if (n >= 0) {
            *put = uint32_t(n);
            return 1;
        }
        if (errno != EINTR) return Fail(error);
    }
}

int FileSys_Seek(intptr_t handle, int64_t offset, int origin, int64_t* position, uint32_t* error) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t at = lseek(int(handle), off_t(offset), whence);
    if (at < 0) return Fail(error);
    *position = int64_t(at);
    return 1;
}

int FileSys_Truncate(intptr_t handle, int64_t length, uint32_t* error) {
    if (ftruncate(int(handle), off_t(length)) != 0) return Fail(error);
    return 1;
}

int FileSys_Flush(intptr_t handle, uint32_t* error) {
    if (fsync(int(handle)) != 0) return Fail(error);
    return 1;
}

int FileSys_Close(intptr_t handle, uint32_t* error) {
    if (close(int(handle)) != 0) return Fail(error);
    return 1;
}

int FileSys_Stat(const char* path, FileInfo* info, uint32_t* error) {
    struct statx sx;
    if (!StatxOf(AT_FDCWD, path, 0, &sx, error)) return 0;
    info->size = int64_t(sx.stx_size);
    info->modeBits = 0;
    if (S_ISDIR(sx.stx_mode)) info->modeBits |= FILE_INFO_FOLDER;
    if (S_ISREG(sx.stx_mode)) info->modeBits |= FILE_INFO_REGULAR;
    if (sx.stx_mode & S_IRUSR) info->modeBits |= FILE_INFO_READ;
    if (sx.stx_mode & S_IWUSR) info->modeBits |= FILE_INFO_WRITE;
    info->created = TicksFrom(TimeOf(sx, FILESYS_CREATED));
    info->accessed = TicksFrom(sx.stx_atime);
    info->written = TicksFrom(sx.stx_mtime);
    return 1;
}

int FileSys_GetTime(const char* path, int which, SysTime* out, int* opened, uint32_t* error) {
    *opened = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(error);
    *opened = 1;
    struct statx sx;
    int ok = StatxOf(fd, "", AT_EMPTY_PATH, &sx, error);
    close(fd);
    if (!ok) return 0;
    time_t seconds = time_t(TimeOf(sx, which).tv_sec);
    struct tm t;
    if (!localtime_r(&seconds, &t)) return Fail(error);
    out->year = t.tm_year + 1900;
    out->month = t.tm_mon + 1;
    out->day = t.tm_mday;
    out->hour = t.tm_hour;
    out->minute = t.tm_min;
    out->second = t.tm_sec;
    return 1;
}

int FileSys_SetTicks(const char* path, int which, int64_t ticks, uint32_t* error) {
    if (which == FILESYS_CREATED) {
        *error = ENOTSUP;
        return 0;
    }
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    int64_t since1970 = ticks - kEpochDifference * kTicksPerSecond;
    int64_t seconds = since1970 / kTicksPerSecond, rest = since1970 % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        seconds -= 1;
    }
    times[which == FILESYS_ACCESSED ? 0 : 1] = {time_t(seconds), long(rest * 100)};
    if (utimensat(AT_FDCWD, path, times, 0) != 0) return Fail(error);
    return 1;
}

// Access and write times are set through the path; a creation time cannot
// be set on Linux and fails as unsupported.
int FileSys_SetTime(const char* path, int which, const SysTime* in, int* opened, uint32_t* error) {
    *opened = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(error);
    *opened = 1;
    if (which == FILESYS_CREATED) {
        close(fd);
        *error = ENOTSUP;
        return 0;
    }
    struct tm t = {};
    t.tm_year = in->year - 1900;
    t.tm_mon = in->month - 1;
    t.tm_mday = in->day;
    t.tm_hour = in->hour;
    t.tm_min = in->minute;
    t.tm_sec = in->second;
    t.tm_isdst = -1;
    time_t seconds = mktime(&t);
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    times[which == FILESYS_ACCESSED ? 0 : 1] = {seconds, 0};
    int ok = futimens(fd, times) == 0;
    if (!ok) *error = uint32_t(errno);
    close(fd);
    return ok;
}

int FileSys_Delete(const char* path, uint32_t* error) {
    if (unlink(path) != 0) return Fail(error);
    return 1;
}

int FileSys_RemoveDir(const char* path, uint32_t* error) {
    if (rmdir(path) != 0) return Fail(error);
    return 1;
}

int FileSys_MakeDir(const char* path, int* exists, uint32_t* error) {
    *exists = 0;
    if (mkdir(path, 0777) == 0) return 1;
    *exists = errno == EEXIST;
    return Fail(error);
}

// Copies the bytes, the permissions and the access and write times, as the
// system copy does elsewhere.
int FileSys_Copy(const char* source, const char* target, uint32_t* error) {
    int from = open(source, O_RDONLY | O_CLOEXEC);
    if (from < 0) return Fail(error);
    struct stat st;
    if (fstat(from, &st) != 0) {
        Fail(error);
        close(from);
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = EISDIR;
        close(from);
        return 0;
    }
    // Opening the target would empty the source when both are one file.
    struct stat existing;
    if (stat(target, &existing) == 0 && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
        *error = EINVAL;
        close(from);
        return 0;
    }
    int to = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (to < 0) {
        Fail(error);
        close(from);
        return 0;
    }
    int ok = CopyBytes(from, to, error);
    if (ok) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(to, times);
        fchmod(to, st.st_mode & 0777);
    }
    if (close(to) != 0 && ok) ok = Fail(error);
    close(from);
    return ok;
}

int FileSys_SameFile(const char* a, const char* b) {
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int FileSys_Rename(const char* from, const char* to, uint32_t* error) {
    if (rename(from, to) != 0) return Fail(error);
    return 1;
}

int FileSys_Identity(const char* path, FileIdentity* identity) {
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    identity->volume = uint64_t(st.st_dev);
    identity->index = uint64_t(st.st_ino);
    return 1;
}

uint32_t FileSys_FullError(void) {
    return ENOSPC;
}

int FileSys_Problem(uint32_t error) {
    switch (int(error)) {
    case 0:
        return FILE_PROBLEM_NONE;
    case ENOENT:
    case ENOTDIR:
        return FILE_PROBLEM_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return FILE_PROBLEM_ACCESS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FILE_PROBLEM_FULL;
    case ENAMETOOLONG:
        return FILE_PROBLEM_TOO_LONG;
    case ENODEV:
    case ENXIO:
        return FILE_PROBLEM_NOT_REGULAR;
    }
    return FILE_PROBLEM_OTHER;
}

int FileSys_Transient(uint32_t error) {
    // A busy file here is a locked one another program holds for good;
    // only an interrupted call is worth trying again.
    return error == EINTR || error == EAGAIN;
}

int FileSys_ListFolder(const char* folder, FolderVisitor fn, void* data) {
    DIR* dir = opendir(folder);
    if (!dir) return 0;
    char path[STR_TEXT_SIZE];
    int length = int(Str_Length(folder));
    const char* separator = length > 0 && folder[length - 1] == '/' ? "" : "/";
    while (dirent* e = readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        int need = length + int(Str_Length(separator)) + int(Str_Length(n));
        struct stat st, link;
        if (need >= int(sizeof path)) {
            // Named by the end of its path, so that its name and extension
            // still show who it is.
            std::string whole = std::string(folder) + separator + n;
            Str_Format(path, int(sizeof path), "...%s", whole.c_str() + whole.size() - (sizeof path - 4));
            int isFolder = fstatat(dirfd(dir), n, &st, 0) == 0 && S_ISDIR(st.st_mode);
            if (!fn(path, isFolder, "path too long", data)) break;
            continue;
        }
        Str_Format(path, int(sizeof path), "%s%s%s", folder, separator, n);
        if (stat(path, &st) != 0) {
            const char* problem = errno == EACCES ? "access denied" : "not found";
            if (!fn(path, 0, problem, data)) break;
            continue;
        }
        int isFolder = S_ISDIR(st.st_mode) ? 1 : 0;
        if (isFolder && lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) continue;
        if (!fn(path, isFolder, nullptr, data)) break;
    }
    closedir(dir);
    return 1;
}

int FileSys_ProgramPath(char* buf, int size) {
    return Sys_ProgramPath(buf, size);
}

int FileSys_TempPath(char* buf, int size) {
    const char* dir = getenv("TMPDIR");
    if (!dir || !dir[0]) dir = "/tmp";
    return Str_CopyN(buf, dir, size);
}

char FileSys_Separator(void) {
    return '/';
}

// POSIX file systems tell names apart by every byte.
int FileSys_CompareNames(const char* a, const char* b) {
    return strcmp(a, b);
}

int FileSys_IsSeparator(char c) {
    return c == '/';
}

int FileSys_IsNameBreak(char c) {
    return c == '/';
}

int FileSys_RootLength(const char* path) {
    return path[0] == '/' ? 1 : 0;
}

int FileSys_IsBareDrive(const char*) {
    return 0;
}
