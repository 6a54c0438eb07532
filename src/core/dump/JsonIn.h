// RapidJSON's input stream over a scan file's byte source, for the dump
// reader alone: a fixed buffer refilled from the source, so a file of any size
// is read in constant memory.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/dump/ScanDump.h"

namespace vd::dump::detail {

constexpr size_t kBufSize = 256 << 10;

// RapidJSON's input stream over a byte source, in the manner of its
// FileReadStream: a buffer with a NUL after the last byte at the end.
class TJsonIn {
 public:
  using Ch = char;
  using TRefill = std::function<bool(int64_t textBytes)>;  // false: stop reading

  TJsonIn(dump::TByteSource& src, TRefill refill) : FSrc(src), FRefill(std::move(refill)), FBuf(new char[kBufSize + 1]) {
    FCur = FLast = FBuf.get();
    *FCur = 0;
    Fill();
  }

  Ch Peek() const { return *FCur; }
  Ch Take() {
    const Ch c = *FCur;
    if (FCur < FLast)
      ++FCur;
    else if (!FEof)
      Fill();
    return c;
  }
  size_t Tell() const { return FCount + size_t(FCur - FBuf.get()); }
  bool AtEnd() const { return FEof && FCur == FLast; }
  const std::string& Error() const { return FError; }
  bool Stopped() const { return FStopped; }

  // Not used for reading.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  size_t PutEnd(Ch*) { return 0; }

 private:
  void Fill() {
    FCount += FRead;
    FRead = 0;
    if (FRefill && !FRefill(int64_t(FCount))) {
      FStopped = true;
    } else {
      while (FRead < kBufSize) {
        const int64_t got = FSrc.Read(FBuf.get() + FRead, kBufSize - FRead);
        if (got < 0) {
          FError = FSrc.Error();
          break;
        }
        if (got == 0) break;
        FRead += size_t(got);
      }
    }
    FCur = FBuf.get();
    if (FRead < kBufSize || FStopped || !FError.empty()) {
      FBuf[FRead] = 0;  // the end: Peek sees NUL, as RapidJSON expects
      FLast = FBuf.get() + FRead;
      FEof = true;
    } else {
      FLast = FBuf.get() + FRead - 1;
    }
  }

  dump::TByteSource& FSrc;
  TRefill FRefill;
  std::unique_ptr<char[]> FBuf;
  char* FCur;
  char* FLast;
  size_t FCount = 0, FRead = 0;
  bool FEof = false, FStopped = false;
  std::string FError;
};

}  // namespace vd::dump::detail
