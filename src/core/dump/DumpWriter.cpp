// Writing a scan tree as a scan file, straight from the tree.
#include <charconv>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "core/dump/ScanDump.h"
#include "platform/Platform.h"

namespace vd {

namespace {

constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 in 100-ns ticks since 1601
constexpr int64_t kTicksPerSecond = 10000000;
constexpr char kProgVer[] = "1.0";

// Collects output in a buffer and hands it to the sink in large pieces.
class TJsonOut {
 public:
  explicit TJsonOut(dump::TByteSink& sink) : FSink(sink) { FBuf.reserve(kFlushAt + 4096); }

  void Raw(std::string_view s) {
    FBuf.append(s);
    if (FBuf.size() >= kFlushAt) Flush();
  }
  void Unsigned(uint64_t v) {
    char tmp[24];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    FBuf.append(tmp, size_t(r.ptr - tmp));
  }
  void Number(int64_t v) {
    char tmp[24];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    FBuf.append(tmp, size_t(r.ptr - tmp));
  }
  // A JSON string of raw bytes: only '"', '\' and control characters escaped.
  void String(std::string_view s) {
    FBuf.push_back('"');
    size_t run = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c >= 0x20 && c != '"' && c != '\\' && c != 0x7F) continue;
      FBuf.append(s.data() + run, i - run);
      run = i + 1;
      switch (c) {
        case '"': FBuf.append("\\\""); break;
        case '\\': FBuf.append("\\\\"); break;
        case '\b': FBuf.append("\\b"); break;
        case '\f': FBuf.append("\\f"); break;
        case '\n': FBuf.append("\\n"); break;
        case '\r': FBuf.append("\\r"); break;
        case '\t': FBuf.append("\\t"); break;
        default: {
          static const char kHex[] = "0123456789abcdef";
          const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
          FBuf.append(esc, 6);
        }
      }
    }
    FBuf.append(s.data() + run, s.size() - run);
    FBuf.push_back('"');
  }
  void Flush() {
    if (FBuf.empty()) return;
    if (!FSink.Write(FBuf.data(), FBuf.size())) Fail();
    FBuf.clear();
  }
  [[noreturn]] void Fail() {
    const std::string why = FSink.Error();
    throw EScanFileError("cannot write the scan file" + (why.empty() ? std::string() : ": " + why));
  }

 private:
  static constexpr size_t kFlushAt = 256 << 10;
  dump::TByteSink& FSink;
  std::string FBuf;
};

void WriteFolderInfo(TJsonOut& out, std::string_view name, const TDirNode& d) {
  out.Raw("[{\"name\":");
  out.String(name);
  if (d.OwnAllocated > 0) {
    out.Raw(",\"dsize\":");
    out.Number(d.OwnAllocated);
  }
  if (d.ReadError() != TReadError::None) out.Raw(",\"read_error\":true");
  out.Raw("}");
}

using TLinkIndex = std::unordered_map<const TFileLeaf*, const TLinkRecord*>;

void WriteFile(TJsonOut& out, const TFileLeaf& f, const TLinkIndex& links) {
  out.Raw(",\n{\"name\":");
  out.String(f.Name());
  out.Raw(",\"asize\":");
  out.Number(f.ApparentSize());
  if (f.AllocationKnown()) {
    out.Raw(",\"dsize\":");
    out.Number(f.AllocatedSize());
  }
  if (f.HasLinks()) {
    const auto it = links.find(&f);
    if (it != links.end()) {
      // The device on the file itself: a folder's device is not kept.
      out.Raw(",\"dev\":");
      out.Unsigned(it->second->Device);
      out.Raw(",\"ino\":");
      out.Unsigned(it->second->Inode);
      out.Raw(",\"hlnkc\":true");
      if (it->second->Links > 1) {
        out.Raw(",\"nlink\":");
        out.Number(it->second->Links);
      }
    }
  }
  if (!f.ModifiedFT.IsZero()) {
    out.Raw(",\"mtime\":");
    out.Number(FileTimeToUnixSeconds(f.ModifiedFT));
  }
  out.Raw("}");
}

TLinkIndex IndexLinks(const TDirNode& root) {
  TLinkIndex index;
  std::vector<const TDirNode*> pending{&root};
  while (!pending.empty()) {
    const TDirNode* n = pending.back();
    pending.pop_back();
    if (const auto* links = n->Links())
      for (const TLinkRecord& r : *links) index.emplace(r.Leaf, &r);
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
  }
  return index;
}

// Which machine the paths belong to, so that a window opening the file
// elsewhere knows not to act on them.
void WriteHostName(TJsonOut& out, const std::string& host) {
  if (host.empty()) return;
  out.Raw(",\"hostname\":");
  out.String(host);
}

class TFileSink : public dump::TByteSink {
 public:
  explicit TFileSink(platform::TOutputFile& file) : FFile(file) {}
  bool Write(const char* data, size_t n) override { return FFile.Write(data, n); }
  std::string Error() const override { return FFile.Error(); }

 private:
  platform::TOutputFile& FFile;
};

}  // namespace

int64_t FileTimeToUnixSeconds(TFileTime ft) {
  const int64_t rel = int64_t(ft.Ticks() - kUnixEpochTicks);  // two's complement: times before 1970 go negative
  return rel >= 0 ? rel / kTicksPerSecond : -((-(rel + 1)) / kTicksPerSecond) - 1;
}

TFileTime UnixSecondsToFileTime(int64_t seconds) {
  constexpr int64_t kMin = -int64_t(kUnixEpochTicks / kTicksPerSecond);
  constexpr int64_t kMax = int64_t((UINT64_MAX - kUnixEpochTicks) / kTicksPerSecond);
  if (seconds < kMin || seconds > kMax) return {};
  return TFileTime::FromTicks(uint64_t(seconds + int64_t(kUnixEpochTicks / kTicksPerSecond)) * uint64_t(kTicksPerSecond));
}

bool WriteScanData(const TDirNode& root, dump::TByteSink& sink, const TScanFileWriteOptions& options) {
  TJsonOut out(sink);
  const int64_t stamp = options.Timestamp >= 0 ? options.Timestamp : int64_t(std::time(nullptr));
  out.Raw("[1,2,{\"progname\":\"vorndale\",\"progver\":\"");
  out.Raw(kProgVer);
  out.Raw("\",\"timestamp\":");
  out.Number(stamp);
  WriteHostName(out, options.HostName ? *options.HostName : platform::HostName());
  out.Raw("},\n");

  // Depth-first with an explicit stack: (folder, next sub-folder to write).
  // The root is named by its path. The synthetic root of an all-drives scan has
  // the empty path; its drives are named by their paths too.
  struct TFrame {
    const TDirNode* Dir;
    size_t Next;
  };
  std::vector<TFrame> stack;
  const std::string rootPath = root.FullPath();
  const bool allDrives = rootPath.empty();
  const TLinkIndex links = IndexLinks(root);
  auto open = [&](const TDirNode& d) {
    if (stack.empty())
      WriteFolderInfo(out, rootPath, d);
    else if (allDrives && stack.size() == 1)
      WriteFolderInfo(out, d.FullPath(), d);
    else
      WriteFolderInfo(out, d.Name(), d);
    for (const TFileLeaf* f : d.Leaves) WriteFile(out, *f, links);
    stack.push_back({&d, 0});
  };
  size_t written = 0;
  open(root);
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.Next == top.Dir->Children.size()) {
      out.Raw("]");
      stack.pop_back();
      continue;
    }
    const TDirNode* child = top.Dir->Children[top.Next++];
    out.Raw(",\n");
    open(*child);
    written += 1 + child->Leaves.size();
    if (written >= 4096) {
      written = 0;
      if (options.Cancel && options.Cancel->load() != 0) return false;
    }
  }
  out.Raw("]\n");
  out.Flush();
  if (!sink.Finish()) out.Fail();
  return true;
}

bool WriteScanFile(const TDirNode& root, const std::string& path, const TScanFileWriteOptions& options) {
  platform::TOutputFile file;
  if (!file.Open(path)) throw EScanFileError("cannot create " + path + ": " + file.Error());
  TFileSink fileSink(file);
  const auto packer = dump::MakePackSink(path == "-" ? dump::TCompression::None : dump::CompressionOfName(path), fileSink);
  if (!WriteScanData(root, *packer, options)) return false;  // the destructor removes the temporary file
  if (!file.Commit()) throw EScanFileError("cannot write " + path + ": " + file.Error());
  return true;
}

std::string WriteScanString(const TDirNode& root, dump::TCompression kind, int64_t timestamp) {
  dump::TStringSink text;
  const auto packer = dump::MakePackSink(kind, text);
  TScanFileWriteOptions o;
  o.Timestamp = timestamp;
  WriteScanData(root, *packer, o);
  return std::move(text.FData);
}

}  // namespace vd
