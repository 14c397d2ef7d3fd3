#pragma once
/*
 * The library's entries, by name, in the order of their positions (the
 * numbers UnlhaQueryFunctionList takes, from 1) and of their declarations in
 * unlha32.h. For code that walks them all: UNLHA32_ENTRIES(X) expands to
 * X(name) once per entry. The export map (unlha32.map) is held equal to this
 * list by a test.
 */
#define UNLHA32_ENTRIES(X)                                                                        \
  X(UnlhaGetVersion) X(UnlhaGetSubVersion) X(UnlhaGetRunning) X(UnlhaGetBackGroundMode)              \
  X(UnlhaSetBackGroundMode) X(UnlhaGetCursorMode) X(UnlhaSetCursorMode) X(UnlhaGetCursorInterval)   \
  X(UnlhaSetCursorInterval) X(Unlha) X(UnlhaCheckArchive) X(UnlhaConfigDialog) X(UnlhaGetFileCount) \
  X(UnlhaOpenArchive) X(UnlhaCloseArchive) X(UnlhaFindFirst) X(UnlhaFindNext)                       \
  X(UnlhaGetArcFileName) X(UnlhaGetArcFileSize) X(UnlhaGetArcOriginalSize)                          \
  X(UnlhaGetArcCompressedSize) X(UnlhaGetArcRatio) X(UnlhaGetArcDate) X(UnlhaGetArcTime)            \
  X(UnlhaGetArcOSType) X(UnlhaGetFileName) X(UnlhaGetMethod) X(UnlhaGetOriginalSize)                \
  X(UnlhaGetCompressedSize) X(UnlhaGetRatio) X(UnlhaGetDate) X(UnlhaGetTime) X(UnlhaGetWriteTime)   \
  X(UnlhaGetAccessTime) X(UnlhaGetCreateTime) X(UnlhaGetCRC) X(UnlhaGetAttribute) X(UnlhaGetOSType) \
  X(UnlhaQueryFunctionList) X(UnlhaSetOwnerWindow) X(UnlhaClearOwnerWindow)
