// Reading a scan file into a scan tree: RapidJSON's SAX reader in its iterative
// mode (no recursion, so depth costs heap only), feeding TTreeBuilder.
//
// RapidJSON keeps raw bytes: with UTF-8 in and out and without its validation
// flag, every byte of a string that is not an escape is copied as it is.
#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/dump/JsonIn.h"
#include "core/dump/ScanDump.h"
#include "platform/Platform.h"

namespace vd {

namespace {

using dump::detail::TJsonIn;

enum class TKey : uint8_t { Other, Name, ASize, MTime, Excluded, NotReg, DSize, Dev, Ino, NLink, HlnkC, ReadError };

TKey KeyOf(std::string_view k) {
  if (k == "name") return TKey::Name;
  if (k == "asize") return TKey::ASize;
  if (k == "mtime") return TKey::MTime;
  if (k == "excluded") return TKey::Excluded;
  if (k == "notreg") return TKey::NotReg;
  if (k == "dsize") return TKey::DSize;
  if (k == "dev") return TKey::Dev;
  if (k == "ino") return TKey::Ino;
  if (k == "nlink") return TKey::NLink;
  if (k == "hlnkc") return TKey::HlnkC;
  if (k == "read_error") return TKey::ReadError;
  return TKey::Other;  // uid, gid, mode, and any other
}

const char* KeyText(TKey k) {
  switch (k) {
    case TKey::Name: return "\"name\"";
    case TKey::ASize: return "\"asize\"";
    default: return "this key";
  }
}

// The SAX handler: one frame per open JSON container.
class THandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, THandler> {
 public:
  enum class TKind : uint8_t { Top, Meta, Dir, Info, Skip };
  struct TFrame {
    explicit TFrame(TKind kind) : Kind(kind) {}
    TKind Kind;
    bool Skipped = false;   // Dir: excluded or notreg, its content is ignored
    bool Synthetic = false; // Dir: the all-drives root
    uint64_t Count = 0;     // Top and Dir: elements seen
    TDirNode* Node = nullptr;
    uint64_t Dev = 0;       // Dir: the device its entries are on, unless they say otherwise
    int64_t At = 0;         // Dir: the offset of its '['
    // Dir: the names given to its entries so far, to refuse one given twice.
    // The builder's tree may not be read before it is finished.
    std::vector<std::string> Names;
  };

  explicit THandler(const TJsonIn& in) : FIn(in) {}

  TScanFileInfo FInfo;
  std::unique_ptr<TDirNode> FResult;
  std::string FError;  // what was expected, when the handler stopped the reader
  int64_t FErrorAt = -1;  // where, when it concerns an entry or a folder
  int64_t FFiles = 0, FDirs = 0;

  // ---- Containers ----
  bool StartArray() {
    if (FFrames.empty()) {
      FFrames.push_back(TFrame{TKind::Top});
      return true;
    }
    TFrame& f = FFrames.back();
    switch (f.Kind) {
      case TKind::Top: {
        const uint64_t i = f.Count++;
        if (i != 3) return Fail(TopExpectation(i));
        FFrames.push_back(TFrame{TKind::Dir});
        FFrames.back().At = Here();
        return true;
      }
      case TKind::Dir: {
        const uint64_t i = f.Count++;
        if (i == 0) return Fail("expected the folder's info object, found an array");
        FFrames.push_back(TFrame{f.Skipped ? TKind::Skip : TKind::Dir});
        FFrames.back().At = Here();
        return true;
      }
      case TKind::Info:
        if (FKey == TKey::Name || FKey == TKey::ASize) return Fail(std::string("expected a value for ") + KeyText(FKey) + ", found an array");
        [[fallthrough]];
      default:
        FFrames.push_back(TFrame{TKind::Skip});
        return true;
    }
  }

  bool EndArray(rapidjson::SizeType) {
    TFrame f = FFrames.back();
    if (f.Kind == TKind::Top) {
      if (f.Count < 4) return Fail(TopExpectation(f.Count));
      FFrames.pop_back();
      return true;
    }
    if (f.Kind == TKind::Dir) {
      if (f.Count == 0) return Fail("expected the folder's info object, found the end of the folder");
      if (f.Node && !CloseFolder(FFrames.size() - 1)) return false;
    }
    FFrames.pop_back();
    return true;
  }

  bool StartObject() {
    if (FFrames.empty()) return Fail("expected '[' at the start of a scan file");
    TFrame& f = FFrames.back();
    switch (f.Kind) {
      case TKind::Top: {
        const uint64_t i = f.Count++;
        if (i != 2) return Fail(TopExpectation(i));
        FFrames.push_back(TFrame{TKind::Meta});
        return true;
      }
      case TKind::Dir: {
        f.Count++;
        FEntry = {};
        FEntryAt = Here();
        FFrames.push_back(TFrame{f.Skipped ? TKind::Skip : TKind::Info});
        return true;
      }
      case TKind::Info:
        if (FKey == TKey::Name || FKey == TKey::ASize) return Fail(std::string("expected a value for ") + KeyText(FKey) + ", found an object");
        [[fallthrough]];
      default:
        FFrames.push_back(TFrame{TKind::Skip});
        return true;
    }
  }

  bool Key(const char* s, rapidjson::SizeType n, bool) {
    const std::string_view k(s, n);
    if (FFrames.back().Kind == TKind::Info)
      FKey = KeyOf(k);
    else if (FFrames.back().Kind == TKind::Meta)
      FMetaKey = k == "progname" ? 1 : k == "progver" ? 2 : k == "timestamp" ? 3 : k == "hostname" ? 4 : 0;
    return true;
  }

  bool EndObject(rapidjson::SizeType) {
    const TKind kind = FFrames.back().Kind;
    FFrames.pop_back();
    if (kind != TKind::Info) return true;
    TFrame& dir = FFrames.back();
    return dir.Count == 1 ? OpenFolder(dir) : AddFile(dir);
  }

  // ---- Scalars ----
  bool Null() { return Scalar("null"); }
  bool Bool(bool b) {
    if (!Value("true or false")) return false;
    if (InInfo() && FKey == TKey::Excluded && b) FEntry.Skip = true;
    if (InInfo() && FKey == TKey::NotReg && b) FEntry.Skip = FEntry.NotReg = true;
    if (InInfo() && FKey == TKey::HlnkC) FEntry.HlnkC = b;
    if (InInfo() && FKey == TKey::ReadError) FEntry.ReadError = b;
    return ValueType(TKey::Name, "a string", "true or false") && ValueType(TKey::ASize, "a number", "true or false");
  }
  bool Int(int v) { return Signed(v); }
  bool Int64(int64_t v) { return Signed(v); }
  bool Uint(unsigned v) { return Unsigned(v); }
  bool Uint64(uint64_t v) { return Unsigned(v); }
  bool Double(double d) {
    if (!Value("a number")) return false;
    if (InMeta() && FMetaKey == 3 && std::isfinite(d) && std::fabs(d) < 9e15) FInfo.Timestamp = int64_t(std::floor(d));
    if (!InInfo()) return true;
    if (FKey == TKey::ASize) return Fail("expected a whole number of bytes for \"asize\"");
    if (FKey == TKey::MTime && std::isfinite(d) && std::fabs(d) < 9e15) FEntry.MTime = UnixSecondsToFileTime(int64_t(std::floor(d)));
    return ValueType(TKey::Name, "a string", "a number");
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    if (!Value("a string")) return false;
    const std::string_view v(s, n);
    if (InMeta()) {
      if (FMetaKey == 1) FInfo.ProgName = v;
      if (FMetaKey == 2) FInfo.ProgVer = v;
      if (FMetaKey == 4) FInfo.HostName = v;
      return true;
    }
    if (!InInfo()) return true;
    if (FKey == TKey::Name) {
      FEntry.Name.assign(v);
      FEntry.HasName = true;
    } else if (FKey == TKey::Excluded) {
      FEntry.Skip = true;  // "pattern", "otherfs", "kernfs", "frmlnk": left out by the tool that wrote it
    }
    return ValueType(TKey::ASize, "a number", "a string");
  }

 private:
  struct TEntry {
    std::string Name;
    bool HasName = false;
    bool Skip = false;
    bool NotReg = false;
    bool HlnkC = false;
    bool ReadError = false;
    bool HasDev = false;
    bool HasIno = false;
    int64_t Size = 0;
    int64_t DSize = -1;
    uint64_t Dev = 0;
    uint64_t Ino = 0;
    uint32_t NLink = 0;
    TFileTime MTime;
  };

  // Allocations beyond what all of them together may sum to without overflow
  // are taken as unknown: a file then counts its length, which the reader
  // already bounds.
  int64_t TakeAllocated(int64_t bytes) {
    constexpr int64_t kAllAllocations = int64_t(1) << 62;
    if (bytes < 0 || bytes > kAllAllocations) return -1;
    // Counted as the tree keeps it, in whole 512-byte units, so that the file
    // written from the tree reads back the same way.
    const int64_t kept = (bytes + 511) / 512 * 512;
    if (kept > kAllAllocations - FTotalAllocated) return -1;
    FTotalAllocated += kept;
    return bytes;
  }

  // The dump's marks of a folder: its own blocks and whether it could be read.
  void MarkFolder(TFrame& dir) {
    dir.Dev = FEntry.HasDev ? FEntry.Dev : (FFrames.size() >= 3 ? FFrames[FFrames.size() - 2].Dev : 0);
    if (!dir.Node || dir.Synthetic) return;
    if (FEntry.DSize > 0) dir.Node->OwnAllocated = std::max<int64_t>(0, TakeAllocated(FEntry.DSize));
    if (FEntry.ReadError) dir.Node->SetReadError(TReadError::Other);
  }

  bool InInfo() const { return FFrames.back().Kind == TKind::Info; }
  bool InMeta() const { return FFrames.back().Kind == TKind::Meta; }

  bool Fail(std::string what, int64_t at = -1) {
    FError = std::move(what);
    FErrorAt = at;
    return false;
  }
  // The offset of the bracket being read: RapidJSON calls StartArray and
  // StartObject before it takes the bracket.
  int64_t Here() const { return int64_t(FIn.Tell()); }

  static std::string TopExpectation(uint64_t i) {
    switch (i) {
      case 0: return "expected the major version number";
      case 1: return "expected the minor version number";
      case 2: return "expected the header object";
      case 3: return "expected the root folder's array";
      default: return "expected ']' after the root folder";
    }
  }

  // A scalar where the containers allow one; positions in the top array and in
  // folders count here. `whole`: an integer (the versions must be).
  bool Value(const char* found, bool whole = false) {
    if (FFrames.empty()) return Fail("expected '[' at the start of a scan file");
    TFrame& f = FFrames.back();
    if (f.Kind == TKind::Top) {
      const uint64_t i = f.Count++;
      if (i >= 2 || !whole) return Fail(TopExpectation(i) + ", found " + found);
      return true;
    }
    if (f.Kind == TKind::Dir) {
      if (f.Skipped) return true;
      return Fail(std::string(f.Count++ == 0 ? "expected the folder's info object" : "expected a file's object or a folder's array") +
                  ", found " + found);
    }
    return true;
  }
  bool ValueType(TKey key, const char* expected, const char* found) {
    if (InInfo() && FKey == key) return Fail(std::string("expected ") + expected + " for " + KeyText(key) + ", found " + found);
    return true;
  }
  bool Scalar(const char* found) {
    return Value(found) && ValueType(TKey::Name, "a string", found) && ValueType(TKey::ASize, "a number", found);
  }

  bool Version(uint64_t v) {
    TFrame& top = FFrames.back();
    if (top.Count == 1) {
      if (v != 1) return Fail("expected major version 1, found " + std::to_string(v));
      FInfo.MajorVersion = 1;
    } else {
      FInfo.MinorVersion = int(std::min<uint64_t>(v, INT32_MAX));
    }
    return true;
  }

  bool Unsigned(uint64_t v) {
    if (!Value("a number", true)) return false;
    if (FFrames.back().Kind == TKind::Top) return Version(v);
    if (InMeta() && FMetaKey == 3) FInfo.Timestamp = int64_t(std::min<uint64_t>(v, INT64_MAX));
    if (!InInfo()) return true;
    if (FKey == TKey::ASize) {
      if (v > uint64_t(INT64_MAX)) return Fail("expected a size below 2^63 bytes for \"asize\"");
      FEntry.Size = int64_t(v);
    } else if (FKey == TKey::MTime) {
      FEntry.MTime = UnixSecondsToFileTime(int64_t(std::min<uint64_t>(v, INT64_MAX)));
    } else if (FKey == TKey::DSize) {
      // Beyond 2^62 no disk holds it: taken as unknown rather than summed into an overflow.
      FEntry.DSize = v < (uint64_t(1) << 62) ? int64_t(v) : -1;
    } else if (FKey == TKey::Dev) {
      FEntry.Dev = v;
      FEntry.HasDev = true;
    } else if (FKey == TKey::Ino) {
      FEntry.Ino = v;
      FEntry.HasIno = true;
    } else if (FKey == TKey::NLink) {
      FEntry.NLink = uint32_t(std::min<uint64_t>(v, UINT32_MAX));
    }
    return ValueType(TKey::Name, "a string", "a number");
  }

  bool Signed(int64_t v) {
    if (v >= 0) return Unsigned(uint64_t(v));
    if (!Value("a number", true)) return false;
    if (FFrames.back().Kind == TKind::Top) return Fail(std::string(FFrames.back().Count == 1 ? "expected major version 1" : "expected the minor version number") + ", found " + std::to_string(v));
    if (InMeta() && FMetaKey == 3) FInfo.Timestamp = v;
    if (!InInfo()) return true;
    if (FKey == TKey::ASize) return Fail("expected a size of 0 or more for \"asize\"");
    if (FKey == TKey::MTime) FEntry.MTime = UnixSecondsToFileTime(v);
    return ValueType(TKey::Name, "a string", "a number");
  }

  // A name must stand for one entry of its folder and nothing else.
  bool CheckName() {
    if (!FEntry.HasName) return Fail("expected a \"name\" in every entry", FEntryAt);
    const std::string& n = FEntry.Name;
    if (n.empty() || n == "." || n == ".." || n.find('\0') != std::string::npos ||
        n.find_first_of(platform::PathDelimiters()) != std::string::npos || n.find('/') != std::string::npos)
      return Fail("expected a file name, found a name that is empty, \".\", \"..\", or holds a path separator or NUL", FEntryAt);
    if (n.size() > 0xFFFF) return Fail("expected a name of at most 65535 bytes", FEntryAt);
    return true;
  }

  bool AddBytes(int64_t size) {
    if (size > INT64_MAX - FTotal) return Fail("expected sizes that add up to less than 2^63 bytes", FEntryAt);
    FTotal += size;
    return true;
  }

  // Paths of a dump stand for places on a disk that actions and rescans
  // reach: each must name one place, whatever the working folder, and no two
  // drives the same one.
  static constexpr const char* kNotPlainRoot =
      "expected an absolute path without \".\" or \"..\" parts or a doubled separator as the root's name";
  static constexpr const char* kNotPlainDrive =
      "expected an absolute path without \".\" or \"..\" parts or a doubled separator as a drive's name";
  bool DriveOnce(const std::string& path) {
    if (FDriveKeys.insert(platform::PathKey(platform::RemoveTrailingSeparator(path))).second) return true;
    return Fail("expected each drive once in an all-drives root, found \"" + path + "\" twice", FEntryAt);
  }

  // The info object of a folder has ended: the folder becomes a node (or is skipped).
  bool OpenFolder(TFrame& dir) {
    const size_t depth = FFrames.size() - 1;  // index of `dir`; 1 is the root
    if (depth == 1) {
      if (!FEntry.HasName) return Fail("expected a \"name\" in the root folder: the scanned path", FEntryAt);
      if (FEntry.Name.find('\0') != std::string::npos) return Fail("expected a path without NUL as the root's name", FEntryAt);
      if (!FEntry.Name.empty() && !platform::IsPlainAbsolutePath(FEntry.Name)) return Fail(kNotPlainRoot, FEntryAt);
      if (FEntry.Name.empty()) {
        FSynthetic = CreateSyntheticRoot();
        dir.Node = FSynthetic.get();
        dir.Synthetic = true;
      } else {
        FBuilder = std::make_unique<TTreeBuilder>(FEntry.Name);
        dir.Node = FBuilder->Root();
      }
      MarkFolder(dir);
      FDirs += dir.Synthetic ? 0 : 1;
      return true;
    }
    TFrame& parent = FFrames[depth - 1];
    if (FEntry.Skip) {
      dir.Skipped = true;
      return true;
    }
    if (parent.Synthetic) {
      // A drive of an all-drives scan: its name is its path.
      if (!FEntry.HasName || FEntry.Name.empty() || FEntry.Name.find('\0') != std::string::npos)
        return Fail("expected a drive's path as the name of a folder in an all-drives root", FEntryAt);
      if (!platform::IsPlainAbsolutePath(FEntry.Name)) return Fail(kNotPlainDrive, FEntryAt);
      if (!DriveOnce(FEntry.Name)) return false;
      FBuilder = std::make_unique<TTreeBuilder>(FEntry.Name);
      dir.Node = FBuilder->Root();
    } else {
      if (!CheckName()) return false;
      dir.Node = FBuilder->EnterDir(FEntry.Name);
    }
    MarkFolder(dir);
    parent.Names.push_back(FEntry.Name);
    ++FDirs;
    return true;
  }

  bool AddFile(TFrame& dir) {
    if (FEntry.Skip) {
      // A link or device takes its folder's room on disk, as in a walk.
      if (FEntry.NotReg && FEntry.DSize > 0 && dir.Node && !dir.Synthetic && !dir.Skipped)
        dir.Node->OwnAllocated += std::max<int64_t>(0, TakeAllocated(FEntry.DSize));
      return true;
    }
    if (dir.Synthetic) return Fail("expected a drive's folder, found a file directly in an all-drives root", FEntryAt);
    if (!CheckName() || !AddBytes(FEntry.Size)) return false;
    TFileDisk disk;
    disk.Allocated = TakeAllocated(FEntry.DSize);
    // Several links: hlnkc, or nlink above 1 (newer writers); the identity is
    // the inode on the device of the entry or of its folder.
    disk.Links = FEntry.NLink > 0 ? FEntry.NLink : FEntry.HlnkC ? 0 : 1;
    disk.HasId = FEntry.HasIno;
    disk.Inode = FEntry.Ino;
    disk.Device = FEntry.HasDev ? FEntry.Dev : dir.Dev;
    FBuilder->AddFile(FEntry.Name, FEntry.Size, FEntry.MTime, disk);
    dir.Names.push_back(FEntry.Name);
    ++FFiles;
    return true;
  }

  // A folder has ended: its names must be unique; a finished drive joins the
  // all-drives root.
  bool CloseFolder(size_t index) {
    TFrame& dir = FFrames[index];
    if (dir.Names.size() > 1) {
      std::sort(dir.Names.begin(), dir.Names.end());
      const auto twice = std::adjacent_find(dir.Names.begin(), dir.Names.end());
      if (twice != dir.Names.end())
        return Fail("expected each name once in the folder that starts here, found \"" + *twice + "\" twice", dir.At);
    }
    std::vector<std::string>().swap(dir.Names);
    const bool drive = index == 2 && FFrames[1].Synthetic;
    if (index == 1 && !dir.Synthetic) {
      FResult = FBuilder->Finish();
      FBuilder.reset();
    } else if (drive) {
      FSynthetic->AppendChildTree(FBuilder->Finish());
      FBuilder.reset();
    } else if (index == 1) {
      FResult = std::move(FSynthetic);
    } else {
      FBuilder->LeaveDir();
    }
    return true;
  }

  const TJsonIn& FIn;
  std::vector<TFrame> FFrames;
  int64_t FEntryAt = 0;
  TKey FKey = TKey::Other;
  int FMetaKey = 0;
  TEntry FEntry;
  int64_t FTotal = 0;
  int64_t FTotalAllocated = 0;
  std::unique_ptr<TTreeBuilder> FBuilder;
  std::unique_ptr<TDirNode> FSynthetic;
  std::unordered_set<std::string> FDriveKeys;
};

std::string ExpectationOf(rapidjson::ParseErrorCode code) {
  using namespace rapidjson;
  switch (code) {
    case kParseErrorDocumentEmpty: return "expected '[' at the start of a scan file";
    case kParseErrorDocumentRootNotSingular: return "expected the end of the file after the closing ']'";
    case kParseErrorValueInvalid: return "expected a value";
    case kParseErrorObjectMissName: return "expected a key in quotes";
    case kParseErrorObjectMissColon: return "expected ':' after a key";
    case kParseErrorObjectMissCommaOrCurlyBracket: return "expected ',' or '}' after a value";
    case kParseErrorArrayMissCommaOrSquareBracket: return "expected ',' or ']' after an element";
    case kParseErrorStringUnicodeEscapeInvalidHex: return "expected four hex digits after \\u";
    case kParseErrorStringUnicodeSurrogateInvalid: return "expected a low surrogate \\uDC00-\\uDFFF after a high one";
    case kParseErrorStringEscapeInvalid: return "expected a valid escape, and control characters only as escapes, in a string";
    case kParseErrorStringMissQuotationMark: return "expected a closing quote";
    case kParseErrorStringInvalidEncoding: return "expected a string";
    case kParseErrorNumberTooBig: return "expected a number of a size a double can hold";
    case kParseErrorNumberMissFraction: return "expected digits after the decimal point";
    case kParseErrorNumberMissExponent: return "expected digits in the exponent";
    default: return "expected JSON";
  }
}

std::string AtByte(int64_t offset, bool atEnd) {
  return "at byte " + std::to_string(offset) + (atEnd ? " (the file ends there)" : "") + ": ";
}

}  // namespace

TScanFileRead ReadScanSource(dump::TByteSource& source, const TScanFileReadOptions& options) {
  dump::TUnpackSource unpack(source);
  TScanFileRead result;
  bool cancelled = false;
  THandler* handlerRef = nullptr;
  TJsonIn in(unpack, [&](int64_t text) {
    if (options.Cancel && options.Cancel->load() != 0) {
      cancelled = true;
      return false;
    }
    if (options.OnProgress && text > 0)
      options.OnProgress(text, unpack.RawBytesRead(), handlerRef ? handlerRef->FFiles : 0, handlerRef ? handlerRef->FDirs : 0);
    return true;
  });
  THandler handler(in);
  handlerRef = &handler;
  rapidjson::Reader reader;
  const rapidjson::ParseResult ok = reader.Parse<rapidjson::kParseIterativeFlag>(in, handler);
  result.Compression = unpack.Compression();
  if (cancelled) {
    result.Cancelled = true;
    return result;
  }
  if (!in.Error().empty()) {
    throw EScanFileError("cannot read the scan file: " + in.Error() + " (at byte " + std::to_string(unpack.RawBytesRead()) +
                             " of the file)",
                         int64_t(in.Tell()));
  }
  const int64_t at = ok ? int64_t(in.Tell()) : handler.FErrorAt >= 0 && ok.Code() == rapidjson::kParseErrorTermination ? handler.FErrorAt : int64_t(ok.Offset());
  const bool atEnd = in.AtEnd() && size_t(at) >= in.Tell();
  if (!ok) {
    const std::string what = ok.Code() == rapidjson::kParseErrorTermination ? handler.FError : ExpectationOf(ok.Code());
    throw EScanFileError(AtByte(at, atEnd) + what, at);
  }
  if (!in.AtEnd()) throw EScanFileError(AtByte(at, false) + "expected the end of the file after the closing ']'", at);
  result.Root = std::move(handler.FResult);
  result.Info = handler.FInfo;
  return result;
}

TScanFileRead ReadScanData(std::string_view bytes, const TScanFileReadOptions& options) {
  dump::TMemorySource src(bytes);
  return ReadScanSource(src, options);
}

namespace {
class TInputSource : public dump::TByteSource {
 public:
  explicit TInputSource(platform::TInputFile& f) : FFile(f) {}
  int64_t Read(char* buf, size_t n) override { return FFile.Read(buf, n); }
  std::string Error() const override { return FFile.Error(); }

 private:
  platform::TInputFile& FFile;
};
}  // namespace

TScanFileRead ReadScanFile(const std::string& path, const TScanFileReadOptions& options) {
  platform::TInputFile file;
  if (!file.Open(path)) throw EScanFileError("cannot open " + path + ": " + file.Error());
  TInputSource src(file);
  return ReadScanSource(src, options);
}

}  // namespace vd
