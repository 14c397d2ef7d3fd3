#pragma once
/*
 * libunlha32: an LZH archiver library with a C interface.
 *
 * Every entry returns int. Texts are NUL-terminated CP932. Archive handles are
 * positive ints (0 means failure). The library's version is reported times 100.
 *
 * Unlha(owner, command, output, size) runs one command line, for example
 *   a -n -m7 "archive.lzh"  "*.txt"
 * and returns 0 when the command did all it was asked, otherwise a nonzero
 * error code (UNLHA_ERROR_*) with a readable message in `output` (cut to
 * `size` bytes, always NUL-terminated when size > 0).
 *
 * Commands (switches anywhere after the command word; names may be quoted
 * with double quotes; any other switch is an error):
 *   a [switches] ARCHIVE SOURCE...       add files (creating the archive)
 *   l [switches] ARCHIVE [PATTERN...]    list members: original and packed
 *                                        size, ratio, method, date and time
 *                                        (local), CRC, name; then a total
 *   t [switches] ARCHIVE [PATTERN...]    decode every member, check its CRC
 *   e [switches] ARCHIVE [FOLDER/] [PATTERN...]  extract by name alone
 *   x [switches] ARCHIVE [FOLDER/] [PATTERN...]  extract with stored folders
 *   d [switches] ARCHIVE PATTERN...      delete members
 * For e and x, FOLDER is the first name after the archive that ends with "/"
 * or ""; it is created when missing; without it, the current folder.
 * Switches: -n (no progress display), -m0 / -m5 / -m6 / -m7 (method for a;
 * -m5 is the default, -m0 stores), -r (a: recurse into sub-folders, storing
 * paths relative to the pattern's folder; without it a matched folder is
 * skipped), -o (e, x: replace existing files).
 *
 * Patterns choose members: "*" and "?" are wildcards; a pattern without "/"
 * or "" is matched against a member's name part (so "*.txt" finds text files
 * in every folder), one with a separator against the whole stored path. No
 * pattern means every member; a pattern that matches no member is an error
 * (UNLHA_ERROR_NO_MATCH).
 *
 * Progress display: without -n, in a process that runs a Qt application, a
 * small window shows the command's progress; its stop button (or its close
 * box) stops the command at its next safe point: the old archive stays as it
 * was, no temporary file is left, nothing is extracted further, and the
 * result is UNLHA_ERROR_CANCELLED.
 *
 * Adding: a member of the same name is replaced in place; the other members
 * are copied unchanged. The archive is written to a temporary file in its
 * folder, every new member is decoded again and its CRC compared, and only
 * then is the file renamed over the archive: on any failure the old archive
 * stays byte for byte as it was. Data that does not shrink is stored (-lh0-).
 * Deleting rewrites the archive the same way (deleting every member leaves
 * an empty archive, a single end-mark byte).
 *
 * Reading: header levels 0 to 3 (level 0/1 checksum, level 2/3 header
 * CRC; extension headers for names, folders, code page, attribute, Unix
 * mode, owner and time, Windows time stamps, 64-bit sizes); self-extracting
 * archives (the first sound member header within the file's first 64 KiB;
 * such an archive is read, never rewritten); the OS-9 writers' level-2 size
 * two bytes short and their permission bits (never taken as a Unix mode);
 * level-0/1 names end at a NUL (a comment follows); an MS-DOS date of 0 is
 * no time (UnlhaGetDate/GetTime answer 0, UnlhaGetWriteTime -1); methods -lh0-,
 * -lh1-, -lh2-, -lh3-, -lh4-, -lh5-, -lh6-, -lh7-, -lzs-, -lz5-, the stored
 * -lz4- and -pm0-, and folders (-lhd-, or an empty member whose name ends
 * with "/"); other methods (and LHARK's variant of -lh7-) are listed but
 * answer UNLHA_ERROR_NOT_SUPPORTED when their data is needed. A damaged archive is an
 * error (UNLHA_ERROR_BAD_ARCHIVE for its headers, UNLHA_ERROR_CRC for a
 * member's data), never a read outside the file.
 *
 * Extracting never writes outside the folder: a leading "/" or "\" and every
 * ".." part of a stored path are dropped, so the member lands inside it; a
 * symbolic link (or file) where a folder of the path belongs is refused
 * (UNLHA_ERROR_UNSAFE_PATH) and the other members go on. An existing
 * file is kept (UNLHA_ERROR_EXISTS) unless -o is given. Each file is decoded
 * into a temporary name and renamed into place only when its CRC is right;
 * its modification time and permission bits are restored (never set-user-ID,
 * set-group-ID or sticky; without stored permissions the umask decides, and
 * the MS-DOS read-only attribute removes the write bits); the owner is not
 * restored; a member without a time keeps the time of its extraction. A
 * symbolic-link member ("name|target") becomes a link when its target, taken
 * from the link's folder, stays inside the folder, and is skipped with a
 * warning otherwise; links are never followed while extracting. A Mac
 * writer's member wrapped in MacBinary gives its data fork. Names in the
 * output have control characters written as \xHH. A command that
 * could not do everything returns the code of its first failure, with one
 * line per member in the output.
 *
 * Entries (results are int; "-1 on failure" includes an unknown handle):
 *   UnlhaGetVersion        100 (version 1.00 times 100)
 *   UnlhaGetSubVersion     0
 *   UnlhaGetRunning        nonzero while Unlha runs a command (any thread)
 *   Unlha                  as above; a second call while one runs answers
 *                          UNLHA_ERROR_BUSY
 *   Get/SetBackGroundMode, Get/SetCursorMode, Get/SetCursorInterval
 *                          keep the value set (modes as 0/1; an interval
 *                          below 0 is refused); setters return 1 on success,
 *                          0 when refused. Defaults: 0, 0, 80.
 *   UnlhaCheckArchive(archive, mode)
 *                          1 when the file is a sound LZH archive, else 0.
 *                          UNLHA_CHECK_HEADERS (0) and UNLHA_CHECK_BASIC (1)
 *                          check every header; UNLHA_CHECK_FULL (2) also
 *                          decodes every member and checks its CRC.
 *   UnlhaConfigDialog      the library has no defaults to set: always
 *                          UNLHA_ERROR_NOT_SUPPORTED (QueryFunctionList: 0)
 *   UnlhaGetFileCount(archive)  members in the archive, -1 when it cannot be
 *                          read or is not a sound archive
 *   UnlhaOpenArchive(owner, archive, mode)
 *                          reads the archive's member headers and returns a
 *                          handle (> 0), or 0 when the file cannot be read or
 *                          is not a sound archive. `owner` and `mode` are
 *                          not used. Later changes to the file are not seen.
 *   UnlhaCloseArchive(handle)   0, or UNLHA_ERROR_ARGUMENT for no such handle
 *   UnlhaFindFirst(handle, wildName, info)
 *                          starts a search for members matching wildName (a
 *                          pattern as above; NULL, "", "*" and "*.*" match
 *                          every member) and makes the first match the
 *                          current member: 0 when found, -1 when none
 *                          matches, UNLHA_ERROR_ARGUMENT for a bad handle.
 *                          When `info` is not NULL it points to an
 *                          UnlhaMemberInfo that is filled in.
 *   UnlhaFindNext(handle, info)  the next match: 0, -1 at the end (there is
 *                          then no current member), or UNLHA_ERROR_ARGUMENT
 *   Archive getters (handle): UnlhaGetArcFileName(handle, buffer, size) the
 *                          name given to OpenArchive; GetArcFileSize the
 *                          file's size; GetArcOriginalSize /
 *                          GetArcCompressedSize the totals over every
 *                          member; GetArcRatio their ratio in per mille;
 *                          GetArcDate / GetArcTime the file's modification
 *                          time as MS-DOS date and time words (local time);
 *                          GetArcOSType the first member's UNLHA_OS_* type.
 *   Member getters (handle; the current member of the search, -1 or
 *                          UNLHA_ERROR_ARGUMENT without one):
 *                          UnlhaGetFileName / UnlhaGetMethod(handle, buffer,
 *                          size) copy the stored path ("/" between folders)
 *                          or the 5-byte method id: 0, or UNLHA_ERROR_BUFFER
 *                          when cut to fit (always NUL-terminated);
 *                          GetOriginalSize, GetCompressedSize; GetRatio (per
 *                          mille, 0 for an empty member); GetDate / GetTime
 *                          (MS-DOS words, local time); GetWriteTime (Unix
 *                          time); GetAccessTime / GetCreateTime (Unix time
 *                          from Windows time stamps, -1 when the header has
 *                          none); GetCRC (the CRC-16); GetAttribute (MS-DOS
 *                          attribute bits: 0x01 read-only, 0x02 hidden, 0x04
 *                          system, 0x10 folder, 0x20 archive); GetOSType
 *                          (UNLHA_OS_*).
 *                          Sizes of 2 GiB and more come as the bit pattern of
 *                          an unsigned 32-bit value (read the int as
 *                          uint32_t); 4 GiB and more as 0xFFFFFFFF.
 *   UnlhaQueryFunctionList 1 when the entry at position `function` in the
 *                          list below (1 = UnlhaGetVersion ... 41 =
 *                          UnlhaClearOwnerWindow) does its work in this
 *                          version, else 0 (only UnlhaConfigDialog, 12)
 *   UnlhaSetOwnerWindow / UnlhaClearOwnerWindow  keep or clear the owner; 1
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define UNLHA32_API __attribute__((visibility("default")))

/* Result codes of Unlha and the other entries. */
enum {
  UNLHA_OK = 0,
  UNLHA_ERROR_NOT_SUPPORTED = 0x8001, /* the entry or command is not available */
  UNLHA_ERROR_COMMAND = 0x8002,       /* malformed command text or unknown switch */
  UNLHA_ERROR_NO_MATCH = 0x8003,      /* no file matches the source */
  UNLHA_ERROR_READ = 0x8004,          /* a matched file cannot be read */
  UNLHA_ERROR_NAME = 0x8005,          /* a name cannot be held in CP932 */
  UNLHA_ERROR_WRITE = 0x8006,         /* the archive cannot be written */
  UNLHA_ERROR_BAD_ARCHIVE = 0x8007,   /* the existing archive is not a valid LZH archive */
  UNLHA_ERROR_TOO_LARGE = 0x8008,     /* a member of 4 GiB or more */
  UNLHA_ERROR_VERIFY = 0x8009,        /* the written archive did not decode to its sources */
  UNLHA_ERROR_BUSY = 0x800A,          /* another command is running */
  UNLHA_ERROR_ARGUMENT = 0x800B,      /* a null pointer or an invalid handle */
  UNLHA_ERROR_CRC = 0x800C,           /* a member's data is damaged (CRC or length differs) */
  UNLHA_ERROR_UNSAFE_PATH = 0x800D,   /* extraction refused: link or file in the way, NUL in a name */
  UNLHA_ERROR_EXISTS = 0x800E,        /* extraction kept an existing file (no -o) */
  UNLHA_ERROR_BUFFER = 0x800F,        /* the caller's buffer is too small */
  UNLHA_ERROR_CANCELLED = 0x8010      /* the user stopped the command in its progress window */
};

/* UnlhaCheckArchive modes. */
enum { UNLHA_CHECK_HEADERS = 0, UNLHA_CHECK_BASIC = 1, UNLHA_CHECK_FULL = 2 };

/* Operating system types of UnlhaGetOSType and UnlhaGetArcOSType, from the
 * OS id in a member header. */
enum {
  UNLHA_OS_MSDOS = 0, UNLHA_OS_UNIX = 2, UNLHA_OS_MACOS = 4, UNLHA_OS_OS2 = 5,
  UNLHA_OS_GENERIC = 10, /* no OS id, or one not listed here */
  UNLHA_OS_OS9 = 11, UNLHA_OS_OS68K = 12, UNLHA_OS_OS386 = 13, UNLHA_OS_HUMAN = 14,
  UNLHA_OS_CPM = 15, UNLHA_OS_FLEX = 16, UNLHA_OS_WINDOWS = 18, UNLHA_OS_JAVA = 19
};

/* What UnlhaFindFirst and UnlhaFindNext write through their `info` pointer. */
#define UNLHA_NAME_MAX 512
typedef struct UnlhaMemberInfo {
  uint32_t originalSize;   /* as the size getters (0xFFFFFFFF for 4 GiB and more) */
  uint32_t compressedSize;
  uint32_t crc;            /* CRC-16 of the original data */
  uint32_t flag;           /* 0 */
  uint32_t osType;         /* UNLHA_OS_* */
  uint16_t ratio;          /* packed per mille of original; 0 for an empty member */
  uint16_t date;           /* MS-DOS date of the modification time (local time) */
  uint16_t time;           /* MS-DOS time */
  char fileName[UNLHA_NAME_MAX + 1]; /* stored path, CP932, "/" between folders; cut at a
                                        character boundary when longer (UnlhaGetFileName
                                        gives it whole) */
  char reserved[3];
  char attribute[8];       /* "drhsa" with "-" for each bit not set, e.g. "----a" */
  char method[8];          /* "-lh5-" */
} UnlhaMemberInfo;

/* The entries, in the order of their positions (UnlhaQueryFunctionList).
 * unlha32_entries.h lists the same names in the same order for code that
 * walks them all. */
#include "unlha32/include/unlha32_entries.h"

UNLHA32_API int UnlhaGetVersion(void);
UNLHA32_API int UnlhaGetSubVersion(void);
UNLHA32_API int UnlhaGetRunning(void);
UNLHA32_API int UnlhaGetBackGroundMode(void);
UNLHA32_API int UnlhaSetBackGroundMode(int mode);
UNLHA32_API int UnlhaGetCursorMode(void);
UNLHA32_API int UnlhaSetCursorMode(int mode);
UNLHA32_API int UnlhaGetCursorInterval(void);
UNLHA32_API int UnlhaSetCursorInterval(int interval);
UNLHA32_API int Unlha(void* owner, const char* command, char* output, uint32_t size);
UNLHA32_API int UnlhaCheckArchive(const char* archive, int mode);
UNLHA32_API int UnlhaConfigDialog(void* owner, char* options, int mode);
UNLHA32_API int UnlhaGetFileCount(const char* archive);
UNLHA32_API int UnlhaOpenArchive(void* owner, const char* archive, uint32_t mode);
UNLHA32_API int UnlhaCloseArchive(int archive);
UNLHA32_API int UnlhaFindFirst(int archive, const char* wildName, void* info);
UNLHA32_API int UnlhaFindNext(int archive, void* info);
UNLHA32_API int UnlhaGetArcFileName(int archive, char* buffer, int size);
UNLHA32_API int UnlhaGetArcFileSize(int archive);
UNLHA32_API int UnlhaGetArcOriginalSize(int archive);
UNLHA32_API int UnlhaGetArcCompressedSize(int archive);
UNLHA32_API int UnlhaGetArcRatio(int archive);
UNLHA32_API int UnlhaGetArcDate(int archive);
UNLHA32_API int UnlhaGetArcTime(int archive);
UNLHA32_API int UnlhaGetArcOSType(int archive);
UNLHA32_API int UnlhaGetFileName(int archive, char* buffer, int size);
UNLHA32_API int UnlhaGetMethod(int archive, char* buffer, int size);
UNLHA32_API int UnlhaGetOriginalSize(int archive);
UNLHA32_API int UnlhaGetCompressedSize(int archive);
UNLHA32_API int UnlhaGetRatio(int archive);
UNLHA32_API int UnlhaGetDate(int archive);
UNLHA32_API int UnlhaGetTime(int archive);
UNLHA32_API int UnlhaGetWriteTime(int archive);
UNLHA32_API int UnlhaGetAccessTime(int archive);
UNLHA32_API int UnlhaGetCreateTime(int archive);
UNLHA32_API int UnlhaGetCRC(int archive);
UNLHA32_API int UnlhaGetAttribute(int archive);
UNLHA32_API int UnlhaGetOSType(int archive);
UNLHA32_API int UnlhaQueryFunctionList(int function);
UNLHA32_API int UnlhaSetOwnerWindow(void* window);
UNLHA32_API int UnlhaClearOwnerWindow(void);

#ifdef __cplusplus
}
#endif
