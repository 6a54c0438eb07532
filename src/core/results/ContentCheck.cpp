#include "core/results/ContentCheck.h"

#include <xxhash.h>

#include <algorithm>
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

// The length of each folder's path, worked out once per folder: a group of
// thousands of files deep in an opened scan file would otherwise build paths
// of megabytes each only to have every open refuse them.
class TPathLengths {
 public:
  size_t Of(const TDirNode* d) {
    FChain.clear();
    size_t len = 0;
    for (const TDirNode* p = d;; p = p->Parent) {
      if (const size_t* known = FLengths.Find(p)) {
        len = *known;
        break;
      }
      if (p->IsRoot() || !p->Parent) {
        len = p->FullPath().size();
        FLengths.Set(p, len);
        break;
      }
      FChain.push_back(p);
    }
    for (size_t i = FChain.size(); i-- > 0;) {
      const TDirNode* c = FChain[i];
      const std::string parent = c->Parent->IsRoot() ? c->Parent->FullPath() : std::string();
      len += (!parent.empty() && parent.back() == platform::PathSeparator() ? 0 : 1) + c->Name().size();
      FLengths.Set(c, len);
    }
    return len;
  }

 private:
  TLeafMap<size_t, TDirNode> FLengths;
  std::vector<const TDirNode*> FChain;
};

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

  // Opens f's file, unless its path is longer than any file system takes.
  bool Open(platform::TInputFile& in, const TFileLeaf* f) {
    if (FLengths.Of(f->Parent()) + 1 + f->Name().size() > kLongestOpenPath) return false;
    return in.Open(f->FullPath(), true);
  }

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
  void Group(const TDupGroup& g, std::vector<TMemberVerdict>& verdicts) {
    const size_t n = g.Files.size();
    std::vector<TMember> m(n);
    std::vector<platform::TInputFile> open(n <= kKeepOpen ? n : 0);
    platform::TInputFile scratch;
    auto fileOf = [&](size_t i) -> platform::TInputFile& { return open.empty() ? scratch : open[i]; };

    for (size_t i = 0; i < n; ++i) {
      if (Cancelled()) return;
      platform::TInputFile& f = fileOf(i);
      if (Open(f, g.Files[i]) && f.Id(m[i].Id)) {
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
      const bool ready = !open.empty() || (Open(f, g.Files[i]) && f.Id(id) && id == m[i].Id && f.Seek(kStart));
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
  TPathLengths FLengths;
  uint32_t FLastTick = 0;
};

}  // namespace

TContentCheckResult CheckContents(const TDupGroups& groups, const TContentCheckOptions& options) {
  TContentCheckResult result;
  int64_t total = 0;
  result.Groups.resize(groups.size());
  for (size_t i = 0; i < groups.size(); ++i) {
    result.Groups[i].resize(groups[i]->Files.size());
    total += int64_t(groups[i]->Files.size());
  }
  TPass pass(options, total);
  for (size_t i = 0; i < groups.size(); ++i) {
    if (pass.Cancelled()) break;
    pass.Group(*groups[i], result.Groups[i]);
  }
  result.Cancelled = pass.Cancelled();
  result.BytesRead = pass.FProgress.BytesRead;
  pass.Report(true);
  return result;
}

std::vector<TFileLeaf*> SelectCopies(const TDupGroups& groups, const TContentCheckResult& result) {
  std::vector<TFileLeaf*> out;
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
      if (verdicts[i].Verdict == TContentVerdict::Identical && keep[verdicts[i].Content] != i) out.push_back(files[i]);
  }
  return out;
}

}  // namespace vd
