#include "core/results/ContentCheck.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "core/results/LeafMap.h"
#include "platform/Platform.h"

namespace vd {

namespace {

constexpr size_t kStart = 4096;
constexpr size_t kBlock = 256 << 10;
// Groups up to this size keep their files open between the two readings.
constexpr size_t kKeepOpen = 64;
// No file system opens a longer path (POSIX PATH_MAX; on Windows 32767 UTF-16
// units of at most three bytes each).
#ifdef _WIN32
constexpr size_t kLongestOpenPath = 3 * 32767;
#else
constexpr size_t kLongestOpenPath = 4096;
#endif

struct TDigest {
  XXH128_hash_t Hash{0, 0};
  int64_t Len = 0;
  bool operator<(const TDigest& o) const {
    return std::tie(Len, Hash.high64, Hash.low64) < std::tie(o.Len, o.Hash.high64, o.Hash.low64);
  }
  bool operator==(const TDigest& o) const { return Len == o.Len && XXH128_isEqual(Hash, o.Hash); }
};

struct TMember {
  platform::TFileId Id;
  TDigest Start, Rest;
  bool Readable = false, Whole = false, Same = false;
};

class TPass {
 public:
  TPass(const TContentCheckOptions& o, int64_t total)
      : FOpt(o), FBuf(new char[kBlock]), FState(XXH3_createState(), XXH3_freeState) {
    FProgress.FilesTotal = total;
    FLastTick = platform::GetTickCount();
  }

  bool Cancelled() const { return FOpt.Cancel && FOpt.Cancel->load() != 0; }

  void Report(bool force) {
    if (!FOpt.OnProgress) return;
    const uint32_t now = platform::GetTickCount();
    if (!force && uint32_t(now - FLastTick) < 100) return;
    FLastTick = now;
    FOpt.OnProgress(FProgress);
  }

  // Reads up to `want` bytes (all of it when want is 0) into the hash; false on
  // an error or cancellation.
  bool HashFrom(platform::TInputFile& f, size_t want, TDigest& out) {
    XXH3_128bits_reset(FState.get());
    int64_t len = 0;
    for (;;) {
      if (Cancelled()) return false;
      const size_t ask = want ? std::min(kBlock, want - size_t(len)) : kBlock;
      if (ask == 0) break;
      const int64_t got = f.Read(FBuf.get(), ask);
      if (got < 0) return false;
      if (got == 0) break;
      XXH3_128bits_update(FState.get(), FBuf.get(), size_t(got));
      len += got;
      FProgress.BytesRead += got;
      Report(false);
    }
    out.Hash = XXH3_128bits_digest(FState.get());
    out.Len = len;
    return true;
  }

  // One group: starts first, then the rest where starts agree.
  void Group(const std::vector<std::string>& paths, std::vector<TMemberVerdict>& verdicts) {
    const size_t n = paths.size();
    std::vector<TMember> m(n);
    std::vector<platform::TInputFile> open(n <= kKeepOpen ? n : 0);
    platform::TInputFile scratch;
    auto fileOf = [&](size_t i) -> platform::TInputFile& { return open.empty() ? scratch : open[i]; };

    for (size_t i = 0; i < n; ++i) {
      if (Cancelled()) return;
      platform::TInputFile& f = fileOf(i);
      if (f.Open(paths[i], true) && f.Id(m[i].Id)) {
        for (size_t j = 0; j < i; ++j)
          if (m[j].Readable && m[j].Id == m[i].Id) m[i].Same = true;
        if (!m[i].Same && HashFrom(f, kStart, m[i].Start)) {
          m[i].Readable = true;
          m[i].Whole = m[i].Start.Len < int64_t(kStart);
        }
      }
      if (Cancelled()) return;
      if (!m[i].Readable || m[i].Whole) f.Close();
      ++FProgress.FilesDone;
      Report(false);
    }

    // The rest of each file whose full start another file shares.
    std::map<TDigest, int> starts;
    for (size_t i = 0; i < n; ++i)
      if (m[i].Readable && !m[i].Whole) ++starts[m[i].Start];
    for (size_t i = 0; i < n; ++i) {
      if (!m[i].Readable || m[i].Whole || starts[m[i].Start] < 2) {
        if (!open.empty()) open[i].Close();
        continue;
      }
      platform::TInputFile& f = fileOf(i);
      platform::TFileId id;
      // Reopened, it must still be the file whose start was read.
      const bool ready = !open.empty() || (f.Open(paths[i], true) && f.Id(id) && id == m[i].Id && f.Seek(kStart));
      if (!ready || !HashFrom(f, 0, m[i].Rest)) {
        if (Cancelled()) return;
        m[i].Readable = false;
      }
      f.Close();
    }

    // Verdicts, all at once, so a group cut short stays unchecked: equal
    // (start, rest) among different files.
    for (size_t i = 0; i < n; ++i)
      verdicts[i].Verdict = m[i].Same ? TContentVerdict::SameFile : TContentVerdict::Unreadable;
    std::map<std::pair<TDigest, TDigest>, std::vector<size_t>> contents;
    for (size_t i = 0; i < n; ++i)
      if (m[i].Readable) contents[{m[i].Start, m[i].Rest}].push_back(i);
    uint32_t next = 0;
    for (const auto& [key, members] : contents) {
      const uint32_t id = next++;
      for (size_t i : members) {
        verdicts[i].Verdict = members.size() > 1 ? TContentVerdict::Identical : TContentVerdict::Unique;
        verdicts[i].Content = id;
      }
    }
  }

  TContentProgress FProgress;

 private:
  const TContentCheckOptions& FOpt;
  std::unique_ptr<char[]> FBuf;
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> FState;
  uint32_t FLastTick = 0;
};

// One pass over `count` groups: sizeOf(i) members in group i, whose paths
// pathsOf(i, scratch) returns (in scratch, or elsewhere).
template <class TSizeOf, class TPathsOf>
TContentCheckResult RunPass(size_t count, const TSizeOf& sizeOf, const TPathsOf& pathsOf,
                            const TContentCheckOptions& options) {
  TContentCheckResult result;
  int64_t total = 0;
  result.Groups.resize(count);
  std::vector<std::string> paths;
  for (size_t i = 0; i < count; ++i) {
    result.Groups[i].resize(sizeOf(i));
    total += int64_t(sizeOf(i));
  }
  TPass pass(options, total);
  for (size_t i = 0; i < count; ++i) {
    if (pass.Cancelled()) break;
    pass.Group(pathsOf(i, paths), result.Groups[i]);
  }
  result.Cancelled = pass.Cancelled();
  result.BytesRead = pass.FProgress.BytesRead;
  pass.Report(true);
  return result;
}

}  // namespace

size_t TOpenablePaths::FolderLength(const TDirNode* d) {
  FChain.clear();
  size_t len = 0;
  for (const TDirNode* p = d;; p = p->Parent) {
    if (const size_t* known = FLengths->Find(p)) {
      len = *known;
      break;
    }
    if (p->IsRoot() || !p->Parent) {
      len = p->FullPath().size();
      FLengths->Set(p, len);
      break;
    }
    FChain.push_back(p);
  }
  for (size_t i = FChain.size(); i-- > 0;) {
    const TDirNode* c = FChain[i];
    const std::string parent = c->Parent->IsRoot() ? c->Parent->FullPath() : std::string();
    len += (!parent.empty() && parent.back() == platform::PathSeparator() ? 0 : 1) + c->Name().size();
    FLengths->Set(c, len);
  }
  return len;
}

TOpenablePaths::TOpenablePaths() : FLengths(std::make_unique<TLeafMap<size_t, TDirNode>>()) {}
TOpenablePaths::~TOpenablePaths() = default;

std::string TOpenablePaths::Of(const TFileLeaf* f) {
  if (FolderLength(f->Parent()) + 1 + f->Name().size() > kLongestOpenPath) return {};
  return f->FullPath();
}

TContentCheckResult CheckContents(const TDupGroups& groups, const TContentCheckOptions& options) {
  TOpenablePaths openable;
  return RunPass(
      groups.size(), [&](size_t i) { return groups[i]->Files.size(); },
      [&](size_t i, std::vector<std::string>& out) -> const std::vector<std::string>& {
        out.clear();
        for (const TFileLeaf* f : groups[i]->Files) out.push_back(openable.Of(f));
        return out;
      },
      options);
}

TContentCheckResult CheckContents(const std::vector<std::vector<std::string>>& groups,
                                  const TContentCheckOptions& options) {
  return RunPass(
      groups.size(), [&](size_t i) { return groups[i].size(); },
      [&](size_t i, std::vector<std::string>&) -> const std::vector<std::string>& { return groups[i]; }, options);
}

void TakeOutMember(std::vector<TMemberVerdict>& group, size_t i) {
  if (i >= group.size() || group[i].Verdict == TContentVerdict::Removed) return;
  const bool held = group[i].Verdict == TContentVerdict::Identical;
  const uint32_t content = group[i].Content;
  group[i] = {TContentVerdict::Removed, 0};
  if (!held) return;
  size_t left = 0, last = 0;
  for (size_t j = 0; j < group.size(); ++j)
    if (group[j].Verdict == TContentVerdict::Identical && group[j].Content == content) ++left, last = j;
  if (left == 1) group[last].Verdict = TContentVerdict::Unique;
}

std::vector<TCopyOf> SelectCopies(const TDupGroups& groups, const TContentCheckResult& result) {
  std::vector<TCopyOf> out;
  const size_t ng = std::min(groups.size(), result.Groups.size());
  for (size_t gi = 0; gi < ng; ++gi) {
    if (groups[gi]->Files.empty() || groups[gi]->Files[0]->ApparentSize() == 0) continue;
    const auto& files = groups[gi]->Files;
    const auto& verdicts = result.Groups[gi];
    if (verdicts.size() != files.size()) continue;  // not this group's verdicts: select nothing
    // The member to keep of each content: oldest, then smallest path.
    std::map<uint32_t, size_t> keep;
    auto older = [&](size_t a, size_t b) {
      const TFileTime ta = files[a]->ModifiedFT, tb = files[b]->ModifiedFT;
      if (ta.IsZero() != tb.IsZero()) return tb.IsZero();
      if (ta.Ticks() != tb.Ticks()) return ta.Ticks() < tb.Ticks();
      return files[a]->FullPath() < files[b]->FullPath();
    };
    for (size_t i = 0; i < files.size(); ++i) {
      if (verdicts[i].Verdict != TContentVerdict::Identical) continue;
      auto [it, fresh] = keep.try_emplace(verdicts[i].Content, i);
      if (!fresh && older(i, it->second)) it->second = i;
    }
    for (size_t i = 0; i < files.size(); ++i)
      if (verdicts[i].Verdict == TContentVerdict::Identical && keep[verdicts[i].Content] != i)
        out.push_back({files[i], files[keep[verdicts[i].Content]]});
  }
  return out;
}

namespace {

// Up to `n` bytes, fewer only at the end; -1 on an error.
int64_t ReadFull(platform::TInputFile& f, char* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    const int64_t r = f.Read(buf + got, n - got);
    if (r < 0) return -1;
    if (r == 0) break;
    got += size_t(r);
  }
  return int64_t(got);
}

// Why `path` would not open as a regular file: gone (nothing there, or no
// longer a file), or there but unreadable.
bool Gone(const std::string& path) { return !platform::PathExists(path) || platform::DirectoryExists(path); }

}  // namespace

TRecheck CompareFileBytes(const std::string& copy, const std::string& kept, const TRecheckOptions& options) {
  auto stopped = [&] { return options.Cancel && options.Cancel->load() != 0; };
  platform::TInputFile k, c;
  if (!k.Open(kept, true)) return Gone(kept) ? TRecheck::KeptGone : TRecheck::Unreadable;
  if (!c.Open(copy, true)) return Gone(copy) ? TRecheck::CopyGone : TRecheck::Unreadable;
  platform::TFileId ki, ci;
  if (!k.Id(ki) || !c.Id(ci)) return TRecheck::Unreadable;
  if (ki == ci) return TRecheck::SameFile;
  const std::unique_ptr<char[]> kb(new char[kBlock]), cb(new char[kBlock]);
  int64_t done = 0;
  for (;;) {
    if (stopped()) return TRecheck::Stopped;
    const int64_t kn = ReadFull(k, kb.get(), kBlock);
    if (stopped()) return TRecheck::Stopped;
    const int64_t cn = ReadFull(c, cb.get(), kBlock);
    if (kn < 0 || cn < 0) return stopped() ? TRecheck::Stopped : TRecheck::Unreadable;
    if (kn != cn || std::memcmp(kb.get(), cb.get(), size_t(kn)) != 0) return TRecheck::Differs;
    if (kn == 0) return TRecheck::Same;
    done += cn;
    if (options.OnProgress) options.OnProgress(done);
  }
}

}  // namespace vd
