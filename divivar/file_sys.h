// Platform half of the file layer, implemented by file_posix.cpp and
// file_win32.cpp. Error codes are the system's own (errno or GetLastError)
// and are only logged. Not for use outside the file layer.
#pragma once

#include <stdint.h>

#include "file.h"
#include "orv-core_sys.h"

enum { FILESYS_READ = 1, FILESYS_WRITE = 2 };
enum { FILESYS_CREATED = 0, FILESYS_ACCESSED = 1, FILESYS_WRITTEN = 2 };

// Opens an existing file, or creates a missing one when create is 1, with
// FILESYS_READ / FILESYS_WRITE access and the FILE_MODE_SHARE* bits.
int FileSys_Open(const char* path, int access, int create, int share, intptr_t* handle, uint32_t* error);
int FileSys_Read(intptr_t handle, void* buffer, uint32_t count, uint32_t* got, uint32_t* error);
int FileSys_Write(intptr_t handle, const void* data, uint32_t count, uint32_t* put, uint32_t* error);
int FileSys_Seek(intptr_t handle, int64_t offset, int origin, int64_t* position, uint32_t* error);
int FileSys_Truncate(intptr_t handle, int64_t length, uint32_t* error);
int FileSys_Flush(intptr_t handle, uint32_t* error);
int FileSys_Close(intptr_t handle, uint32_t* error);

int FileSys_Stat(const char* path, FileInfo* info, uint32_t* error);

// Reads or writes one of a path's three times. *opened tells whether the
// path could be opened; a failure after that is a failure of the time
// itself.
int FileSys_GetTime(const char* path, int which, SysTime* time, int* opened, uint32_t* error);
int FileSys_SetTime(const char* path, int which, const SysTime* time, int* opened, uint32_t* error);

// Sets one of a path's times to a system time (100-nanosecond ticks since
// 1601, UTC): no local calendar in between, so nothing shifts across a
// summer-time change.
int FileSys_SetTicks(const char* path, int which, int64_t ticks, uint32_t* error);

int FileSys_Delete(const char* path, uint32_t* error);
int FileSys_RemoveDir(const char* path, uint32_t* error);

// Creates one folder; *exists is 1 when it failed because it exists.
int FileSys_MakeDir(const char* path, int* exists, uint32_t* error);
int FileSys_Copy(const char* source, const char* target, uint32_t* error);

int FileSys_SameFile(const char* a, const char* b);

// Renames from to to, replacing a file (or a link, not what it points to)
// at to in one step.
int FileSys_Rename(const char* from, const char* to, uint32_t* error);

// The identity of an existing file: its device or volume and its index
// there. 0 when the path cannot be examined.
int FileSys_Identity(const char* path, FileIdentity* identity);

// The FILE_PROBLEM_* class of a system error code, and the code of a full
// disk.
int FileSys_Problem(uint32_t error);
// 1 for an error that may pass if the same call is made again shortly (a
// file another program holds for a moment); every other error is final.
int FileSys_Transient(uint32_t error);
uint32_t FileSys_FullError(void);
int FileSys_ListFolder(const char* folder, FolderVisitor fn, void* data);

int FileSys_ProgramPath(char* buf, int size);
int FileSys_TempPath(char* buf, int size);

// Path syntax of the platform.
char FileSys_Separator(void);
// Names as the platform's file systems tell them apart: below 0, 0 (one
// file) or above 0.
int FileSys_CompareNames(const char* a, const char* b);
int FileSys_IsSeparator(char c);

// Characters after which a file name begins (separators, and ":" where
// drive letters exist).
int FileSys_IsNameBreak(char c);

// Length of the root prefix that normalising must keep as it is ("C:",
// "\\server", "/"), 0 when the path is relative.
int FileSys_RootLength(const char* path);

// 1 for a path that names a drive with no folder ("C:").
int FileSys_IsBareDrive(const char* path);
