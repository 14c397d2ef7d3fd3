#include "platform/profile_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/replace_file.h"
#include "platform/sjis_text.h"
#include "platform/unique_fd.h"

// Only the byte-string flavour of SimpleIni is used: no conversion library.
// Debian's header keeps the template bodies behind SI_IMPLEMENTATION (its
// shared library carries the stock instantiations); our own comparison needs
// them compiled here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace vedo {

namespace {

// Orders names character by character, folding ASCII letters of single-byte
// characters to lower case. A double-byte character keeps both bytes as they
// are: folding its second byte (which may be "A".."Z") would make two
// different characters equal. Characters compare by a key that puts every
// single-byte character before every double-byte one; any fixed total order
// on characters gives a strict weak order on names, which is all the map needs.
struct Cp932NoCase {
  static unsigned characterKey(const unsigned char*& p) {
    unsigned char b = *p++;
    if (sjis::isLeadByte(b) && *p != 0 && sjis::isTrailByte(*p)) {
      return 0x10000u + (static_cast<unsigned>(b) << 8) + *p++;
    }
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
    return b;
  }
  bool operator()(const char* left, const char* right) const {
    auto l = reinterpret_cast<const unsigned char*>(left);
    auto r = reinterpret_cast<const unsigned char*>(right);
    while (*l != 0 && *r != 0) {
      const unsigned a = characterKey(l);
      const unsigned b = characterKey(r);
      if (a != b) return a < b;
    }
    return *l == 0 && *r != 0;
  }
};

using Ini = CSimpleIniTempl<char, Cp932NoCase, SI_ConvertA<char>>;

// SimpleIni attaches a comment to the section or key that follows it, so
// comment lines after the last entry of a file have nothing to hang on and a
// save would drop them. A section of this name, added after the file's text
// when it is loaded, holds them; its header line is taken out again when the
// file is written. The control bytes keep it from meeting a real section.
constexpr std::string_view kTailSection = "[\x01tail\x01]";
constexpr std::string_view kUtf8Signature = "\xEF\xBB\xBF";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links at `path` (also dangling ones), so that a save
// replaces the file a link names instead of the link itself. A loop of links
// stops after a fixed number of steps; the later open then fails with ELOOP.
std::string followLinks(std::string path) {
  for (int step = 0; step < 40; ++step) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(n));
    path = target.front() == '/' ? target : folderOf(path) + "/" + target;
  }
  return path;
}

// Creates `folder` and any missing parents (mode 0700, as a configuration
// folder should be). True when the folder exists afterwards.
bool makeFolders(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (errno != ENOENT) return false;
  const std::string parent = folderOf(folder);
  if (parent != folder && !makeFolders(parent)) return false;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return true;
}

// Replaces the file at `path` with `bytes` through replaceAtomically, keeping
// the old file's permissions. Every failure leaves the old file untouched.
bool replaceFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string target = followLinks(path);
  if (!makeFolders(folderOf(target))) return false;

  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    if (!S_ISREG(st.st_mode)) {
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    // A file without any write bit is read-only to the tool, for root too.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      errno = EACCES;
      return false;
    }
  }

  const fs::ReplaceResult result = fs::replaceAtomically(target, [&](int fd) {
    // If keeping the permissions fails the new file merely has the umask's
    // (0666 under it, as for a new file), which is no reason to refuse.
    if (exists) (void)::fchmod(fd, st.st_mode & 07777);
    return fs::writeAll(fd, bytes.data(), bytes.size());
  });
  // A failed sync of the folder after the rename leaves the new file in
  // place: the save happened.
  errno = result.error;
  return result.replaced;
}

// Reads the whole file at `path`. A missing file gives an empty text and true.
bool readWholeFile(const std::string& path, std::string& out) {
  out.clear();
  // O_NONBLOCK: a FIFO in the file's place must not hang the open.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return errno == ENOENT;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      out.clear();
      return false;
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

struct ProfileFile::Store {
  Ini ini;
  bool tailSectionAdded = false;  // load() appended the tail section's header
  Store() {
    ini.SetUnicode(false);   // CP932 bytes pass through
    ini.SetMultiKey(true);   // keep repeated keys, so a save writes them all back
    ini.SetMultiLine(false);
    ini.SetSpaces(false);    // "key=value", as the Windows service writes
    ini.SetQuotes(false);    // quotes are handled by readString
  }
};

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)), store_(std::make_unique<Store>()) {}

ProfileFile::~ProfileFile() = default;

bool ProfileFile::load() {
  store_ = std::make_unique<Store>();
  std::string bytes;
  if (!readWholeFile(path_, bytes)) return false;
  if (bytes.empty()) return true;
  // A file that already holds the marker text (in a value, say) gets no tail
  // section: its comments after the last key are lost on a save, but no line
  // of it can be mistaken for the header taken out again there.
  if (bytes.find(kTailSection) == std::string::npos) {
    bytes += '\n';
    bytes += kTailSection;
    bytes += '\n';
    store_->tailSectionAdded = true;
  }
  if (store_->ini.LoadData(bytes.data(), bytes.size()) < 0) {
    store_ = std::make_unique<Store>();
    errno = ENOMEM;
    return false;
  }
  return true;
}

std::optional<std::string> ProfileFile::readString(std::string_view section,
                                                   std::string_view key) const {
  const std::string s(section);
  const std::string k(key);
  // Among repeated keys the map finds the first in file order.
  const char* raw = store_->ini.GetValue(s.c_str(), k.c_str(), nullptr);
  if (raw == nullptr) return std::nullopt;

  std::string_view v(raw);
  while (!v.empty() && isBlank(v.front())) v.remove_prefix(1);
  while (!v.empty() && isBlank(v.back())) v.remove_suffix(1);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);

  std::size_t end = 0;
  while (end < v.size()) {
    const std::size_t len = sjis::charLength(v, end);
    if (end + len > kMaxValueBytes) break;
    end += len;
  }
  return std::string(v.substr(0, end));
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
  const std::string s(section);
  const std::string k(key);
  std::string v(value.substr(0, value.find_first_of("\r\n")));
  // Without multi-key mode SimpleIni replaces the value of the first entry of
  // the key in place (keeping its spelling and comment) instead of adding one.
  store_->ini.SetMultiKey(false);
  store_->ini.SetValue(s.c_str(), k.c_str(), v.c_str());
  store_->ini.SetMultiKey(true);
}

bool ProfileFile::save() {
  std::string text;
  if (store_->ini.Save(text) < 0) {
    errno = EIO;
    return false;
  }
  // The tail section was loaded last, so its header is the last line that
  // starts with it; nothing else in the text can be that line.
  const std::string tailHeader = std::string(kTailSection) + '\n';
  std::size_t tail = store_->tailSectionAdded ? text.rfind(tailHeader) : std::string::npos;
  if (tail != std::string::npos && tail != 0 && text[tail - 1] != '\n') tail = std::string::npos;
  if (tail != std::string::npos) {
    text.erase(tail, tailHeader.size());
    // Last in the file: no blank lines left dangling at its end.
    if (tail == text.size()) {
      while (text.size() >= 2 && text.ends_with("\n\n")) text.pop_back();
    }
  }
  // A key of the nameless leading section is written first. One that begins
  // with the bytes of the UTF-8 signature would, at the very start of the file,
  // be taken for the signature on the next load and dropped, and a line such as
  // "<signature>[Options]x=1" would then open a section it never opened. A
  // blank line first keeps it a key.
  if (text.starts_with(kUtf8Signature)) text.insert(0, 1, '\n');
  return replaceFileAtomically(path_, text);
}

std::string profileFilePath(std::string_view fileName) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (xdg != nullptr && xdg[0] == '/') {
    folder = xdg;
  } else {
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as the base
    // directory rules say.
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
      folder = home;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
      folder = pw->pw_dir;
    }
    folder += folder.empty() || folder.back() != '/' ? "/.config" : ".config";
  }
  if (folder.back() != '/') folder += '/';
  folder += fileName;
  return folder;
}

}  // namespace vedo
