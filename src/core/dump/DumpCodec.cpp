#include "core/dump/DumpCodec.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>

namespace vd::dump {

namespace {
constexpr size_t kInSize = 256 << 10;
constexpr size_t kOutSize = 256 << 10;

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}
}  // namespace

TCompression CompressionOfName(std::string_view path) {
  if (EndsWith(path, ".gz")) return TCompression::Gzip;
  if (EndsWith(path, ".zst")) return TCompression::Zstd;
  return TCompression::None;
}

int64_t TMemorySource::Read(char* buf, size_t n) {
  n = std::min(n, FData.size());
  std::memcpy(buf, FData.data(), n);
  FData.remove_prefix(n);
  return int64_t(n);
}

// ---- Unpacking ----------------------------------------------------------------

struct TUnpackSource::TState {
  z_stream Z{};
  bool ZOpen = false;
  ZSTD_DCtx* Zstd = nullptr;
  bool FrameOpen = false;  // a zstd frame has begun and not ended
  ~TState() {
    if (ZOpen) inflateEnd(&Z);
    if (Zstd) ZSTD_freeDCtx(Zstd);
  }
};

TUnpackSource::TUnpackSource(TByteSource& raw) : FRaw(raw), FIn(new char[kInSize]) {}
TUnpackSource::~TUnpackSource() = default;

// Reads more raw bytes behind what is left; false on a read error.
bool TUnpackSource::FillIn() {
  if (FInPos > 0) {
    std::memmove(FIn.get(), FIn.get() + FInPos, FInLen - FInPos);
    FInLen -= FInPos;
    FInPos = 0;
  }
  while (!FRawEnd && FInLen < kInSize) {
    const int64_t got = FRaw.Read(FIn.get() + FInLen, kInSize - FInLen);
    if (got < 0) {
      FError = FRaw.Error();
      return false;
    }
    if (got == 0) FRawEnd = true;
    FInLen += size_t(got);
    FRawRead += got;
    if (got > 0) break;
  }
  return true;
}

int64_t TUnpackSource::Read(char* buf, size_t n) {
  if (!FError.empty()) return -1;
  if (!FStarted) {
    FStarted = true;
    while (!FRawEnd && FInLen < 4)
      if (!FillIn()) return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(FIn.get());
    FState = std::make_unique<TState>();
    if (FInLen >= 2 && p[0] == 0x1F && p[1] == 0x8B) {
      FKind = TCompression::Gzip;
      if (inflateInit2(&FState->Z, 15 + 16) != Z_OK) {
        FError = "cannot start gzip unpacking";
        return -1;
      }
      FState->ZOpen = true;
    } else if (FInLen >= 4 && p[0] == 0x28 && p[1] == 0xB5 && p[2] == 0x2F && p[3] == 0xFD) {
      FKind = TCompression::Zstd;
      FState->Zstd = ZSTD_createDCtx();
      if (!FState->Zstd) {
        FError = "cannot start zstd unpacking";
        return -1;
      }
    }
  }
  if (n == 0 || FDone) return 0;
  switch (FKind) {
    case TCompression::Gzip: return ReadGzip(buf, n);
    case TCompression::Zstd: return ReadZstd(buf, n);
    case TCompression::None: break;
  }
  if (FInPos == FInLen) {
    if (FRawEnd) return 0;
    FInPos = FInLen = 0;
    if (!FillIn()) return -1;
  }
  const size_t take = std::min(n, FInLen - FInPos);
  std::memcpy(buf, FIn.get() + FInPos, take);
  FInPos += take;
  return int64_t(take);
}

int64_t TUnpackSource::ReadGzip(char* buf, size_t n) {
  z_stream& z = FState->Z;
  for (;;) {
    if (FInPos == FInLen && !FRawEnd && !FillIn()) return -1;
    z.next_in = reinterpret_cast<Bytef*>(FIn.get() + FInPos);
    z.avail_in = uInt(FInLen - FInPos);
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = uInt(std::min<size_t>(n, 1u << 30));
    const int rc = inflate(&z, Z_NO_FLUSH);
    FInPos = FInLen - z.avail_in;
    const size_t made = size_t(reinterpret_cast<char*>(z.next_out) - buf);
    if (rc == Z_STREAM_END) {
      // Another member may follow (concatenated gzip files are one stream).
      if (FInPos == FInLen && !FRawEnd && !FillIn()) return -1;
      if (FInPos == FInLen) {
        FDone = true;
      } else {
        inflateReset(&z);
      }
      if (made > 0 || FDone) return int64_t(made);
      continue;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      FError = std::string("the gzip data is damaged (") + (z.msg ? z.msg : "inflate failed") + ")";
      return -1;
    }
    if (made > 0) return int64_t(made);
    if (FInPos == FInLen && FRawEnd) {
      FError = "the gzip data ends early";
      return -1;
    }
  }
}

int64_t TUnpackSource::ReadZstd(char* buf, size_t n) {
  for (;;) {
    if (FInPos == FInLen && !FRawEnd && !FillIn()) return -1;
    ZSTD_inBuffer in{FIn.get(), FInLen, FInPos};
    ZSTD_outBuffer out{buf, n, 0};
    const size_t rc = ZSTD_decompressStream(FState->Zstd, &out, &in);
    if (ZSTD_isError(rc)) {
      FError = std::string("the zstd data is damaged (") + ZSTD_getErrorName(rc) + ")";
      return -1;
    }
    // 0 means a frame has just ended; a call that did nothing says nothing.
    if (in.pos != FInPos || out.pos > 0) FState->FrameOpen = rc != 0;
    FInPos = in.pos;
    if (out.pos > 0) return int64_t(out.pos);
    if (FInPos == FInLen && FRawEnd) {
      if (FState->FrameOpen) {
        FError = "the zstd data ends early";
        return -1;
      }
      FDone = true;
      return 0;
    }
  }
}

// ---- Packing ------------------------------------------------------------------

namespace {

class TGzipSink : public TByteSink {
 public:
  explicit TGzipSink(TByteSink& out) : FOut(out), FBuf(new char[kOutSize]) {
    FOk = deflateInit2(&FZ, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    if (!FOk) FError = "cannot start gzip packing";
  }
  ~TGzipSink() override { deflateEnd(&FZ); }
  bool Write(const char* data, size_t n) override { return Pump(data, n, Z_NO_FLUSH); }
  bool Finish() override { return Pump(nullptr, 0, Z_FINISH) && FOut.Finish(); }
  std::string Error() const override { return FError.empty() ? FOut.Error() : FError; }

 private:
  bool Pump(const char* data, size_t n, int flush) {
    if (!FOk) return false;
    FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    FZ.avail_in = uInt(n);
    for (;;) {
      FZ.next_out = reinterpret_cast<Bytef*>(FBuf.get());
      FZ.avail_out = uInt(kOutSize);
      const int rc = deflate(&FZ, flush);
      const size_t made = kOutSize - FZ.avail_out;
      if (made && !FOut.Write(FBuf.get(), made)) return FOk = false;
      if (rc == Z_STREAM_END) return true;
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        FError = "gzip packing failed";
        return FOk = false;
      }
      if (flush == Z_NO_FLUSH && FZ.avail_in == 0 && FZ.avail_out != 0) return true;
    }
  }
  TByteSink& FOut;
  std::unique_ptr<char[]> FBuf;
  z_stream FZ{};
  bool FOk = false;
  std::string FError;
};

class TZstdSink : public TByteSink {
 public:
  explicit TZstdSink(TByteSink& out) : FOut(out), FBuf(new char[ZSTD_CStreamOutSize()]), FCtx(ZSTD_createCCtx()) {
    if (!FCtx) FError = "cannot start zstd packing";
  }
  ~TZstdSink() override { ZSTD_freeCCtx(FCtx); }
  bool Write(const char* data, size_t n) override { return Pump(data, n, ZSTD_e_continue); }
  bool Finish() override { return Pump(nullptr, 0, ZSTD_e_end) && FOut.Finish(); }
  std::string Error() const override { return FError.empty() ? FOut.Error() : FError; }

 private:
  bool Pump(const char* data, size_t n, ZSTD_EndDirective mode) {
    if (!FCtx || !FError.empty()) return false;
    ZSTD_inBuffer in{data, n, 0};
    const size_t cap = ZSTD_CStreamOutSize();
    for (;;) {
      ZSTD_outBuffer out{FBuf.get(), cap, 0};
      const size_t rc = ZSTD_compressStream2(FCtx, &out, &in, mode);
      if (ZSTD_isError(rc)) {
        FError = std::string("zstd packing failed (") + ZSTD_getErrorName(rc) + ")";
        return false;
      }
      if (out.pos && !FOut.Write(FBuf.get(), out.pos)) return false;
      if (mode == ZSTD_e_end ? rc == 0 : in.pos == in.size) return true;
    }
  }
  TByteSink& FOut;
  std::unique_ptr<char[]> FBuf;
  ZSTD_CCtx* FCtx;
  std::string FError;
};

class TPassSink : public TByteSink {
 public:
  explicit TPassSink(TByteSink& out) : FOut(out) {}
  bool Write(const char* data, size_t n) override { return FOut.Write(data, n); }
  bool Finish() override { return FOut.Finish(); }
  std::string Error() const override { return FOut.Error(); }

 private:
  TByteSink& FOut;
};

}  // namespace

std::unique_ptr<TByteSink> MakePackSink(TCompression kind, TByteSink& out) {
  switch (kind) {
    case TCompression::Gzip: return std::make_unique<TGzipSink>(out);
    case TCompression::Zstd: return std::make_unique<TZstdSink>(out);
    case TCompression::None: break;
  }
  return std::make_unique<TPassSink>(out);
}

}  // namespace vd::dump
