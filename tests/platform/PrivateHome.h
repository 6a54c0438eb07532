// A home and a data folder of the test's own, so that no test ever touches the
// real user's trash.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#include "TestUtil.h"

namespace vdtest {

// Sets an environment variable for the lifetime of the object.
class TEnv {
 public:
  TEnv(const char* name, const std::string& value) : FName(name) {
    if (const char* old = std::getenv(name)) {
      FOld = old;
      FHad = true;
    }
    ::setenv(name, value.c_str(), 1);
    ::tzset();
  }
  ~TEnv() {
    FHad ? ::setenv(FName, FOld.c_str(), 1) : ::unsetenv(FName);
    ::tzset();
  }
  TEnv(const TEnv&) = delete;
  TEnv& operator=(const TEnv&) = delete;

 private:
  const char* FName;
  std::string FOld;
  bool FHad = false;
};

// $HOME and $XDG_DATA_HOME in a temporary folder; the home trash is `Trash`.
struct TPrivateHome {
  TempDir Dir;
  TEnv Home{"HOME", Dir.Dir("home")};
  TEnv DataHome{"XDG_DATA_HOME", Dir.Path() + "/data"};
  std::string Trash = Dir.Path() + "/data/Trash";
};

}  // namespace vdtest
