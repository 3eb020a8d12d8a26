// FileStruct: one open file at a time, the last stat'd path and its
// information, and the file times of that path. The path operations live in
// file_path.cpp, the platform work in file_posix.cpp and file_win32.cpp.
#include "file.h"

#include <atomic>

#include "file_sys.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/file";
const char kTag[] = "FileStruct:divivar/file";
const int kDefaultRetries = 5;
const int kStagingSize = 2048;

// The calling thread's last problem, for File_GetProblem.
thread_local int t_problem = FILE_PROBLEM_NONE;

// Bytes the calling thread may still write before its writes fail as on a
// full disk (File_FailWritesAfter); -1: no limit.
thread_local int64_t t_writeRoom = -1;

void Note(uint32_t error) {
    int problem = FileSys_Problem(error);
    t_problem = problem == FILE_PROBLEM_NONE ? FILE_PROBLEM_OTHER : problem;
}

// A path that would not fit the record is refused, never cut.
int Fits(const char* path) {
    if (Str_Length(path) < STR_TEXT_SIZE) return 1;
    Log_Print(0, "Path too long [%.64s...]\n", path);
    t_problem = FILE_PROBLEM_TOO_LONG;
    return 0;
}

void Check(FileStruct* file, int line) {
    if (!file) Core_NullPointer(kModule, line);
    Class_Check(file, kTag, kModule, line);
}

// The C runtime's numbering of the open flags, for the log.
int OpenFlagsFor(int mode) {
    int flags = 0;
    int read = mode & FILE_MODE_READ;
    int write = mode & FILE_MODE_WRITE;
    if (read && write)
        flags = 0x2 | 0x100;
    else if (write)
        flags = 0x1 | 0x100;
    if (mode & FILE_MODE_APPEND) flags |= 0x8;
    flags |= (mode & FILE_MODE_TEXT) ? 0x4000 : 0x8000;
    return flags;
}

// Reads a path's information into info: the path is copied, one trailing
// separator dropped. Logs the failure and keeps its error code.
int ReadInfo(const char* path, FileInfo* info, uint32_t* error) {
    char copy[STR_TEXT_SIZE];
    Str_CopyN(copy, path, int(sizeof copy));
    int length = int(Str_Length(copy));
    if (length > 1 && FileSys_IsSeparator(copy[length - 1])) copy[length - 1] = 0;
    if (!FileSys_Stat(copy, info, error)) {
        Log_Print(0, "Unable to stat (%s):%d\n", path, int(*error));
        return 0;
    }
    return 1;
}

void MakeFolderFor(const char* path) {
    char folder[STR_TEXT_SIZE];
    Str_CopyN(folder, path, int(sizeof folder));
    int cut = -1;
    for (int i = 0; folder[i]; ++i)
        if (FileSys_IsSeparator(folder[i])) cut = i;
    if (cut <= 0) return;
    folder[cut] = 0;
    FileInfo info;
    uint32_t error = 0;
    if (!FileSys_Stat(folder, &info, &error)) File_CreateDir(folder, 0, 0);
}

// Text mode: after reading, CR LF pairs become LF. A CR that ends the buffer
// is resolved by looking at the next byte of the file.
uint32_t TextFromDisk(FileStruct* file, char* buffer, uint32_t count) {
    uint32_t out = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (buffer[i] == '\r' && i + 1 < count && buffer[i + 1] == '\n') continue;
        buffer[out++] = buffer[i];
    }
    if (out > 0 && buffer[out - 1] == '\r' && buffer[count - 1] == '\r') {
        char next = 0;
        uint32_t got = 0;
        uint32_t error = 0;
        if (FileSys_Read(file->handle, &next, 1, &got, &error) && got == 1) {
            if (next == '\n') {
                buffer[out - 1] = '\n';
            } else {
                int64_t position = 0;
                FileSys_Seek(file->handle, -1, 1, &position, &error);
            }
        }
    }
    return out;
}

int WriteAll(FileStruct* file, const char* data, uint32_t count, uint32_t* error) {
    while (count > 0) {
        uint32_t put = 0;
        uint32_t chunk = t_writeRoom >= 0 && t_writeRoom < int64_t(count) ? uint32_t(t_writeRoom) : count;
        if (chunk == 0) {
            *error = FileSys_FullError();
            return -1;
        }
        if (!FileSys_Write(file->handle, data, chunk, &put, error)) return -1;
        if (t_writeRoom >= 0) t_writeRoom -= put;
        if (put == 0) return 0;
        data += put;
        count -= put;
    }
    return 1;
}

// Writes with LF stored as CR LF. 1 all written, 0 partial, -1 failure.
int TextToDisk(FileStruct* file, const char* data, uint32_t count, uint32_t* error) {
    char staging[kStagingSize];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (n >= kStagingSize - 2) {
            int result = WriteAll(file, staging, n, error);
            if (result != 1) return result;
            n = 0;
        }
        if (data[i] == '\n') staging[n++] = '\r';
        staging[n++] = data[i];
    }
    return n ? WriteAll(file, staging, n, error) : 1;
}

// One text serves every failed read or write of the three times. Returns 0.
int LogTimeFailure(FileStruct* file, int opened, uint32_t error) {
    if (!opened)
        Log_Print(0, "Unable to open file (%s):%d/%.8X\n", file->path, int(error), error);
    else
        Log_Print(0, "Unable to set creation time for file (%s):%d/%.8X\n", file->path, int(error), error);
    return 0;
}

int GetTime(FileStruct* file, int which, LocalMinutes* minutes, int* seconds, int line) {
    Check(file, line);
    if (!minutes || !seconds) Core_NullPointer(kModule, line);
    *minutes = 0;
    *seconds = 0;
    if (!file->path[0]) {
        Log_Print(0, "A file must be stat'd first\n");
        return 0;
    }
    SysTime t;
    int opened = 0;
    uint32_t error = 0;
    if (!FileSys_GetTime(file->path, which, &t, &opened, &error)) return LogTimeFailure(file, opened, error);
    *minutes = File_ToLocalMinutes(t.year, t.month, t.day, t.hour, t.minute);
    *seconds = t.second;
    return 1;
}

int SetTime(FileStruct* file, int which, LocalMinutes minutes, int seconds, int line) {
    Check(file, line);
    if (!file->path[0]) {
        Log_Print(0, "A file must be stat'd first\n");
        return 0;
    }
    SysTime t;
    File_FromLocalMinutes(minutes, &t.year, &t.month, &t.day, &t.hour, &t.minute);
    t.second = seconds;
    int opened = 0;
    uint32_t error = 0;
    if (!FileSys_SetTime(file->path, which, &t, &opened, &error)) return LogTimeFailure(file, opened, error);
    return 1;
}

}  // namespace

int File_Create(FileStruct** file) {
    if (!file) Core_NullPointer(kModule, __LINE__);
    FileStruct* f = static_cast<FileStruct*>(Mem_Alloc(int(sizeof(FileStruct)), MEM_HEAP, kModule, __LINE__));
    f->tag = kTag;
    f->retries = kDefaultRetries;
    f->createFolders = 1;
    f->handle = -1;
    *file = f;
    return 1;
}

int File_Destroy(FileStruct** file) {
    if (!file) Core_NullPointer(kModule, __LINE__);
    FileStruct* f = *file;
    *file = nullptr;
    Check(f, __LINE__);
    if (f->isOpen) {
        Log_Print(0, "File not properly closed on delete [%s]\n", f->path);
        File_Close(f);
    }
    f->tag = nullptr;
    Mem_Free(f, int(sizeof(FileStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int File_Open(FileStruct* file, const char* path, int mode) {
    Check(file, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    if (file->isOpen) {
        Log_Print(0, "Previous file [%s] must be closed before opening [%s]\n", file->path, path);
        return 0;
    }
    int access = ((mode & FILE_MODE_READ) ? FILESYS_READ : 0) | ((mode & FILE_MODE_WRITE) ? FILESYS_WRITE : 0);
    if (!access) {
        Log_Print(0, "Unknown mode [%d]\n", mode);
        return 0;
    }
    if (!Fits(path)) return 0;
    int writing = (access & FILESYS_WRITE) != 0;
    int share = mode & (FILE_MODE_SHAREREAD | FILE_MODE_SHAREWRITE);
    file->mode = mode;
    Str_CopyN(file->path, path, int(sizeof file->path));
    uint32_t error = 0;
    for (int attempt = 0; attempt < file->retries; ++attempt) {
        if (ReadInfo(file->path, &file->info, &error)) {
            if (FileSys_Open(file->path, access, writing, share, &file->handle, &error)) {
                file->isOpen = 1;
                int64_t position = 0;
                if (mode & FILE_MODE_APPEND) FileSys_Seek(file->handle, 0, 2, &position, &error);
                if (access == FILESYS_WRITE) FileSys_Truncate(file->handle, position, &error);
                return 1;
            }
            if (!FileSys_Transient(error)) break;
            if (file->retries > 1) Core_Sleep(0.1);
            continue;
        }
        if (attempt == 0 && file->createFolders && writing) MakeFolderFor(file->path);
        if (!writing) break;
        if (FileSys_Open(file->path, access, 1, share, &file->handle, &error)) {
            file->isOpen = 1;
            ReadInfo(file->path, &file->info, &error);
            return 1;
        }
        break;
    }
    file->isOpen = 0;
    file->handle = -1;
    Note(error);
    Log_Print(0, "Unable to open file [%s][%.8X](%d : %.8X)\n", file->path, OpenFlagsFor(mode), int(error), error);
    return 0;
}

int File_Close(FileStruct* file) {
    Check(file, __LINE__);
    if (!file->isOpen) return 1;
    uint32_t error = 0;
    int closed = FileSys_Close(file->handle, &error);
    // The handle is released even when the close reports an error; keeping
    // it would let a later close hit a handle the system has given to
    // another file meanwhile.
    file->isOpen = 0;
    file->handle = -1;
    if (!closed) {
        Note(error);
        Log_Print(0, "Unable to close file [%s](%d : %.8X)\n", file->path, int(error), error);
        return 0;
    }
    return 1;
}

int File_IsOpen(FileStruct* file) {
    Check(file, __LINE__);
    return file->isOpen;
}

int File_Read(FileStruct* file, void* buffer, uint32_t count, uint32_t* got) {
    Check(file, __LINE__);
    if (!buffer || !got) Core_NullPointer(kModule, __LINE__);
    *got = 0;
    if (!file->isOpen) {
        Log_Print(0, "File not opened for read [%s](%d)\n", file->path, int(count));
        return 0;
    }
    uint32_t n = 0;
    uint32_t error = 0;
    if (!FileSys_Read(file->handle, buffer, count, &n, &error)) {
        Note(error);
        Log_Print(0, "Failed on File_Read [%s] %d (%d)\n", file->path, int(count), int(error));
        return 0;
    }
    if (n == 0) return 0;
    if (file->mode & FILE_MODE_TEXT) n = TextFromDisk(file, static_cast<char*>(buffer), n);
    *got = n;
    return 1;
}

int File_Write(FileStruct* file, const void* data, uint32_t count, uint32_t* put) {
    Check(file, __LINE__);
    if (!data || !put) Core_NullPointer(kModule, __LINE__);
    *put = 0;
    if (!file->isOpen) {
        Log_Print(0, "File not opened for write [%s](%d)\n", file->path, int(count));
        return 0;
    }
    uint32_t error = 0;
    const char* bytes = static_cast<const char*>(data);
    int result = (file->mode & FILE_MODE_TEXT) ? TextToDisk(file, bytes, count, &error)
                                                : WriteAll(file, bytes, count, &error);
    if (result < 0) {
        Note(error);
        Log_Print(0, "Failed on File_Write [%s] %d (%d)\n", file->path, int(count), int(error));
        return 0;
    }
    if (result == 0) return 0;
    *put = count;
    return 1;
}

int File_Seek(FileStruct* file, int64_t offset, int origin) {
    Check(file, __LINE__);
    if (!file->isOpen) {
        Log_Print(0, "No file handle is open - cannot seek\n");
        return 0;
    }
    int64_t position = 0;
    uint32_t error = 0;
    if (!FileSys_Seek(file->handle, offset, origin, &position, &error)) {
        Log_Print(0, "Failed to seek [%s] (%d:%I64d) (%d)\n", file->path, origin, offset, int(error));
        return 0;
    }
    return 1;
}

int File_SeekStart(FileStruct* file, int64_t offset) {
    return File_Seek(file, offset, 0);
}

int File_SeekEnd(FileStruct* file, int64_t offset) {
    return File_Seek(file, offset, 2);
}

int File_Tell(FileStruct* file, int64_t* position) {
    Check(file, __LINE__);
    if (!position) Core_NullPointer(kModule, __LINE__);
    *position = 0;
    if (!file->isOpen) {
        Log_Print(0, "No file handle is open - cannot tell\n");
        return 0;
    }
    uint32_t error = 0;
    if (!FileSys_Seek(file->handle, 0, 1, position, &error)) {
        *position = 0;
        return 0;
    }
    return 1;
}

int File_Truncate(FileStruct* file) {
    int64_t position = 0;
    if (!File_Tell(file, &position)) return 0;
    uint32_t error = 0;
    if (!FileSys_Truncate(file->handle, position, &error)) {
        Log_Print(0, "Unable to truncate file [%s] [%I64d] [%d:%.8X]\n", file->path, position, int(error), error);
        return 0;
    }
    return 1;
}

int File_Flush(FileStruct* file) {
    Check(file, __LINE__);
    if (!file->isOpen) {
        Log_Print(0, "No file handle is open - cannot flush\n");
        return 0;
    }
    uint32_t error = 0;
    if (FileSys_Flush(file->handle, &error)) return 1;
    Note(error);
    Log_Print(0, "Failed on File_Flush [%s] (%d)\n", file->path, int(error));
    return 0;
}

int File_Stat(FileStruct* file, const char* path) {
    Check(file, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    if (file->isOpen) {
        Log_Print(0, "Previous file [%s] must be closed before opening [%s]\n", file->path, path);
        return 0;
    }
    if (!Fits(path)) return 0;
    Str_CopyN(file->path, path, int(sizeof file->path));
    file->isFolder = 0;
    uint32_t error = 0;
    if (!ReadInfo(file->path, &file->info, &error)) {
        Note(error);
        return 0;
    }
    file->isFolder = (file->info.modeBits & FILE_INFO_FOLDER) != 0;
    return 1;
}

int File_GetSize(FileStruct* file, int64_t* size) {
    Check(file, __LINE__);
    if (!size) Core_NullPointer(kModule, __LINE__);
    *size = file->info.size;
    return 1;
}

int File_Erase(FileStruct* file, const char* path) {
    Check(file, __LINE__);
    if (!File_Stat(file, path)) {
        Log_Print(0, "Unable to get info to erase [%s]\n", path);
        return 0;
    }
    uint32_t error = 0;
    if (file->isFolder) {
        if (!FileSys_RemoveDir(file->path, &error)) {
            Log_Print(0, "Unable to erase directory [%s] [%d:%.8X]\n", file->path, int(error), error);
            return 0;
        }
    } else if (!FileSys_Delete(file->path, &error)) {
        Log_Print(0, "Unable to erase file [%s] [%d:%.8X]\n", file->path, int(error), error);
        return 0;
    }
    return 1;
}

int File_GetCreationTime(FileStruct* file, LocalMinutes* minutes, int* seconds) {
    return GetTime(file, FILESYS_CREATED, minutes, seconds, __LINE__);
}

int File_GetAccessTime(FileStruct* file, LocalMinutes* minutes, int* seconds) {
    return GetTime(file, FILESYS_ACCESSED, minutes, seconds, __LINE__);
}

int File_GetWriteTime(FileStruct* file, LocalMinutes* minutes, int* seconds) {
    return GetTime(file, FILESYS_WRITTEN, minutes, seconds, __LINE__);
}

int File_SetCreationTime(FileStruct* file, LocalMinutes minutes, int seconds) {
    return SetTime(file, FILESYS_CREATED, minutes, seconds, __LINE__);
}

int File_SetAccessTime(FileStruct* file, LocalMinutes minutes, int seconds) {
    return SetTime(file, FILESYS_ACCESSED, minutes, seconds, __LINE__);
}

int File_SetWriteTime(FileStruct* file, LocalMinutes minutes, int seconds) {
    return SetTime(file, FILESYS_WRITTEN, minutes, seconds, __LINE__);
}

int File_GetSizeByPath(const char* path, int64_t* size) {
    if (!path || !size) Core_NullPointer(kModule, __LINE__);
    *size = 0;
    FileStruct* file = nullptr;
    File_Create(&file);
    int ok = File_Stat(file, path);
    if (!ok)
        Log_Print(0, "Failed to stat file (%s)\n", path);
    else if (!(ok = File_GetSize(file, size)))
        Log_Print(0, "Failed to get size for file (%s)\n", path);
    File_Close(file);
    File_Destroy(&file);
    if (!ok) *size = 0;
    return ok;
}

int File_ReadWhole(const char* path, FileWhole* whole) {
    if (!path || !whole) Core_NullPointer(kModule, __LINE__);
    whole->data = nullptr;
    whole->size = 0;
    whole->got = 0;
    whole->fileSize = 0;
    FileStruct* file = nullptr;
    File_Create(&file);
    int step = FILE_WHOLE_DONE;
    if (!File_Open(file, path, FILE_MODE_READ)) {
        step = FILE_WHOLE_OPEN;
    } else if (!File_GetSize(file, &whole->fileSize)) {
        step = FILE_WHOLE_SIZE;
    } else if (whole->fileSize <= 0 || whole->fileSize > 2147483646) {
        step = FILE_WHOLE_BADSIZE;
    } else if (!(whole->data = static_cast<unsigned char*>(
                     Mem_AllocChecked(whole->fileSize, 1, 1, &whole->size, MEM_HEAP, kModule, __LINE__)))) {
        step = FILE_WHOLE_MEMORY;
    } else if (!File_Read(file, whole->data, uint32_t(whole->size), &whole->got) ||
               whole->got != uint32_t(whole->size)) {
        step = FILE_WHOLE_READ;
    }
    if (File_IsOpen(file)) File_Close(file);
    File_Destroy(&file);
    return step;
}

void File_FreeWhole(FileWhole* whole) {
    if (!whole) Core_NullPointer(kModule, __LINE__);
    if (whole->data) Mem_Free(whole->data, whole->size, MEM_HEAP, kModule, __LINE__);
    whole->data = nullptr;
    whole->size = 0;
}

int File_GetProblem(void) {
    return t_problem;
}

const char* File_ProblemText(int problem) {
    switch (problem) {
    case FILE_PROBLEM_NONE:
        return "";
    case FILE_PROBLEM_NOT_FOUND:
        return "not found";
    case FILE_PROBLEM_ACCESS:
        return "access denied";
    case FILE_PROBLEM_FULL:
        return "disk full";
    case FILE_PROBLEM_TOO_LONG:
        return "path too long";
    case FILE_PROBLEM_NOT_REGULAR:
        return "not a regular file";
    }
    return "input or output error";
}

void File_ClearProblem(void) {
    t_problem = FILE_PROBLEM_NONE;
}

int File_SaveWhole(const char* path, const void* data, uint32_t count, int text) {
    if (!path || (!data && count > 0)) Core_NullPointer(kModule, __LINE__);
    // Unique beside the target across processes and threads, so two
    // writers never share a temporary file.
    static std::atomic<uint32_t> serial{0};
    char temporary[STR_TEXT_SIZE];
    if (!Fits(path) || Str_Format(temporary, int(sizeof temporary), "%s~%u-%u.tmp", path, unsigned(Sys_ProcessId()),
                                  unsigned(++serial)) >= int(sizeof temporary) - 1) {
        t_problem = FILE_PROBLEM_TOO_LONG;
        return 0;
    }
    FileStruct* file = nullptr;
    File_Create(&file);
    file->retries = 1;
    int ok = File_Open(file, temporary, FILE_MODE_WRITE | (text ? FILE_MODE_TEXT : 0));
    if (ok) {
        uint32_t put = 0;
        ok = (count == 0 || (File_Write(file, data, count, &put) && put == count)) && File_Flush(file);
        ok = File_Close(file) && ok;
    }
    uint32_t error = 0;
    if (ok && !FileSys_Rename(temporary, path, &error)) {
        Note(error);
        Log_Print(0, "Unable to replace [%s] (%d : %.8X)\n", path, int(error), error);
        ok = 0;
    }
    if (!ok) FileSys_Delete(temporary, &error);
    File_Destroy(&file);
    return ok;
}

int File_GetIdentity(const char* path, FileIdentity* identity) {
    if (!path || !identity) Core_NullPointer(kModule, __LINE__);
    *identity = FileIdentity{};
    return FileSys_Identity(path, identity);
}

void File_FailWritesAfter(int64_t bytes) {
    t_writeRoom = bytes < 0 ? -1 : bytes;
}

int File_Copy(const char* source, const char* target) {
    if (!source || !target) Core_NullPointer(kModule, __LINE__);
    uint32_t error = 0;
    if (!Fits(source) || !Fits(target)) return 0;
    if (!FileSys_Copy(source, target, &error)) {
        Note(error);
        Log_Print(0, "Unable to copy file [%s] to [%s] [%d:%.8X]\n", source, target, int(error), error);
        return 0;
    }
    return 1;
}

int File_CopyTimes(FileStruct* file, const FileInfo* source) {
    Check(file, __LINE__);
    if (!source) Core_NullPointer(kModule, __LINE__);
    const struct {
        int which;
        int64_t ticks;
    } times[3] = {{FILESYS_CREATED, source->created}, {FILESYS_WRITTEN, source->written},
                  {FILESYS_ACCESSED, source->accessed}};
    int ok = 1;
    for (const auto& t : times) {
        uint32_t error = 0;
        if (t.ticks == 0 || FileSys_SetTicks(file->path, t.which, t.ticks, &error)) continue;
        Log_Print(0, "Unable to set time [%s] (%d : %.8X)\n", file->path, int(error), error);
        ok = 0;
    }
    return ok;
}
