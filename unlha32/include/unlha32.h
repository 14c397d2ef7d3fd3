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
 * Commands of this version:
 *   a [switches] ARCHIVE SOURCE...   add files (creating the archive when absent)
 * Switches: -n (no progress display), -m0 / -m5 / -m6 / -m7 (method; -m5 is
 * the default, -m0 stores), -r (recurse into sub-folders, storing paths
 * relative to the pattern's folder; without it a matched folder is skipped).
 * Names may be quoted with double quotes; any other switch is an error. The
 * words l, t, e, x and d are recognised and answer UNLHA_ERROR_NOT_SUPPORTED.
 * A member of the same name is replaced in place; the other members are
 * copied unchanged. The archive is written to a temporary file in its folder,
 * every new member is decoded again and its CRC compared, and only then is
 * the file renamed over the archive: on any failure the old archive stays
 * byte for byte as it was. Data that does not shrink is stored (-lh0-).
 *
 * Entries:
 *   UnlhaGetVersion        100 (version 1.00 times 100)
 *   UnlhaGetSubVersion     0
 *   UnlhaGetRunning        nonzero while Unlha runs a command (any thread)
 *   Unlha                  as above; a second call while one runs answers
 *                          UNLHA_ERROR_BUSY
 *   Get/SetBackGroundMode, Get/SetCursorMode, Get/SetCursorInterval
 *                          keep the value set (modes as 0/1; an interval
 *                          below 0 is refused); setters return 1 on success,
 *                          0 when refused. Defaults: 0, 0, 80.
 *   UnlhaQueryFunctionList 1 when the entry at position `function` in the
 *                          list below (1 = UnlhaGetVersion ... 41 =
 *                          UnlhaClearOwnerWindow) does its work in this
 *                          version, else 0
 *   UnlhaSetOwnerWindow / UnlhaClearOwnerWindow  keep or clear the owner; 1
 *   UnlhaConfigDialog, UnlhaCheckArchive, UnlhaGetFileCount, the archive
 *   handle entries (Open, Close, FindFirst, FindNext) and every per-archive
 *   or per-member getter: not built yet; they answer UNLHA_ERROR_NOT_SUPPORTED.
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
  UNLHA_ERROR_ARGUMENT = 0x800B       /* a null pointer or an invalid handle */
};

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
