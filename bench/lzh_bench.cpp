// lzh_bench: our LZH writer beside gzip and jlha on a corpus every Debian
// build machine can make, in interleaved rounds (so that a busy neighbour on a
// shared machine slows every tool alike), with the median time of each.
//
//   lzh_bench [--rounds N] [--work DIR] [--unlha PATH] [--big 1] [--move-only 1]
//
// Corpus (deterministic):
//   include.tar  tar of the C and C++ headers and CMake's modules, names
//                sorted, times, owners and modes fixed
//   cmake        /usr/bin/cmake
//   gdb          /usr/bin/gdb, where installed
//   random.bin   8 MiB from a fixed-seed generator
// Also: random.bin alone, and a copy of /usr/include/c++/<version> as many
// members (-r) against tar piped into gzip -6.
//
// Decoding: `unlha t` and `bsdtar -xOf` on the archives unlha -m5 wrote.
// Verification: the writer checks each new member (decodes it and compares its
// CRC) on a worker thread while the next ones are written. Its cost in
// time is what is left of the check once the writing ends: the writer runs
// here in-process, timed to the progress report that says every member is
// written and to its return. Its cost in CPU: the same check of every member
// of the archive unlha -m5 wrote, run here in one thread, against the CPU time
// of `unlha a` without it.
//
// Move: the tool's compress entry (through the binding, with the library
// loaded as the tool loads it) on a copy of the four-file set, once as <ND>
// (no delete) and once as <DL> (each source removed through the guarded
// removal, which reads it again to check it against its member's CRC), the
// copies made just before, so the cache is warm. The guarded delete's cost is
// the difference between the two, as a share of the <DL> job's time (the
// median over the rounds).
// --move-only 1 runs this case alone.
//
// With --big 1, once after the rounds: a 2 GiB file (the corpus files repeated,
// made once in the work folder, so about 2 GiB of disk) stored with -m5, for
// the peak resident size of a streamed member.
//
// It prints sizes, size ratios, MB/s, CPU use and peak resident size per
// tool, then pass or fail for each target, and the load average before and
// after (the machine may be shared).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/compress_entry.h"
#include "engine/engine_context.h"
#include "engine/interaction_port.h"
#include "engine/job_fields.h"
#include "platform/cp932.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/member_writer.h"
#include "unlha32/archive/verify_member.h"
#include "unlha32/commands/add_command.h"

namespace fs = std::filesystem;

namespace {

struct Measure {
  double seconds = 0;
  double cpuSeconds = 0;  // user + system
  std::uint64_t size = 0;
  long maxRssKiB = 0;
  bool ok = true;
};

// Runs `command` under /bin/sh; wall time and the shell's (exec'd tool's) peak RSS.
Measure run(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Measure m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.maxRssKiB = usage.ru_maxrss;
  m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!m.ok) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return m;
}

std::uint64_t sizeOf(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

struct Tool {
  std::string name;
  // Command writing the compressed form of `inputs` to `out`.
  std::string (*command)(const std::string& unlha, const std::string& inputs, const fs::path& out);
  std::string extension;
};

std::string unlha5(const std::string& u, const std::string& in, const fs::path& out) {
  return "exec " + u + " a -n -m5 " + q(out) + " " + in + " >/dev/null";
}
std::string unlha7(const std::string& u, const std::string& in, const fs::path& out) {
  return "exec " + u + " a -n -m7 " + q(out) + " " + in + " >/dev/null";
}
std::string gzip6(const std::string&, const std::string& in, const fs::path& out) {
  return "exec gzip -6 -c " + in + " > " + q(out);
}
// The same two pinned to one core (the first), so the writer's worker threads
// share it: the coder's own speed, without the second core's help.
std::string unlha5OneCore(const std::string& u, const std::string& in, const fs::path& out) {
  return "exec taskset -c 0 " + u + " a -n -m5 " + q(out) + " " + in + " >/dev/null";
}
std::string gzip6OneCore(const std::string&, const std::string& in, const fs::path& out) {
  return "exec taskset -c 0 gzip -6 -c " + in + " > " + q(out);
}
std::string gzip9(const std::string&, const std::string& in, const fs::path& out) {
  return "exec gzip -9 -c " + in + " > " + q(out);
}
std::string jlha5(const std::string&, const std::string& in, const fs::path& out) {
  return "jlha c2o5 " + q(out) + " " + in + " >/dev/null 2>&1";
}
std::string jlha7(const std::string&, const std::string& in, const fs::path& out) {
  return "jlha c2o7 " + q(out) + " " + in + " >/dev/null 2>&1";
}

double medianOf(std::vector<double> t) {
  std::sort(t.begin(), t.end());
  return t.empty() ? 0 : t[t.size() / 2];
}

struct Result {
  std::uint64_t inputBytes = 0;
  std::uint64_t size = 0;
  std::vector<double> times;
  std::vector<double> cpuTimes;
  long maxRssKiB = 0;
  bool ok = true;
  double median() const { return medianOf(times); }
  double cpu() const { return medianOf(cpuTimes); }
  double mbps() const { return median() > 0 ? static_cast<double>(inputBytes) / 1e6 / median() : 0; }
  double ratio() const { return inputBytes ? 100.0 * static_cast<double>(size) / static_cast<double>(inputBytes) : 0; }
};

void makeCorpus(const fs::path& work) {
  const fs::path corpus = work / "corpus";
  if (fs::exists(work / "complete")) return;
  fs::create_directories(corpus);
  // Headers from the C library, the kernel headers and libstdc++, and CMake's
  // modules: text that every build machine carries.
  std::string members = "include/c++ include/linux include/asm-generic";
  for (const auto& e : fs::directory_iterator("/usr/include"))
    if (e.is_regular_file()) members += " include/" + e.path().filename().string();
  for (const auto& e : fs::directory_iterator("/usr/share"))
    if (e.path().filename().string().starts_with("cmake-")) members += " share/" + e.path().filename().string() + "/Modules";
  const std::string tar = "tar --sort=name --mtime=2020-01-01T00:00:00Z --owner=0 --group=0 --numeric-owner "
                          "--mode=go-w --format=gnu -cf " + q(corpus / "include.tar") + " -C /usr " + members;
  if (std::system(tar.c_str()) != 0) std::fprintf(stderr, "tar of the headers failed\n");
  for (const char* bin : {"/usr/bin/cmake", "/usr/bin/gdb"})
    if (fs::exists(bin)) fs::copy_file(bin, corpus / fs::path(bin).filename(), fs::copy_options::overwrite_existing);
  std::mt19937_64 rng(20261207);
  std::vector<std::uint64_t> random(8 << 20 >> 3);
  for (auto& v : random) v = rng();
  std::ofstream(corpus / "random.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(random.data()), static_cast<std::streamsize>(random.size() * 8));
  // Many members: a copy of libstdc++'s headers.
  fs::remove_all(work / "many");
  fs::create_directories(work / "many");
  for (const auto& e : fs::directory_iterator("/usr/include/c++")) {
    fs::copy(e.path(), work / "many" / e.path().filename(), fs::copy_options::recursive);
    break;
  }
  std::ofstream(work / "complete") << "corpus complete\n";
}

double threadCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU seconds of the writer's verification of every member of `archive`, or
// a negative value when it fails.
double verifySeconds(const fs::path& archive) {
  const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const double start = threadCpuSeconds();
  double seconds = -1;
  try {
    unlha::ArchiveReader reader(fd, sizeOf(archive));
    for (const unlha::MemberInfo& info : unlha::parseArchive(unlha::ArchiveReader::readAt, &reader, sizeOf(archive))) {
      unlha::WrittenMember m;
      m.stored = info.path;
      m.headerOffset = info.headerOffset;
      m.originalSize = static_cast<std::uint32_t>(info.originalSize);
      m.packedSize = static_cast<std::uint32_t>(info.packedSize);
      m.crc = info.crc;
      m.method = info.method == "-lh5-" ? lzh::Method::Lh5
                 : info.method == "-lh6-" ? lzh::Method::Lh6
                 : info.method == "-lh7-" ? lzh::Method::Lh7
                                          : lzh::Method::Lh0;
      unlha::verifyMember(reader, m);
    }
    seconds = threadCpuSeconds() - start;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "verification of %s failed: %s\n", archive.c_str(), e.what());
  }
  ::close(fd);
  return seconds;
}

// Times one in-process run of the writer (runAdd, as `unlha a -n -m5`): from
// the start to the moment its progress says every member is written, and from
// there to its return: the check of the new members that is left once the
// writing ends, with the sync and the rename (so the tail overstates the check
// a little). Negative times when the run fails.
struct WriteTiming final : unlha::ProgressReport {
  using Clock = std::chrono::steady_clock;
  Clock::time_point written{};
  bool seen = false;
  void member(std::string_view) override {}
  void fraction(double done) override {
    if (!seen && done >= unlha::kWriteShare) {
      written = Clock::now();
      seen = true;
    }
  }
};

std::pair<double, double> writeAndTailHere(const std::vector<fs::path>& inputs, const fs::path& archive) {
  fs::remove(archive);
  unlha::Command command;
  command.archive = archive.string();
  command.noProgress = true;
  for (const fs::path& p : inputs) command.sources.push_back(p.string());
  WriteTiming timing;
  const auto start = WriteTiming::Clock::now();
  try {
    if (unlha::runAdd(command, timing).code != 0 || !timing.seen) return {-1, -1};
  } catch (const std::exception& e) {
    std::fprintf(stderr, "in-process writer failed: %s\n", e.what());
    return {-1, -1};
  }
  const auto end = WriteTiming::Clock::now();
  return {std::chrono::duration<double>(timing.written - start).count(),
          std::chrono::duration<double>(end - timing.written).count()};
}

// writeAndTailHere() in a child process, so that this process stays small:
// the tools started later inherit its peak resident size in their figures.
std::pair<double, double> writeAndTail(const std::vector<fs::path>& inputs, const fs::path& archive) {
  int fds[2];
  if (::pipe(fds) != 0) return {-1, -1};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const auto times = writeAndTailHere(inputs, archive);
    const double both[2] = {times.first, times.second};
    const bool sent = ::write(fds[1], both, sizeof both) == static_cast<ssize_t>(sizeof both);
    ::_exit(sent ? 0 : 1);
  }
  ::close(fds[1]);
  double both[2] = {-1, -1};
  const bool got = pid > 0 && ::read(fds[0], both, sizeof both) == static_cast<ssize_t>(sizeof both);
  ::close(fds[0]);
  int status = 0;
  if (pid > 0) ::waitpid(pid, &status, 0);
  if (!got) return {-1, -1};
  return {both[0], both[1]};
}

// Answers nothing and shows nothing: the compress entry runs unattended.
class SilentPort final : public vedo::InteractionPort {
 public:
  void playSound(vedo::Sound) override {}
  vedo::NoticeButton ShowNotice(vedo::NoticeKind, unsigned, const std::string& text) override {
    std::fprintf(stderr, "notice: %s\n", text.c_str());
    return vedo::ButtonOk;
  }
  void setConfirmLabels(const std::string&, const std::string&) override {}
  void setSourceNotFoundLabel(const std::string&) override {}
  void setDeleteLabel(const std::string&) override {}
  void showStartQuestion() override {}
  void showConfirmCompress() override {}
  void showSourceNotFound() override {}
  void showDeleteQuestion() override {}
  void setProgressLabels(const std::string&, const std::string&) override {}
  void showProgressRunningLabel() override {}
  bool progressWindowVisible() const override { return false; }
  void hideProgressWindow() override {}
};

// Seconds of one compress entry with `command` (EntryND or EntryDL) on fresh
// copies of `parts` in `folder`, into `archive` (removed first); negative
// when the archive is missing afterwards or a <DL> source survived.
double moveJob(int command, const std::vector<fs::path>& parts, const fs::path& folder, const fs::path& archive) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const fs::path& part : parts) fs::copy_file(part, folder / part.filename());
  fs::remove(archive);
  vedo::AppState state;
  state.JobDialogs = false;  // -n: no progress window
  state.EntryCommand = command;
  vedo::PlainJobFields fields;
  fields.setSource(vedo::cp932::fromUtf8((folder / "*").string()).value());
  fields.setTarget(vedo::cp932::fromUtf8(archive.string()).value());
  SilentPort port;
  vedo::EngineContext ctx{state, fields, port, vedo::unlha32::Archiver()};
  const auto start = std::chrono::steady_clock::now();
  vedo::CompressEntry(ctx);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool emptied = fs::is_empty(folder);
  if (!fs::exists(archive) || (command == vedo::EntryDL) != emptied) return -1;
  return seconds;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// 2 GiB of the corpus files repeated, made once.
fs::path makeBig(const fs::path& work, const std::vector<fs::path>& parts) {
  const fs::path big = work / "big" / "big.bin";
  constexpr std::uint64_t kBigSize = std::uint64_t{2} << 30;
  if (sizeOf(big) == kBigSize) return big;
  fs::create_directories(big.parent_path());
  std::ofstream out(big, std::ios::binary | std::ios::trunc);
  std::vector<char> buf(1 << 20);
  std::uint64_t written = 0;
  while (written < kBigSize) {
    for (const fs::path& part : parts) {
      std::ifstream in(part, std::ios::binary);
      while (written < kBigSize && in) {
        in.read(buf.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(buf.size(), kBigSize - written)));
        out.write(buf.data(), in.gcount());
        written += static_cast<std::uint64_t>(in.gcount());
      }
    }
  }
  return big;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  bool big = false;
  bool moveOnly = false;
  fs::path work = fs::temp_directory_path() / "vedo-lzh-bench";
  std::string unlha = fs::absolute(fs::path(argv[0]).parent_path() / "unlha").string();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--work") work = argv[i + 1];
    if (a == "--unlha") unlha = fs::absolute(argv[i + 1]).string();
    if (a == "--big") big = std::atoi(argv[i + 1]) != 0;
    if (a == "--move-only") moveOnly = std::atoi(argv[i + 1]) != 0;
  }
  if (!fs::exists(unlha)) {
    std::fprintf(stderr, "unlha not found at %s (use --unlha)\n", unlha.c_str());
    return 2;
  }
  makeCorpus(work);
  const fs::path corpus = work / "corpus";
  const fs::path out = work / "out";
  fs::create_directories(out);

  const std::string loadBefore = loadAverage();
  std::string all;
  std::uint64_t allBytes = 0;
  std::vector<fs::path> parts;
  for (const char* f : {"include.tar", "cmake", "gdb", "random.bin"}) {
    if (!fs::exists(corpus / f)) continue;
    all += " " + q(corpus / f);
    allBytes += sizeOf(corpus / f);
    parts.push_back(corpus / f);
  }
  const std::string randomOnly = q(corpus / "random.bin");
  const std::uint64_t randomBytes = sizeOf(corpus / "random.bin");

  const std::vector<Tool> tools = {{"unlha -m5", unlha5, ".lzh"}, {"unlha -m7", unlha7, ".lzh"},
                                   {"gzip -6", gzip6, ".gz"},     {"gzip -9", gzip9, ".gz"},
                                   {"jlha lh5", jlha5, ".lzh"},   {"jlha lh7", jlha7, ".lzh"},
                                   {"1 core: unlha -m5", unlha5OneCore, ".lzh"},
                                   {"1 core: gzip -6", gzip6OneCore, ".gz"}};
  std::map<std::string, Result> set, rnd, many, decode;
  std::vector<double> writingTimes, tailTimes;  // the in-process writer on the set
  bool inProcessOk = true;
  std::uint64_t manyBytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(work / "many"))
    if (e.is_regular_file()) manyBytes += e.file_size();
  const fs::path manyDir = work / "many";

  auto once = [&](std::map<std::string, Result>& into, const std::string& key, const std::string& command,
                  const fs::path& target, std::uint64_t inputBytes) {
    fs::remove(target);
    const Measure m = run(command);
    Result& r = into[key];
    r.inputBytes = inputBytes;
    r.times.push_back(m.seconds);
    r.cpuTimes.push_back(m.cpuSeconds);
    r.size = sizeOf(target);
    r.maxRssKiB = std::max(r.maxRssKiB, m.maxRssKiB);
    r.ok = r.ok && m.ok;
  };

  for (int round = 0; !moveOnly && round < rounds; ++round) {
    std::fprintf(stderr, "round %d of %d\n", round + 1, rounds);
    for (std::size_t k = 0; k < tools.size(); ++k) {
      const Tool& t = tools[k];
      const fs::path target = out / ("set" + std::to_string(k) + t.extension);
      once(set, t.name, t.command(unlha, all, target), target, allBytes);
    }
    // Reading back what unlha -m5 wrote (the first tool).
    const fs::path set5 = out / "set0.lzh";
    const fs::path none = out / "none";
    {
      const double v = verifySeconds(set5);
      Result& r = decode["set: verification"];
      r.inputBytes = allBytes;
      r.ok = r.ok && v >= 0;
      r.times.push_back(v);
      r.cpuTimes.push_back(v);
    }
    {
      const auto [writing, tail] = writeAndTail(parts, out / "set-inprocess.lzh");
      inProcessOk = inProcessOk && writing >= 0;
      writingTimes.push_back(writing);
      tailTimes.push_back(tail);
    }
    once(decode, "set: unlha t", "exec " + unlha + " t -n " + q(set5) + " >/dev/null", none, allBytes);
    once(decode, "set: bsdtar -xOf", "exec bsdtar -xOf " + q(set5) + " >/dev/null", none, allBytes);
    for (const Tool& t : tools) {
      if (t.name != "unlha -m5" && t.name != "gzip -6") continue;
      const fs::path target = out / ("random" + t.extension);
      once(rnd, t.name, t.command(unlha, randomOnly, target), target, randomBytes);
    }
    {
      const fs::path lzh = out / "many.lzh";
      once(many, "unlha -m5 -r", "cd " + q(manyDir) + " && exec " + unlha + " a -n -m5 -r " + q(lzh) + " '*' >/dev/null",
           lzh, manyBytes);
      const fs::path jl = out / "many-jlha.lzh";
      once(many, "jlha lh5", "cd " + q(manyDir) + " && jlha c2o5 " + q(jl) + " $(find . -type f | sort) >/dev/null 2>&1",
           jl, manyBytes);
      const fs::path tgz = out / "many.tar.gz";
      once(many, "tar | gzip -6", "tar -C " + q(manyDir) + " -cf - . | gzip -6 > " + q(tgz), tgz, manyBytes);
      once(decode, "many: unlha t", "exec " + unlha + " t -n " + q(lzh) + " >/dev/null", out / "none", manyBytes);
      once(decode, "many: bsdtar -xOf", "exec bsdtar -xOf " + q(lzh) + " >/dev/null", out / "none", manyBytes);
    }
  }

  // Big file, once: peak resident size of a streamed member.
  Measure bigRun;
  std::uint64_t bigBytes = 0;
  if (big) {
    std::fprintf(stderr, "2 GiB file\n");
    const fs::path bigFile = makeBig(work, parts);
    bigBytes = sizeOf(bigFile);
    const fs::path lzh = out / "big.lzh";
    fs::remove(lzh);
    bigRun = run("exec " + unlha + " a -n -m5 " + q(lzh) + " " + q(bigFile) + " >/dev/null");
    bigRun.size = sizeOf(lzh);
    fs::remove(lzh);
  }

  // Move, after the other measurements (the binding loads the library into
  // this process).
  std::vector<double> keepTimes, moveTimes;
  vedo::unlha32::LoadArchiver((fs::path(unlha).parent_path() / "libunlha32.so").c_str());
  const bool moveLoaded = vedo::unlha32::ArchiverLoaded();
  for (int round = 0; moveLoaded && round < rounds; ++round) {
    keepTimes.push_back(moveJob(vedo::EntryND, parts, work / "move", out / "move.lzh"));
    moveTimes.push_back(moveJob(vedo::EntryDL, parts, work / "move", out / "move.lzh"));
  }
  vedo::unlha32::UnloadArchiver();
  auto moveVerdict = [&] {
    const bool ok = moveLoaded && std::none_of(keepTimes.begin(), keepTimes.end(), [](double t) { return t < 0; }) &&
                    std::none_of(moveTimes.begin(), moveTimes.end(), [](double t) { return t < 0; });
    // Each round's <ND> and <DL> jobs run back to back: the median of the
    // rounds' own shares is steadier on a shared machine than the share of
    // the medians.
    std::vector<double> shares;
    for (std::size_t i = 0; i < moveTimes.size(); ++i)
      shares.push_back((moveTimes[i] - keepTimes[i]) / std::max(1e-9, moveTimes[i]));
    const double keep = medianOf(keepTimes);
    const double move = medianOf(moveTimes);
    const double share = medianOf(shares);
    std::printf("6 guarded delete <= 15%% of a <DL> job's time (<ND> %.3f s, <DL> %.3f s: %.1f%%): %s\n", keep, move,
                100 * share, ok && share <= 0.15 ? "PASS" : "FAIL");
  };
  if (moveOnly) {
    moveVerdict();
    return 0;
  }

  // CPU is user + system time over wall time: 2.0 means both cores busy.
  auto table = [](const char* title, const std::map<std::string, Result>& results) {
    std::printf("\n%s\n%-18s %12s %8s %9s %6s %10s\n", title, "tool", "bytes", "ratio", "MB/s", "CPU", "peak RSS");
    for (const auto& [name, r] : results)
      std::printf("%-18s %12llu %7.2f%% %9.1f %6.2f %6ld MiB%s\n", name.c_str(),
                  static_cast<unsigned long long>(r.size), r.ratio(), r.mbps(),
                  r.median() > 0 ? r.cpu() / r.median() : 0, r.maxRssKiB / 1024, r.ok ? "" : "  (FAILED)");
  };
  std::printf("corpus: %.1f MB in 4 files; random.bin %.1f MB; many members %.1f MB; %d rounds, median times\n",
              static_cast<double>(allBytes) / 1e6, static_cast<double>(randomBytes) / 1e6,
              static_cast<double>(manyBytes) / 1e6, rounds);
  table("four-file set (one command)", set);
  table("random.bin alone", rnd);
  table("many members (libstdc++ headers)", many);
  std::printf("\ndecoding the archives unlha -m5 wrote (MB/s of original bytes)\n%-18s %9s %9s %10s\n", "tool",
              "MB/s", "CPU s", "peak RSS");
  for (const auto& [name, r] : decode)
    std::printf("%-18s %9.1f %9.3f %6ld MiB%s\n", name.c_str(), r.mbps(), r.cpu(), r.maxRssKiB / 1024,
                r.ok ? "" : "  (FAILED)");

  std::printf("%-18s %9.3f s writing, %.3f s after it (in-process writer, median)\n", "set: a -m5",
              medianOf(writingTimes), medianOf(tailTimes));

  auto verdict = [](bool pass) { return pass ? "PASS" : "FAIL"; };
  const Result& m5 = set["unlha -m5"];
  const Result& m7 = set["unlha -m7"];
  const Result& g6 = set["gzip -6"];
  const Result& g9 = set["gzip -9"];
  const Result& j5 = set["jlha lh5"];
  const Result& j7 = set["jlha lh7"];
  std::printf("\ntargets\n");
  const Result& m5one = set["1 core: unlha -m5"];
  const Result& g6one = set["1 core: gzip -6"];
  std::printf("1 -m5 on one core: size <= jlha lh5 (%.3f), speed >= 4x gzip -6 on the same core (%.2fx): %s\n",
              static_cast<double>(m5one.size) / static_cast<double>(j5.size), m5one.mbps() / g6one.mbps(),
              verdict(m5one.ok && g6one.ok && m5one.size <= j5.size && m5one.mbps() >= 4 * g6one.mbps()));
  std::printf("2 -m5 on both cores: size <= jlha lh5 (%.3f), speed >= 6x gzip -6 (%.2fx): %s\n",
              static_cast<double>(m5.size) / static_cast<double>(j5.size), m5.mbps() / g6.mbps(),
              verdict(m5.ok && m5.size <= j5.size && m5.mbps() >= 6 * g6.mbps()));
  std::printf("3 -m7 size <= 0.98 of jlha lh7 (%.3f) and <= gzip -9 (%.3f), speed >= gzip -6 (%.2fx): %s\n",
              static_cast<double>(m7.size) / static_cast<double>(j7.size),
              static_cast<double>(m7.size) / static_cast<double>(g9.size), m7.mbps() / g6.mbps(),
              verdict(m7.ok && static_cast<double>(m7.size) <= 0.98 * static_cast<double>(j7.size) &&
                      m7.size <= g9.size && m7.mbps() >= g6.mbps()));
  const Result& mu = many["unlha -m5 -r"];
  const Result& mj = many["jlha lh5"];
  const Result& mt = many["tar | gzip -6"];
  std::printf("4 many members: size <= jlha (%.3f), speed >= 3x tar|gzip -6 (%.2fx): %s\n",
              static_cast<double>(mu.size) / static_cast<double>(mj.size), mu.mbps() / mt.mbps(),
              verdict(mu.ok && mu.size <= mj.size && mu.mbps() >= 3 * mt.mbps()));
  std::printf("5a random data stored at >= 3x gzip -6 (%.2fx): %s\n", rnd["unlha -m5"].mbps() / rnd["gzip -6"].mbps(),
              verdict(rnd["unlha -m5"].ok && rnd["unlha -m5"].mbps() >= 3 * rnd["gzip -6"].mbps()));
  const Result& dv = decode["set: verification"];
  const Result& dt = decode["set: unlha t"];
  const Result& db = decode["set: bsdtar -xOf"];
  // The time the check adds: what is left of it once the last member is
  // written (the rest ran beside the writing), against the writing time. The
  // CPU share (the whole check in one thread against the writer's CPU time)
  // is printed beside it: what the check costs a machine with no idle core.
  const double writing = medianOf(writingTimes);
  const double tail = medianOf(tailTimes);
  const double wallShare = tail / std::max(1e-9, writing);
  const double cpuShare = dv.cpu() / std::max(1e-9, m5.cpu() - dv.cpu());
  std::printf("5b verification <= 15%% of compression time (%.3f s after %.3f s of writing: %.1f%%; "
              "CPU %.3f s of %.3f s: %.1f%%), unlha t >= bsdtar -xOf (%.2fx; many members %.2fx): %s\n",
              tail, writing, 100 * wallShare, dv.cpu(), m5.cpu() - dv.cpu(), 100 * cpuShare,
              dt.mbps() / db.mbps(), decode["many: unlha t"].mbps() / decode["many: bsdtar -xOf"].mbps(),
              verdict(inProcessOk && dv.ok && dt.ok && db.ok && wallShare <= 0.15 && dt.mbps() >= db.mbps()));
  if (big) {
    std::printf("5c peak RSS storing %.2f GiB: %ld MiB, %.1f MB/s, %.2f%% (under 64 MiB): %s\n",
                static_cast<double>(bigBytes) / (1 << 30), bigRun.maxRssKiB / 1024,
                static_cast<double>(bigBytes) / 1e6 / bigRun.seconds,
                100.0 * static_cast<double>(bigRun.size) / static_cast<double>(bigBytes),
                verdict(bigRun.ok && bigRun.maxRssKiB < 64 * 1024));
  } else {
    std::printf("5c peak RSS storing 2 GiB: not run (--big 1); peak RSS of unlha on this set: %ld MiB\n",
                std::max(m5.maxRssKiB, m7.maxRssKiB) / 1024);
  }
  moveVerdict();
  std::printf("load average before: %s; after: %s\n", loadBefore.c_str(), loadAverage().c_str());
  return 0;
}
