// The scan file reader behind gzip and zstd: the input after the first byte is
// the text, packed (the first byte picks gzip or zstd, and whether the text is
// split into two members or frames, as concatenated files are) and then read.
// Packed here with the smallest tables the libraries have: the writer's
// settings cost more time per input than the reading does.
#include <zlib.h>
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/dump/ScanDump.h"

namespace {

void PackGzip(std::string_view text, std::string& out) {
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, 16 + 9, 1, Z_DEFAULT_STRATEGY) != Z_OK) __builtin_trap();
  std::string buf(deflateBound(&z, uLong(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = uInt(text.size());
  z.next_out = reinterpret_cast<Bytef*>(buf.data());
  z.avail_out = uInt(buf.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) __builtin_trap();
  out.append(buf.data(), z.total_out);
  deflateEnd(&z);
}

void PackZstd(std::string_view text, std::string& out) {
  std::string buf(ZSTD_compressBound(text.size()), '\0');
  const size_t n = ZSTD_compress(buf.data(), buf.size(), text.data(), text.size(), 1);
  if (ZSTD_isError(n)) __builtin_trap();
  out.append(buf.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t how = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool zstd = how & 1;
  const auto pack = zstd ? PackZstd : PackGzip;
  std::string packed;
  if (how & 2) {
    const size_t cut = text.size() * (how >> 2) / 63;
    pack(text.substr(0, cut), packed);
    pack(text.substr(cut), packed);
  } else {
    pack(text, packed);
  }
  try {
    const vd::TScanFileRead read = vd::ReadScanData(packed);
    const auto kind = zstd ? vd::dump::TCompression::Zstd : vd::dump::TCompression::Gzip;
    if (!read.Root || read.Compression != kind) __builtin_trap();
  } catch (const vd::EScanFileError&) {
  }
  return 0;
}
