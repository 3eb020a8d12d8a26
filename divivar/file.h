// File layer: every file the program touches is opened, read, written,
// examined and dated through FileStruct and the path operations here.
// Failures are logged in this module's words and returned as 0.
#pragma once

#include <stdint.h>

#include "orv-str.h"

enum {
    FILE_MODE_READ = 0x1,
    FILE_MODE_WRITE = 0x2,
    FILE_MODE_TEXT = 0x10,
    FILE_MODE_APPEND = 0x20,
    FILE_MODE_SHAREREAD = 0x40,
    FILE_MODE_SHAREWRITE = 0x80
};

// Bits of FileInfo::modeBits, numbered as the C runtime numbers them.
enum { FILE_INFO_FOLDER = 0x4000, FILE_INFO_REGULAR = 0x8000, FILE_INFO_WRITE = 0x80, FILE_INFO_READ = 0x100 };

// What a stat of a path found. Times are system times: 100-nanosecond
// ticks since 1 January 1601 UTC.
struct FileInfo {
    int64_t size;       // bytes
    uint32_t modeBits;  // FILE_INFO_* bits
    int64_t created;    // system time of creation
    int64_t accessed;   // system time of the last access
    int64_t written;    // system time of the last write
};

// One file, open or examined; belongs to the function or object that
// created it, and to one thread at a time.
struct FileStruct {
    const char* tag;            // "FileStruct:divivar/file"
    int retries;                // opening attempts for a file another program holds for a moment (a
                                // sharing violation), 0.1 s apart (default 5); other errors are final
    int createFolders;          // 1: opening for writing creates missing folders (default)
    char path[STR_TEXT_SIZE];   // the path last opened or examined
    int mode;                   // FILE_MODE_* word of the open file
    intptr_t handle;            // the backend's handle while open
    int isOpen;                 // 1 while open
    int isFolder;               // 1 when the last stat found a folder
    FileInfo info;              // what the last stat found
};

// A file's identity: the same pair for every path (link, other spelling)
// that reaches the same file.
struct FileIdentity {
    uint64_t volume;  // device or volume serial number
    uint64_t index;   // inode or file index on that volume
};

// Why the last failed file operation of the calling thread failed.
enum {
    FILE_PROBLEM_NONE = 0,
    FILE_PROBLEM_NOT_FOUND,
    FILE_PROBLEM_ACCESS,    // access denied, read-only, held by another program
    FILE_PROBLEM_FULL,      // no room left on the disk
    FILE_PROBLEM_TOO_LONG,  // the path does not fit
    FILE_PROBLEM_OTHER,
    FILE_PROBLEM_NOT_REGULAR  // a folder, FIFO, device or socket: never opened as a file
};

// Minutes of local calendar time counted from 31 December 1969 00:00.
typedef int32_t LocalMinutes;

// A new closed object with 5 retries and folder creation on. Cannot fail (1).
int File_Create(FileStruct** file);

// Closes a file left open (with a logged warning), frees the object and
// nulls *file. Cannot fail (1).
int File_Destroy(FileStruct** file);

// Opens path with a FILE_MODE_* word. A file held elsewhere is retried
// (20 times, 0.1 s apart); a missing file opened for reading fails at once;
// writing creates missing folders. 1 when open; 0 with a logged reason.
int File_Open(FileStruct* file, const char* path, int mode);

// 1; 0 when the close reports an error. Either way the file counts as
// closed: the system has released its handle.
int File_Close(FileStruct* file);
int File_IsOpen(FileStruct* file);

// Reads up to count bytes: 1 when at least one byte was read; 0 at the end
// of the file or on failure, with *got 0. Text mode reads CR LF as LF.
int File_Read(FileStruct* file, void* buffer, uint32_t count, uint32_t* got);

// Writes count bytes: 1 when all were written, else 0 with *put 0. Text
// mode writes LF as CR LF.
int File_Write(FileStruct* file, const void* data, uint32_t count, uint32_t* put);

// Moves the position (origin 0 start, 1 current, 2 end). 1 or 0.
int File_Seek(FileStruct* file, int64_t offset, int origin);
int File_SeekStart(FileStruct* file, int64_t offset);
int File_SeekEnd(FileStruct* file, int64_t offset);

// The position: 1, or 0 with *position 0.
int File_Tell(FileStruct* file, int64_t* position);

// Ends the file at the current position. 1 or 0.
int File_Truncate(FileStruct* file);

// Commits written data to the disk. 1 or 0.
int File_Flush(FileStruct* file);

// Records path and reads its information; refused while a file is open.
int File_Stat(FileStruct* file, const char* path);

// The size found by the last stat, not the live size. 1.
int File_GetSize(FileStruct* file, int64_t* size);

// Deletes a file or removes an empty folder. 1 or 0.
int File_Erase(FileStruct* file, const char* path);

// Times of the recorded path as local minutes and seconds; 1 or 0.
int File_GetCreationTime(FileStruct* file, LocalMinutes* minutes, int* seconds);
int File_GetAccessTime(FileStruct* file, LocalMinutes* minutes, int* seconds);
int File_GetWriteTime(FileStruct* file, LocalMinutes* minutes, int* seconds);

// Sets one time of the recorded path, leaving the other two; 1 or 0.
int File_SetCreationTime(FileStruct* file, LocalMinutes minutes, int seconds);
int File_SetAccessTime(FileStruct* file, LocalMinutes minutes, int seconds);
int File_SetWriteTime(FileStruct* file, LocalMinutes minutes, int seconds);

// Gives the recorded path the times of another file's stat (source, as
// File_Stat read them), exactly: no local calendar in between. A time that
// cannot be set (creation on Linux) is logged and the others still set. 1
// when all three were set.
int File_CopyTimes(FileStruct* file, const FileInfo* source);

// Copies source to target, replacing an existing target. 1, or 0 with the
// reason logged and kept for File_GetProblem (the target then as the system
// left it).
int File_Copy(const char* source, const char* target);

// Creates the folder and every missing parent; with stripLast 1 the path
// names a file whose folder is wanted. 1 or 0.
int File_CreateDir(const char* path, int stripLast, int verbose);

// The size of a path through a temporary FileStruct; 1, or 0 with size 0.
int File_GetSizeByPath(const char* path, int64_t* size);

// Steps of File_ReadWhole: the one that failed, for the caller's message.
enum {
    FILE_WHOLE_DONE = 0,
    FILE_WHOLE_OPEN,
    FILE_WHOLE_SIZE,
    FILE_WHOLE_BADSIZE,
    FILE_WHOLE_MEMORY,
    FILE_WHOLE_READ
};

struct FileWhole {
    unsigned char* data;
    int size;
    uint32_t got;
    int64_t fileSize;
};

// Reads a whole file (read, binary) into a tracked block of the file's size
// and closes it again. Returns FILE_WHOLE_DONE or the step that failed: an
// empty file or one of 2 GiB or more is FILE_WHOLE_BADSIZE; after
// FILE_WHOLE_READ the block holds the got bytes that were read. The caller
// releases the block with File_FreeWhole in every case.
int File_ReadWhole(const char* path, FileWhole* whole);
void File_FreeWhole(FileWhole* whole);

// The FILE_PROBLEM_* of the calling thread's last failed operation since
// File_ClearProblem, and its words ("not found", "access denied", "disk
// full", "path too long", "input or output error"; "" for none).
int File_GetProblem(void);
const char* File_ProblemText(int problem);
void File_ClearProblem(void);

// Makes data (count bytes) the whole content of path: written to a
// temporary file beside it, flushed and closed, then renamed over path. So
// path is either as it was or complete, never cut, and a link at path is
// replaced, not written through. Text mode writes LF as CR LF. 1, or 0
// with path untouched, no temporary file left, the reason logged and kept
// for File_GetProblem.
int File_SaveWhole(const char* path, const void* data, uint32_t count, int text);

// Test seam: after bytes more bytes, the calling thread's writes fail as on
// a full disk; -1 lifts the limit.
void File_FailWritesAfter(int64_t bytes);

// The identity of an existing path. 0 when it cannot be examined.
int File_GetIdentity(const char* path, FileIdentity* identity);

// 1 when both paths name the same existing file (same device and inode,
// or same volume and file index): links and "." segments do not hide it.
int File_IsSameFile(const char* a, const char* b);

// What a folder listing passes for each entry: its full path (the folder, a
// separator, its name; valid during the call), 1 when it is a folder, and
// problem: null, or why the entry cannot be opened ("path too long", or a
// name the system cannot pass to the program), its path then showing what
// could be spelled of it. Returns 0 to stop the listing.
typedef int (*FolderVisitor)(const char* path, int isFolder, const char* problem, void* data);

// Calls fn for every entry of a folder but "." and "..", in no particular
// order. Folders reached through a symbolic link or junction are left out,
// so a walk down the folders always ends. 1, or 0 when the folder cannot
// be read.
int File_ListFolder(const char* folder, FolderVisitor fn, void* data);

// The program's folder and the system's temporary folder, each ending in
// the path separator. 1 or 0.
int File_GetProgramDir(char* buf, int size);
int File_GetTempDir(char* buf, int size);

// The path separator of this platform ("\" on Win32, "/" elsewhere).
char Path_Separator(void);

// Two paths as this platform's file systems tell them apart: letter case
// ignored on Win32, every byte counted elsewhere. Below 0, 0 (one name) or
// above 0.
int Path_Compare(const char* a, const char* b);

// path with " (n)" before its extension ("a/b.jpg", 2: "a/b (2).jpg"), into
// out: 1, or 0 (out empty) when it does not fit size.
int Path_Numbered(const char* path, int n, char* out, int size);

// Unifies separators, adds (trailing 1) or removes one trailing separator,
// drops "." components and resolves ".." components, in place. 1.
int Path_Normalize(char* path, int trailing);

// folder (with its final separator), name without extension, extension
// without the dot; each cut to its buffer. 1.
int Path_Split(const char* path, char* folder, int folderSize, char* name, int nameSize, char* extension,
               int extensionSize);

// The last part of the path, optionally without its extension. 1.
int Path_GetName(const char* path, char* buf, int size, int stripExtension);

// Local date and time <-> LocalMinutes (plus the seconds kept beside them).
LocalMinutes File_ToLocalMinutes(int year, int month, int day, int hour, int minute);
void File_FromLocalMinutes(LocalMinutes minutes, int* year, int* month, int* day, int* hour, int* minute);
