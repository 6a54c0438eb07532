#include "core/scan/DiskScanner.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <thread>

#include "core/scan/ScanFilter.h"
#include "core/scan/TreeWriter.h"
#include "platform/Platform.h"

namespace vd {

std::string TrimText(std::string_view s) {
  auto blank = [](unsigned char c) { return c <= ' ' || c == 0x7F; };
  while (!s.empty() && blank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

std::vector<std::string> SplitPatternMasks(const std::string& pattern) {
  std::vector<std::string> masks;
  size_t start = 0;
  for (;;) {
    const size_t semi = pattern.find(';', start);
    std::string piece = TrimText(std::string_view(pattern).substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (!piece.empty()) masks.push_back(std::move(piece));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return masks;
}

namespace {
constexpr int kMaxThreads = 256;
// Entries a worker counts before it adds them to the scanner's counters, under
// the progress lock; so the progress lags by at most this much per worker.
constexpr int64_t kPublishEvery = 256;
}  // namespace

// ---- The walk -------------------------------------------------------------------

// What one Scan() shares between its workers.
struct TDiskScanner::TWalk {
  // A folder that is being listed, or whose sub-folders are not all final yet.
  struct TFolder {
    TFolder(TDirNode* node, TFolder* parent) : Node(node), Parent(parent) {}
    TDirNode* Node;
    TFolder* Parent;
    platform::TDirReader Reader;          // kept open until every sub-folder is opened
    std::atomic<uint32_t> Unopened{0};    // sub-folders not yet opened
    std::atomic<uint32_t> Unfinished{0};  // sub-folders whose totals are not final
  };
  // A folder met in its parent's listing, waiting to be listed.
  struct TTask {
    TDirNode* Node;
    TFolder* Parent;  // null for the root
  };

  TWalk(TDiskScanner& s, std::string rootPath) : S(s), RootPath(std::move(rootPath)), Filter(s.FContext) {}

  bool Stopping() const { return Aborted.load(std::memory_order_relaxed) || S.Cancelled(); }

  void Push(const TTask* tasks, size_t n) {
    {
      std::lock_guard<std::mutex> lock(Lock);
      // Last first, so that the first sub-folder is taken next, as a walk by
      // one thread would enter it.
      for (size_t i = n; i-- > 0;) Tasks.push_back(tasks[i]);
    }
    if (n == 1)
      Wake.notify_one();
    else
      Wake.notify_all();
  }

  bool Take(TTask& t) {
    std::unique_lock<std::mutex> lock(Lock);
    Wake.wait(lock, [&] { return Done || !Tasks.empty(); });
    if (Done) return false;
    t = Tasks.back();
    Tasks.pop_back();
    return true;
  }

  void Finished() {
    {
      std::lock_guard<std::mutex> lock(Lock);
      Done = true;
    }
    Wake.notify_all();
  }

  void Fail(std::exception_ptr e) {
    {
      std::lock_guard<std::mutex> lock(Lock);
      if (!Error) Error = std::move(e);
    }
    Aborted.store(true);
  }

  TDiskScanner& S;
  const std::string RootPath;
  const TScanFilter Filter;
  std::atomic<bool> Aborted{false};
  std::mutex Lock;  // guards what follows
  std::condition_variable Wake;
  std::vector<TTask> Tasks;
  bool Done = false;
  std::exception_ptr Error;
};

// One worker thread's tools; nothing here is shared.
struct TDiskScanner::TWorker {
  using TFolder = TWalk::TFolder;
  using TTask = TWalk::TTask;

  TWorker(TWalk& walk) : W(walk), S(walk.S), Arena(*S.FStore) {}

  void Run() {
    try {
      TTask t;
      while (W.Take(t)) Process(t);
    } catch (...) {
      // Only the bookkeeping between folders gets here (out of memory): stop
      // everyone without waiting for the tree, which is thrown away anyway.
      W.Fail(std::current_exception());
      W.Finished();
    }
    Publish();
  }

  void Process(const TTask& t) {
    auto* f = new TFolder(t.Node, t.Parent);
    bool open = false;
    if (!W.Stopping()) {
      open = t.Parent ? f->Reader.OpenChild(t.Parent->Reader, t.Node->Name()) : f->Reader.OpenPath(W.RootPath);
      if (!t.Parent && open) t.Node->OwnAllocated = std::max<int64_t>(0, f->Reader.OwnAllocated());
      if (!open) t.Node->SetReadError(f->Reader.Error());
    }
    if (t.Parent && t.Parent->Unopened.fetch_sub(1, std::memory_order_acq_rel) == 1) t.Parent->Reader.Close();
    try {
      if (!W.Stopping()) MaybeReport(t.Node);
      if (open) List(*f);
      // A listing cut short by the disk is as incomplete as one never made.
      if (open && f->Reader.Error() != TReadError::None) t.Node->SetReadError(f->Reader.Error());
    } catch (...) {
      W.Fail(std::current_exception());  // the folder keeps what was listed before
    }
    f->Reader.FinishListing();
    Files.WriteTo(f->Node, Arena, Links);
    TTreeWriter::SetChildren(f->Node, Kids.data(), Kids.size(), Arena);
    if (Kids.empty()) {
      f->Reader.Close();
      Finish(f);
      return;
    }
    f->Unopened.store(uint32_t(Kids.size()), std::memory_order_relaxed);
    f->Unfinished.store(uint32_t(Kids.size()), std::memory_order_relaxed);
    Tasks.clear();
    for (TDirNode* k : Kids) Tasks.push_back({k, f});
    Kids.clear();
    W.Push(Tasks.data(), Tasks.size());
  }

  void List(TFolder& f) {
    TDirNode* dir = f.Node;
    const bool withPath = W.Filter.NeedsPath();
    if (withPath) FolderPath = dir->FullPath();
    const char sep = platform::PathSeparator();
    platform::TDirEntry e;
    while (!W.Stopping() && f.Reader.Next(e)) {
      if (e.Kind == platform::TEntryKind::Skipped) {
        if (e.Allocated > 0) dir->OwnAllocated += e.Allocated;
        continue;
      }
      const std::string_view name(e.Name, e.NameLen);
      if (e.Kind == platform::TEntryKind::Folder) {
        TDirNode* kid = TTreeWriter::NewFolder(Arena, dir, name);
        kid->OwnAllocated = std::max<int64_t>(0, e.Allocated);
        Kids.push_back(kid);
        ++Dirs;
        if (++Unpublished >= kPublishEvery) Publish();
        continue;
      }
      std::string_view childPath;
      if (withPath) {
        ChildPath.assign(FolderPath);
        if (ChildPath.empty() || ChildPath.back() != sep) ChildPath.push_back(sep);
        ChildPath.append(name);
        childPath = ChildPath;
      }
      const bool excluded = W.Filter.IsExcluded(name, childPath, e.Size, e.LastWrite);
      Bytes += e.Size;
      ++Unpublished;
      if (!excluded) {
        // A listed name holds no path delimiter, so its last dot starts the extension.
        const size_t dot = name.rfind('.');
        const TExtKey* ext = dot == std::string_view::npos ? NoneExtKey() : Exts.KeyOfRaw(name.substr(dot));
        TFileDisk disk;
        disk.Allocated = e.Allocated;
        disk.Links = e.Links;
        disk.Device = e.Device;
        disk.Inode = e.Inode;
        disk.HasId = e.Links > 1;
        Files.Add(name, e.Size, e.LastWrite, ext, disk);
        Stats.AddFile(ext, e.Size);
        ++FilesSeen;
      }
      MaybeReport(dir);
      if (Unpublished >= kPublishEvery) Publish();
    }
  }

  // Makes `f`'s totals final, and each ancestor's whose last child that was.
  void Finish(TFolder* f) {
    for (;;) {
      TTreeWriter::AddChildTotals(f->Node);
      TFolder* parent = f->Parent;
      delete f;
      if (!parent) {
        W.Finished();
        return;
      }
      if (parent->Unfinished.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
      f = parent;
    }
  }

  void Publish() {
    std::lock_guard<std::mutex> lock(S.FProgressLock);
    PublishLocked();
  }
  void PublishLocked() {
    S.FFiles += FilesSeen;
    S.FDirs += Dirs;
    S.FBytes += Bytes;
    FilesSeen = Dirs = Bytes = Unpublished = 0;
  }

  void MaybeReport(const TDirNode* dir) {
    if (!S.OnProgress) return;
    const uint32_t now = S.FTickSource();
    const uint32_t last = S.FProgressGate.load(std::memory_order_relaxed);
    if (uint32_t(now - last) < 80) return;
    std::lock_guard<std::mutex> lock(S.FProgressLock);
    // Another worker reported since `last` was read: `now` may be older than that.
    if (S.FLastProgressTick != last) return;
    S.FLastProgressTick = now;
    S.FProgressGate.store(now, std::memory_order_relaxed);
    PublishLocked();
    S.OnProgress(dir->FullPath(), S.FFiles, S.FDirs);
  }

  TWalk& W;
  TDiskScanner& S;
  TArenaCursor Arena;
  TExtKeyCache Exts;
  TExtStats Stats;
  TLeafStaging Files;
  std::vector<TLinkRecord> Links;
  std::vector<TDirNode*> Kids;
  std::vector<TTask> Tasks;
  std::string FolderPath, ChildPath;
  int64_t FilesSeen = 0, Dirs = 0, Bytes = 0, Unpublished = 0;  // not yet in the scanner's counters
};

// ---- TDiskScanner -----------------------------------------------------------------

TDiskScanner::TDiskScanner(TScanContext* context)
    : FContext(context), FTickSource(&platform::GetTickCount), FStore(std::make_shared<TScanStore>()) {
  // The walk keeps a folder open while its sub-folders wait to be opened.
  static const bool raised = (platform::RaiseOpenFileLimit(), true);
  (void)raised;
  ResetCounters();
}

TDiskScanner::~TDiskScanner() = default;

void TDiskScanner::ResetCounters() {
  FFiles = FDirs = FBytes = 0;
  FLastProgressTick = FTickSource();
  FProgressGate.store(FLastProgressTick);
}

bool TDiskScanner::IsExcluded(std::string_view name, std::string_view fullPath, int64_t size, TFileTime lastWrite) {
  if (!FFilter || FFilterOf != FContext) {
    FFilter = std::make_unique<TScanFilter>(FContext);
    FFilterOf = FContext;
  }
  return FFilter->IsExcluded(name, fullPath, size, lastWrite);
}

int TDiskScanner::ThreadsFor(const std::string& rootPath) const {
  if (FContext && FContext->ScanThreads > 0) return std::min(FContext->ScanThreads, kMaxThreads);
  if (const char* env = std::getenv("VORNDALE_SCAN_THREADS")) {
    const int n = std::atoi(env);
    if (n > 0) return std::min(n, kMaxThreads);
  }
  if (platform::IsOnRotationalDisk(rootPath)) return 1;
  return std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxThreads);
}

std::unique_ptr<TDirNode> TDiskScanner::Scan(const std::string& rootPath) {
  const std::string path = platform::RemoveTrailingSeparator(rootPath);
  if (Cancelled()) return nullptr;

  auto root = std::make_unique<TDirNode>();
  std::string name(ExtractFileName(path));
  if (name.empty()) name = path;
  root->MakeRoot(path, std::move(name), FStore);
  root->TotalDirs = 1;
  FDirs += 1;
  FProgressGate.store(FLastProgressTick);

  TWalk walk(*this, path);
  walk.Tasks.push_back({root.get(), nullptr});
  std::vector<std::unique_ptr<TWorker>> workers;
  const int threads = ThreadsFor(path);
  for (int i = 0; i < threads; ++i) workers.push_back(std::make_unique<TWorker>(walk));
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) {
    try {
      pool.emplace_back([w = workers[size_t(i)].get()] { w->Run(); });
    } catch (const std::system_error&) {
      break;  // fewer threads than asked for: the others do the work
    }
  }
  workers[0]->Run();
  for (std::thread& t : pool) t.join();

  if (walk.Error) std::rethrow_exception(walk.Error);
  TExtStats& stats = root->RootExtStats();
  std::vector<TLinkRecord> links;
  for (const auto& w : workers) {
    stats.MergeFrom(&w->Stats);
    links.insert(links.end(), w->Links.begin(), w->Links.end());
  }
  root->AddLinks(std::move(links));
  root->SetLinksDirty(true);
  return root;
}

}  // namespace vd
