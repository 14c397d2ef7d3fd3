#pragma once
// Reads a batch file line by line as CP932 text.
//
// CR LF, CR and LF each end a line (0x0A is never part of a CP932 character).
// A byte 0x1A ends the file. Lines of any length are read whole.
//
// A file that starts with a UTF-8 byte-order mark, or that is valid UTF-8
// holding at least one non-ASCII character, is UTF-8 (as Linux editors write
// it): each line is converted strictly to CP932. Any other file is CP932 as it
// stands. Every error of the system (open, read, close) is thrown as a
// HandlerError with the text the event loop shows.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace vedo {

struct BatchFileLine {
  std::string text;        // CP932; when !fitsCp932, the line's UTF-8 bytes
  bool fitsCp932 = true;   // false: a UTF-8 line holding a character CP932 cannot hold
};

class BatchFileReader {
 public:
  // Opens the file (CP932 path; "\" is a separator).
  explicit BatchFileReader(std::string_view path);
  // Closes the file if still open, ignoring errors (only reached when the run
  // already ends with an error or an exception).
  ~BatchFileReader();
  BatchFileReader(const BatchFileReader&) = delete;
  BatchFileReader& operator=(const BatchFileReader&) = delete;

  // True when no further line exists.
  bool atEnd();
  // Reads the next line without its line end; an empty line at the end.
  BatchFileLine readLine();
  // Closes the file, throwing on an error of the system.
  void close();

 private:
  // Reads the whole file on first use: whether it is UTF-8 depends on all of it.
  void load();

  UniqueFd fd_;
  bool loaded_ = false;
  bool utf8_ = false;
  std::string bytes_;  // up to the first 0x1A, without a byte-order mark
  std::size_t pos_ = 0;
};

}  // namespace vedo
