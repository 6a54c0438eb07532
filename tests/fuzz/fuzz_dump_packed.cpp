// The scan file reader behind gzip and zstd: the input after the first byte is
// the text, packed as the writer packs it (the first byte picks gzip or zstd,
// and whether the text is split into two members or frames, as concatenated
// files are) and then read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/dump/ScanDump.h"

namespace {
void Pack(vd::dump::TCompression kind, std::string_view text, vd::dump::TStringSink& out) {
  const std::unique_ptr<vd::dump::TByteSink> sink = vd::dump::MakePackSink(kind, out);
  if (!sink->Write(text.data(), text.size()) || !sink->Finish()) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t how = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto kind = (how & 1) ? vd::dump::TCompression::Zstd : vd::dump::TCompression::Gzip;
  vd::dump::TStringSink packed;
  if (how & 2) {
    const size_t cut = text.size() * (how >> 2) / 63;
    Pack(kind, text.substr(0, cut), packed);
    Pack(kind, text.substr(cut), packed);
  } else {
    Pack(kind, text, packed);
  }
  try {
    const vd::TScanFileRead read = vd::ReadScanData(packed.FData);
    if (!read.Root || read.Compression != kind) __builtin_trap();
  } catch (const vd::EScanFileError&) {
  }
  return 0;
}
