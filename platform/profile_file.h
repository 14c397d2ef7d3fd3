#pragma once
// A private-profile (INI) file that behaves like the Windows service of that
// name, for the settings file:
//
// - The contents are CP932 bytes and pass through unchanged.
// - Section and key names match without regard to ASCII case; a double-byte
//   character is compared as it stands, so its second byte is never folded.
// - A read value loses blanks at both ends and then one pair of enclosing
//   double quotes (which is how a value keeps blanks of its own), and is cut to
//   at most 1,023 bytes, never inside a double-byte character.
// - When a key occurs twice in a section, the first one counts; a write
//   changes that first one.
// - A save keeps the other sections, keys and comments of the file. It writes
//   a temporary file beside the target, flushes it to disk and renames it into
//   place, so a refused or interrupted save leaves the old file as it was.
//
// Lines that are neither a section, a key with "=", nor a comment are not
// kept by a save, nor anything after a NUL byte; a UTF-8 byte-order mark at
// the start is read past and not written back. Lines end in "\n" after a save.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vedo {

class ProfileFile {
 public:
  // Values longer than this many bytes are cut when read.
  static constexpr std::size_t kMaxValueBytes = 1023;

  // `path` is a path in the system's encoding (UTF-8), not CP932. Nothing is
  // read until load().
  explicit ProfileFile(std::string path);
  ~ProfileFile();
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  const std::string& path() const { return path_; }

  // Reads the file. A missing file reads as empty and is a success. Returns
  // false, and reads as empty, when something exists at the path that cannot
  // be read as a file (a folder, no permission, an I/O error); errno tells why.
  bool load();

  // The value of `key` in `section`, as described above; nullopt when the
  // section or the key is missing.
  std::optional<std::string> readString(std::string_view section, std::string_view key) const;

  // Sets the value in memory; save() writes it. The value is stored verbatim
  // up to its first line break: a line break would split the line and could
  // plant keys of its own, so it and everything after it are left out.
  void writeString(std::string_view section, std::string_view key, std::string_view value);

  // Writes the file atomically, creating its folder (and missing parents) when
  // needed. A symbolic link at the path is followed, and the file it names is
  // replaced. Returns false, with errno set and the file on disk unchanged,
  // when the save is refused: a folder or other non-file in the file's place,
  // a file whose mode has no write bit (a mode test, as the read-only
  // attribute is), or any failure of the system while writing.
  bool save();

 private:
  struct Store;
  std::string path_;
  std::unique_ptr<Store> store_;
};

// Where a profile file of this name lives: $XDG_CONFIG_HOME/<name> when that
// variable holds an absolute path, else $HOME/.config/<name> (the home folder
// from the user database when HOME is unset). A system path (UTF-8).
std::string profileFilePath(std::string_view fileName);

}  // namespace vedo
