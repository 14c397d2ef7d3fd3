#include "engine/batch_io_error.h"

#include <cerrno>
#include <string>

#include "engine/handler_error.h"
#include "platform/cp932.h"

namespace vedo {
namespace {

// The tool's error codes and their texts. The codes are those of the
// runtime the tool's messages were first written for; users know the texts.
struct CodeText {
  int code;
  const char* utf8;
};
constexpr CodeText kTexts[] = {
    {2, "ﾌｧｲﾙが見つかりません"},
    {3, "不正なﾌｧｲﾙ名です"},
    {4, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"},
    {5, "ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
    {100, "ﾌｧｲﾙの末尾以降を読み込みました"},
    {101, "ﾃﾞｨｽｸがいっぱいです"},
    {106, "入力値が数値ではありません"},
};

// errno -> tool code. Any other errno is shown as "I/O ｴﾗｰ (n)" with the errno
// value itself as n, so the user (or a bug report) sees the system's own error.
// The errno is never taken for a tool code: EIO is 5 on Linux, yet it is no
// refused access.
//
//   ENOENT                                  2  the file vanished after the existence test
//   ENOTDIR ENAMETOOLONG ELOOP EINVAL EILSEQ 3  the name cannot name a file
//   EMFILE ENFILE                           4  out of file descriptors
//   EACCES EPERM EISDIR EROFS ETXTBSY       5  the system refuses the access
//   ENOSPC EDQUOT EFBIG                     101 no room (only a writer meets it)
//
// 100 (read past the end) and 106 (not a number) belong to reading typed
// values; a batch file is read as bytes, which never meets them, so no errno
// maps onto them. Their texts stay for completeness of the code table.
struct ErrnoCode {
  int err;
  int code;
};
constexpr ErrnoCode kErrnoCodes[] = {
    {ENOENT, 2},  {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {ELOOP, 3},   {EINVAL, 3},  {EILSEQ, 3},
    {EMFILE, 4},  {ENFILE, 4},  {EACCES, 5},       {EPERM, 5},   {EISDIR, 5},  {EROFS, 5},
    {ETXTBSY, 5}, {ENOSPC, 101}, {EDQUOT, 101},    {EFBIG, 101},
};

}  // namespace

int BatchIoErrorCode(int err) {
  for (const ErrnoCode& e : kErrnoCodes)
    if (e.err == err) return e.code;
  return 0;
}

std::string BatchIoErrorText(int err) {
  const int code = BatchIoErrorCode(err);
  for (const CodeText& t : kTexts) {
    if (t.code == code) return *cp932::fromUtf8(t.utf8) + ".";
  }
  // The katakana of "ｴﾗｰ" are single bytes in CP932.
  return "I/O " + *cp932::fromUtf8("ｴﾗｰ") + " (" + std::to_string(err) + ")";
}

void ThrowBatchIoError(int err) { throw HandlerError(BatchIoErrorText(err)); }

}  // namespace vedo
