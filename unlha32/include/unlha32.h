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
