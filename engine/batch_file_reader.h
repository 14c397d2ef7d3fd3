#pragma once
// Reads a batch file line by line as raw CP932 bytes.
//
// A line ends at a carriage return; a line feed directly after it belongs to
// that line end, while a line feed anywhere else is an ordinary byte of the
// line. A byte 0x1A ends the file. Lines of any length are read whole.
// Every error of the system (open, read, close) is thrown as a HandlerError
// with the text the event loop shows.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace vedo {

class BatchFileReader {
 public:
  // Opens the file (CP932 path; "\" is a separator).
  explicit BatchFileReader(std::string_view path);
  // Closes the file if still open, ignoring errors (only reached when the run
  // already ends with an error or an exception).
  ~BatchFileReader();
  BatchFileReader(const BatchFileReader&) = delete;
  BatchFileReader& operator=(const BatchFileReader&) = delete;

  // True when no further line exists: the bytes are used up or 0x1A is next.
  bool atEnd();
  // Reads the next line without its line end; an empty line at the end.
  std::string readLine();
  // Closes the file, throwing on an error of the system.
  void close();

 private:
  // Makes at least one unread byte available; false at the end of the bytes.
  bool fill();

  UniqueFd fd_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  bool eof_ = false;  // the system reported the end of the bytes, or 0x1A was met
};

}  // namespace vedo
