// Wildcard masks: "*" any run, "?" one character, "[...]" / "[!...]" sets with
// ranges; the whole text must match; ASCII letters match without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"

namespace vd {

class EMaskException : public EError {
 public:
  EMaskException(const std::string& mask, int position);
};

class TFileMask {
 public:
  // Throws EMaskException for a malformed mask.
  explicit TFileMask(std::string_view mask);
  bool Matches(std::string_view text) const;

 private:
  enum class Kind : uint8_t { Literal, Any, Set };
  struct State {
    bool SkipTo = false;  // preceded by "*"
    Kind K = Kind::Literal;
    bool Negate = false;
    char32_t Literal = 0;
    uint8_t Set[32] = {};  // members among codes 0..255
    bool InSet(char32_t c) const { return c < 256 && (Set[c >> 3] & (1u << (c & 7))); }
  };
  bool StateMatches(const State& s, char32_t c) const;

  std::vector<State> FStates;
  bool FTrailingStar = false;
};

// Decodes text as UTF-8 code points; a byte that is not valid UTF-8 counts as one
// character of its own value.
std::u32string DecodeLenientUtf8(std::string_view s);

}  // namespace vd
