// Scan files as "Open Scan..." and --open read them: any bytes, plain or packed
// (told apart by their first bytes). What reads without an error must write and
// read back, and the second writing must give the bytes of the first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/dump/ScanDump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vd::TScanFileRead read;
  try {
    read = vd::ReadScanData(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const vd::EScanFileError&) {
    return 0;
  }
  if (!read.Root) __builtin_trap();
  const std::string once = vd::WriteScanString(*read.Root);
  const vd::TScanFileRead again = vd::ReadScanData(once);  // an error here escapes: a failure
  if (!again.Root || vd::WriteScanString(*again.Root) != once) __builtin_trap();
  return 0;
}
