// Byte streams under the scan file: plain, gzip or zstd, unpacked while read
// and packed while written, in fixed-size buffers (memory does not grow with the
// file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vd::dump {

enum class TCompression { None, Gzip, Zstd };

// Chosen by the file name's ending: ".gz" gzip, ".zst" zstd, anything else plain.
TCompression CompressionOfName(std::string_view path);

// Where bytes come from: a file, standard input, memory.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Up to `n` bytes; 0 at the end; -1 on an error (then Error() says which).
  virtual int64_t Read(char* buf, size_t n) = 0;
  virtual std::string Error() const { return {}; }
};

class TMemorySource : public TByteSource {
 public:
  explicit TMemorySource(std::string_view data) : FData(data) {}
  int64_t Read(char* buf, size_t n) override;

 private:
  std::string_view FData;
};

// Unpacks what a source gives, told apart by its first bytes: the gzip magic
// (1F 8B, one or more members), the zstd magic (28 B5 2F FD, one or more
// frames), or else plain bytes passed through.
class TUnpackSource : public TByteSource {
 public:
  explicit TUnpackSource(TByteSource& raw);
  ~TUnpackSource() override;
  int64_t Read(char* buf, size_t n) override;
  std::string Error() const override { return FError; }
  TCompression Compression() const { return FKind; }
  // Bytes taken from the raw source so far (for progress against a file size).
  int64_t RawBytesRead() const { return FRawRead; }

 private:
  bool FillIn();
  int64_t ReadGzip(char* buf, size_t n);
  int64_t ReadZstd(char* buf, size_t n);

  TByteSource& FRaw;
  TCompression FKind = TCompression::None;
  bool FStarted = false, FRawEnd = false, FDone = false;
  std::unique_ptr<char[]> FIn;
  size_t FInPos = 0, FInLen = 0;
  int64_t FRawRead = 0;
  std::string FError;
  struct TState;
  std::unique_ptr<TState> FState;
};

// Where bytes go.
class TByteSink {
 public:
  virtual ~TByteSink() = default;
  virtual bool Write(const char* data, size_t n) = 0;
  // Writes what is still held back; the sink takes no more bytes after it.
  virtual bool Finish() { return true; }
  virtual std::string Error() const { return {}; }
};

class TStringSink : public TByteSink {
 public:
  bool Write(const char* data, size_t n) override {
    FData.append(data, n);
    return true;
  }
  std::string FData;
};

// Packs into `out` as gzip or zstd (None passes the bytes through).
std::unique_ptr<TByteSink> MakePackSink(TCompression kind, TByteSink& out);

}  // namespace vd::dump
