#pragma once
// Errors of the system on the batch file (open, read, close). They end the run
// at once: the runner throws a HandlerError whose text the event loop shows in
// its error box.

#include <string>

namespace vedo {

// The tool's error code (2, 3, 4, 5 or 101) for an errno value, or 0 when the
// errno has none (see the table in batch_io_error.cpp).
int BatchIoErrorCode(int err);

// The CP932 text shown for an errno value: the text of its tool code, such as
// "ﾌｧｲﾙが見つかりません.", or "I/O ｴﾗｰ (n)" with the errno value as n.
std::string BatchIoErrorText(int err);

// Throws HandlerError with the text for `err` (an errno value).
[[noreturn]] void ThrowBatchIoError(int err);

}  // namespace vedo
