#include "engine/compress_entry.h"

#include <unistd.h>

#include "archiver/archiver_binding.h"
#include "platform/cp932.h"
#include "platform/file_system.h"
#include "platform/full_path.h"
#include "platform/sjis_text.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/app_state.h"
#include "engine/interaction_port.h"
#include "engine/job_fields.h"
#include "engine/kept_aside_notice.h"
#include "engine/run_report.h"
#include "platform/guarded_removal.h"
#include "unlha32/codec/lzh_codec.h"

namespace vedo {

namespace {

// The archiver writes its report into a buffer of 65,535 bytes and is told
// 65,534 of them, so the last byte stays ours and the text always ends.
constexpr std::size_t OutputBufferBytes = 65535;
constexpr std::uint32_t OutputSizeGiven = 0xFFFE;

// A notice text is cut to this many bytes (at a character boundary).
constexpr std::size_t NoticeTextLimit = 255;

struct Texts {
  std::string noSource = cp932::fixed("対象ファイルを指定してください");
  std::string wildcardArchive = cp932::fixed("圧縮ファイル名に\rワイルドカードは使えません");
  std::string cannotDelete = cp932::fixed("削除できません ");
  std::string badSourceText = cp932::fixed("対象ファイル名に\r使用できない文字が含まれています");
  std::string badArchiveText = cp932::fixed("圧縮ファイル名に\r使用できない文字が含まれています");
  std::string archiverFailed = cp932::fixed("圧縮処理に失敗しました");
  std::string notFound = cp932::fixed("対象ファイルが見つかりません");
  std::string skipped = cp932::fixed("スキップしました");
  std::string aborted = cp932::fixed("中断しました");
};

const Texts& texts() {
  static const Texts t;
  return t;
}

// True when the text is CP932 that converts to UTF-8 and back unchanged. Any
// other text would reach the file system as a different name (or not at all),
// so the archiver and the delete pass could act on files the user never named.
bool holdsInCp932(const std::string& text) { return cp932::toUtf8(text).has_value(); }

// The first bytes of `text`, at most `limit`, never splitting a double-byte
// character (a half character would make the notice text invalid CP932).
std::string cutToBytes(const std::string& text, std::size_t limit) {
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + sjis::charLength(text, end);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end);
}

// a[ -n] <option> "<archive>"  "<source>"
std::string buildCommand(const AppState& state, const std::string& source, const std::string& archive) {
  std::string command = "a ";
  if (!state.UnlhaDialogs || !state.JobDialogs) command += "-n ";
  command += state.UnlhaOption;
  command += " \"" + archive + "\"  \"" + source + "\"";
  return command;
}

bool asksBeforeCompress(const AppState& state) {
  return (state.StartAnswer == StartAskEach && state.EntryCommand == EntryPlain) ||
         state.EntryCommand == EntryBC || state.EntryCommand == EntryBD;
}

bool asksBeforeDelete(const AppState& state) {
  return (state.StartAnswer == StartAskEach && state.EntryCommand == EntryPlain) ||
         state.EntryCommand == EntryDC || state.EntryCommand == EntryBD;
}

// The archiver's report, when it is readable text worth showing.
std::string archiverMessage(const std::vector<char>& buffer) {
  const std::string raw(buffer.data());  // the last byte is never given to the archiver
  const std::string message = sjis::trim(raw);
  return holdsInCp932(message) ? message : std::string();
}

// A member of the written archive, as the library reports it.
struct HeldMember {
  std::uint32_t size;  // the original size; 0xFFFFFFFF stands for that size or more
  std::uint16_t crc;   // CRC-16 of the original bytes
};
// Members of the written archive by stored name.
using HeldMembers = std::unordered_multimap<std::string, HeldMember>;

// Bounds the member walk, so that a library answering "found" forever cannot
// keep the delete pass busy; far more members than one job stores.
constexpr int MemberWalkLimit = 1 << 22;

// What the archive holds, read back through the library's own reading entries.
// nullopt when the binding does not hold them all (a stand-in library): the
// delete pass then relies on the archiver's result alone. An archive that
// cannot be opened holds nothing the delete pass may rely on.
std::optional<HeldMembers> membersHeld(EngineContext& ctx, const std::string& archive) {
  using unlha32::Entry;
  for (Entry entry : {Entry::UnlhaOpenArchive, Entry::UnlhaCloseArchive, Entry::UnlhaFindFirst,
                      Entry::UnlhaFindNext, Entry::UnlhaGetFileName, Entry::UnlhaGetOriginalSize,
                      Entry::UnlhaGetCRC}) {
    if (!unlha32::HoldsLibraryRoutine(ctx.archiver, entry)) return std::nullopt;
  }
  HeldMembers held;
  const int handle = ctx.archiver.UnlhaOpenArchive(nullptr, archive.c_str(), 0);
  if (handle <= 0) return held;
  std::vector<char> name(OutputBufferBytes, '\0');
  int walked = 0;
  for (int found = ctx.archiver.UnlhaFindFirst(handle, "*", nullptr); found == 0 && walked < MemberWalkLimit;
       found = ctx.archiver.UnlhaFindNext(handle, nullptr), ++walked) {
    // A name that does not fit whole is no name a match can have.
    if (ctx.archiver.UnlhaGetFileName(handle, name.data(), static_cast<int>(name.size())) != 0) continue;
    // Sizes come as the bit pattern of an unsigned value: -1 as an int is a
    // member of 4 GiB - 1 bytes (or more), not a missing size. A CRC outside
    // 16 bits is the library's error code: no current member.
    const auto size = static_cast<std::uint32_t>(ctx.archiver.UnlhaGetOriginalSize(handle));
    const int crc = ctx.archiver.UnlhaGetCRC(handle);
    if (crc < 0 || crc > 0xFFFF) continue;
    held.emplace(std::string(name.data()), HeldMember{size, static_cast<std::uint16_t>(crc)});
  }
  ctx.archiver.UnlhaCloseArchive(handle);
  return held;
}

// True when the member's reported size fits a file of `size` bytes.
bool sizeFits(const HeldMember& member, std::int64_t size) {
  if (size < 0) return false;
  const auto bytes = static_cast<std::uint64_t>(size);
  return member.size == 0xFFFFFFFFu ? bytes >= 0xFFFFFFFFu : bytes == member.size;
}

// CRC-16 of the whole file open at `fd`; nullopt when it cannot be read.
std::optional<std::uint16_t> crcOfFile(int fd) {
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint16_t crc = 0;
  for (off_t offset = 0;;) {
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return crc;
    crc = lzh::crc16(crc, std::span(buffer.data(), static_cast<std::size_t>(n)));
    offset += n;
  }
}

// The archiver stores a file of the pattern's own folder under its name
// alone, with or without -r, so the match's name part is the stored name.
// The file's bytes must be those of such a member, as the file is now.
fs::ContentCheck storedIn(const HeldMembers& held, const fs::FoundFile& match) {
  return [&held, &match](int fd) {
    const auto [first, last] = held.equal_range(match.name);
    std::optional<std::uint16_t> crc;
    for (auto it = first; it != last; ++it) {
      if (!sizeFits(it->second, match.identity.size)) continue;
      if (!crc) crc = crcOfFile(fd);
      if (crc && *crc == it->second.crc) return true;
    }
    return false;
  };
}

// Deletes the matches of `source` that the archiver was given: only those found
// before it ran, never the archive itself, never a folder, and each through a
// guarded removal that checks, at the moment it goes, that it is still the
// file found then and (where the library can list the archive) that its bytes
// are those of the member stored under its name.
// `archiveBefore` is the archive as it was before the archiver ran: the
// archiver writes a new file and renames it into place, so a hard link to the
// old archive is another file afterwards, yet it was never stored either.
// Returns the notice text of the first file that stayed, or an empty text.
std::string deleteSources(EngineContext& ctx, const std::string& source, const std::string& archive,
                          const std::vector<fs::FoundFile>& before,
                          const std::optional<fs::FileIdentity>& archiveBefore) {
  const std::string folder = sjis::folderPart(source);
  const std::optional<HeldMembers> held = membersHeld(ctx, archive);
  const std::optional<fs::FileIdentity> archiveId = fs::identityOf(archive);
  std::unordered_map<std::string, fs::FileIdentity> earlier;
  for (const fs::FoundFile& file : before) earlier.emplace(file.name, file.identity);

  std::string firstFailure;
  for (const fs::FoundFile& match : fs::findFiles(source, fs::AnyFile)) {
    const std::string path = folder + match.name;
    // The archive spelled as the match, or the same file under another spelling.
    if (path == archive) continue;
    if (archiveId && match.identity.sameFileAs(*archiveId)) continue;
    if (archiveBefore && match.identity.sameFileAs(*archiveBefore)) continue;
    if (match.attributes == fs::Directory) continue;
    // A file that appeared or changed while the archiver ran is not what it
    // stored: it stays.
    const auto seen = earlier.find(match.name);
    if (seen == earlier.end() || !(seen->second == match.identity)) continue;

    // A file the archive does not hold, or one that changed since it was
    // found, is never deleted; the user hears of it as of any file that could
    // not be deleted.
    const fs::RemovalResult removal =
        fs::removeGuarded(path, seen->second, held ? storedIn(*held, match) : fs::ContentCheck());
    if (removal.error == 0) continue;
    const std::string text = cutToBytes(texts().cannotDelete + "\"" + path + "\"", NoticeTextLimit);
    if (firstFailure.empty()) firstFailure = text;
    if (ReportsProblems(ctx.state)) {
      ctx.ui.playSound(Sound::Exclamation);
      ctx.ui.ShowNotice(NoticeKind::Warning, ButtonOk, text);
    }
    reportKeptAside(ctx.ui, removal);
  }
  return firstFailure;
}

}  // namespace

bool CompressEntry(EngineContext& ctx) {
  AppState& state = ctx.state;
  InteractionPort& ui = ctx.ui;
  // The fields cannot change while this runs (every dialog it opens is modal),
  // so one reading serves every step and the archiver, the labels and the
  // delete pass all see the same texts.
  const std::string source = ctx.fields.Source();
  const std::string archive = ctx.fields.Target();

  if (source.empty()) {
    ReportEntryFailure(ctx, texts().noSource);
    ui.playSound(Sound::Exclamation);
    ui.ShowNotice(NoticeKind::Error, ButtonAbort, texts().noSource);
    return false;
  }

  // Text that cannot name a file exactly is refused before anything runs.
  if (!holdsInCp932(source) || !holdsInCp932(archive)) {
    const std::string& text = holdsInCp932(source) ? texts().badArchiveText : texts().badSourceText;
    ReportEntryFailure(ctx, text);
    ui.playSound(Sound::Exclamation);
    ui.ShowNotice(NoticeKind::Error, ButtonOk, text);
    return false;
  }

  if (fs::findFiles(source, fs::AnyFile).empty()) {
    ReportEntryFailure(ctx, texts().notFound);
    if (state.BatchConfirm || ctx.fields.BatchFileName().empty()) {
      ui.showProgressRunningLabel();
      ui.setSourceNotFoundLabel(fullPath(source));
      ui.playSound(Sound::Asterisk);
      ui.showSourceNotFound();
    }
    return false;
  }

  if (sjis::containsChar(archive, '*') || sjis::containsChar(archive, '?')) {
    ReportEntryFailure(ctx, texts().wildcardArchive);
    ui.playSound(Sound::Exclamation);
    ui.ShowNotice(NoticeKind::Error, ButtonCancel, texts().wildcardArchive);
    return false;
  }

  const std::string command = buildCommand(state, source, archive);

  {
    const std::string fullSource = fullPath(source);
    const std::string fullArchive = fullPath(archive);
    ui.setProgressLabels(fullSource, fullArchive);
    ui.setConfirmLabels(fullSource, fullArchive);
    ui.setDeleteLabel(fullSource);
  }

  if (asksBeforeCompress(state)) {
    ui.playSound(Sound::Asterisk);
    ui.showConfirmCompress();
    if (state.EntryAnswer == AnswerSkip || state.EntryAnswer == AnswerAbort) {
      ReportEntryFailure(ctx, state.EntryAnswer == AnswerSkip ? texts().skipped : texts().aborted);
      return false;
    }
  }

  // What the archiver is about to read. The delete pass later removes only
  // these files, and only when they are still the same.
  const std::vector<fs::FoundFile> before = fs::findFiles(source, fs::AnyFile);
  const std::optional<fs::FileIdentity> archiveBefore = fs::identityOf(archive);

  std::vector<char> output(OutputBufferBytes, '\0');
  const int result = ctx.archiver.Unlha(nullptr, command.c_str(), output.data(), OutputSizeGiven);

  // A missing library has already told the user through its stub; a failed
  // command or a missing archive is reported here. Either way no source is
  // deleted and the job does not count as done.
  if (!unlha32::HoldsLibraryRoutine(ctx.archiver, unlha32::Entry::Unlha)) {
    ReportEntryFailure(ctx, texts().archiverFailed);
    return false;
  }
  if (result != 0 || !fs::fileExists(archive)) {
    std::string text = texts().archiverFailed;
    if (const std::string message = result != 0 ? archiverMessage(output) : std::string(); !message.empty()) {
      text = cutToBytes(text + "\r" + message, NoticeTextLimit);
    }
    ReportEntryFailure(ctx, text);
    if (ReportsProblems(state)) {
      ui.playSound(Sound::Exclamation);
      ui.ShowNotice(NoticeKind::Error, ButtonOk, text);
    }
    return false;
  }

  if (state.EntryCommand == EntryND) return false;

  // Only an answer given to this entry's own question counts: a "yes" left in
  // the cell by an earlier entry, or a question closed through its frame, never
  // deletes anything. The cell is cleared while the question is open so that a
  // frame close can be told from an answer; after a frame close it gets its
  // previous value back, as a dialog closed that way writes nothing.
  bool answeredDelete = false;
  if (asksBeforeDelete(state)) {
    const int previousAnswer = state.DeleteAnswer;
    state.DeleteAnswer = 0;
    ui.playSound(Sound::Question);
    ui.showDeleteQuestion();
    if (state.DeleteAnswer == 0) state.DeleteAnswer = previousAnswer;
    else if (state.DeleteAnswer == DeleteNo) return false;
    else answeredDelete = state.DeleteAnswer == DeleteYes;
  }

  if (ctx.fields.DeleteAfter() || answeredDelete || state.EntryCommand == EntryDL) {
    if (const std::string failure = deleteSources(ctx, source, archive, before, archiveBefore); !failure.empty())
      ReportEntryFailure(ctx, failure);
  }
  return true;
}

bool RunSingleJob(EngineContext& ctx) {
  beginRun(ctx.state);
  return CompressEntry(ctx);
}

}  // namespace vedo
