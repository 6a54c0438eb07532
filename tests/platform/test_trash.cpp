// The freedesktop trash on real folders: any name's bytes, collisions, links,
// the trash at the top of another file system, and what the desktop reads back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PrivateHome.h"
#include "ScratchMount.h"
#include "TestUtil.h"
#include "platform/Platform.h"
#include "platform/posix/PosixTrash.h"

namespace fs = std::filesystem;
using namespace vd;

namespace {

std::string Read(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Write(const std::string& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string Uid() { return std::to_string(::getuid()); }

// A key's value in a trash info file.
std::string Key(const std::string& info, const std::string& key) {
  const size_t at = info.find("\n" + key + "=");
  if (at == std::string::npos) return "(no " + key + ")";
  const size_t from = at + key.size() + 2;
  return info.substr(from, info.find('\n', from) - from);
}

size_t CountEntries(const std::string& folder) {
  std::error_code ec;
  size_t n = 0;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) ++n;
  return n;
}

// Runs a shell command; its exit status, and what it printed in `out`.
int Shell(const std::string& command, std::string* out = nullptr) {
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
  const int status = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(Trash, AnyNameGoesWithItsBytesRecorded) {
  std::string longName, longEncoded;
  for (int i = 0; i < 127; ++i) longName += "\xC3\xA9", longEncoded += "%C3%A9";  // "é": a cut must not split it
  longName += "x", longEncoded += "x";                                         // 255 bytes
  const struct {
    std::string Name, Encoded, Entry;
  } cases[] = {
      {"\xFF-raw.bin", "%FF-raw.bin", "\xFF-raw.bin"},
      {"new\nline", "new%0Aline", "new\nline"},
      {"%41", "%2541", "%41"},
      {"-leading-dash", "-leading-dash", "-leading-dash"},
      {"a b&c#?", "a%20b%26c%23%3F", "a b&c#?"},
      {longName, longEncoded, longName.substr(0, 244)},  // its info file's name must fit too
  };
  vdtest::TPrivateHome home;
  vdtest::TEnv tz("TZ", "VDT-05:30");  // local time is not UTC here: DeletionDate must be local
  vdtest::TempDir t;
  const std::string folder = fs::canonical(t.Path()).string();  // plain characters only
  for (const auto& c : cases) {
    const std::string item = folder + "/" + c.Name;
    Write(item, c.Name);
    const time_t before = ::time(nullptr);
    ASSERT_TRUE(platform::MoveToTrash(item)) << c.Encoded;
    EXPECT_FALSE(platform::PathExistsNoFollow(item));
    EXPECT_EQ(Read(home.Trash + "/files/" + c.Entry), c.Name);
    const std::string info = Read(home.Trash + "/info/" + c.Entry + ".trashinfo");
    EXPECT_EQ(info.substr(0, 13), "[Trash Info]\n") << c.Encoded;
    EXPECT_EQ(Key(info, "Path"), folder + "/" + c.Encoded);
    struct tm tm {};
    const std::string date = Key(info, "DeletionDate");
    ASSERT_NE(::strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &tm), nullptr) << date;
    tm.tm_isdst = -1;
    EXPECT_LE(std::abs(::mktime(&tm) - before), 60) << date;
  }
}

TEST(Trash, ANameTakenInTheTrashGetsTheNextFreeOne) {
  vdtest::TPrivateHome home;
  fs::create_directories(home.Trash + "/info");
  fs::create_directories(home.Trash + "/files");
  // What other programs left: an info file without its item, an item without its info.
  Write(home.Trash + "/info/same.2.txt.trashinfo", "theirs");
  Write(home.Trash + "/files/same.3.txt", "theirs");
  vdtest::TempDir a, b, c;
  const std::pair<const vdtest::TempDir*, const char*> expected[] = {
      {&a, "same.txt"}, {&b, "same.4.txt"}, {&c, "same.5.txt"}};
  for (const auto& [dir, entry] : expected) {
    const std::string item = fs::canonical(dir->Path()).string() + "/same.txt";
    Write(item, item);
    ASSERT_TRUE(platform::MoveToTrash(item)) << entry;
    EXPECT_EQ(Read(home.Trash + "/files/" + entry), item);
    EXPECT_EQ(Key(Read(home.Trash + "/info/" + entry + ".trashinfo"), "Path"), item);
  }
  EXPECT_EQ(Read(home.Trash + "/info/same.2.txt.trashinfo"), "theirs");
  EXPECT_EQ(Read(home.Trash + "/files/same.3.txt"), "theirs");
}

TEST(Trash, LinksGoAsLinksAndAFailedMoveLeavesNoTrace) {
  vdtest::TPrivateHome home;
  vdtest::TempDir t;
  const std::string kept = t.File("target/keep.txt", 4);
  fs::create_symlink("/nonexistent/vorndale", t / "dangling");
  fs::create_directory_symlink(t / "target", t / "dirlink");
  ASSERT_TRUE(platform::MoveToTrash(t / "dangling"));
  EXPECT_EQ(fs::read_symlink(home.Trash + "/files/dangling"), "/nonexistent/vorndale");
  ASSERT_TRUE(platform::MoveToTrash(t / "dirlink"));
  EXPECT_TRUE(fs::is_symlink(home.Trash + "/files/dirlink"));
  EXPECT_TRUE(fs::exists(kept));
  // The folder that holds the trash cannot go into it: the rename fails and
  // the info file written before it goes again.
  EXPECT_FALSE(platform::MoveToTrash(home.Dir.Path() + "/data"));
  EXPECT_TRUE(fs::is_symlink(home.Trash + "/files/dangling"));
  EXPECT_EQ(CountEntries(home.Trash + "/info"), 2u);
  EXPECT_FALSE(platform::MoveToTrash(t / "never-there"));
}

TEST(Trash, OtherFileSystemsUseTheTrashAtTheirTop) {
  const struct {
    const char* Name;
    const char* Shared;  // what $topdir/.Trash is beforehand
    std::string Trash;   // the trash used, below the top
  } cases[] = {
      {"no .Trash: .Trash-$uid", "", ".Trash-" + Uid()},
      {"a sticky .Trash shared by all: our folder in it", "sticky", ".Trash/" + Uid()},
      {"a .Trash without the sticky bit is not used", "plain", ".Trash-" + Uid()},
      {"a .Trash that is a link is not followed", "link", ".Trash-" + Uid()},
  };
  for (const auto& c : cases) {
    vdtest::TPrivateHome home;
    vdtest::TempDir t, elsewhere;
    const std::string top = fs::canonical(t.Dir("volume")).string();
    auto mount = vdtest::TScratchMount::Tmpfs(top);
    if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
    const std::string shared = std::string(c.Shared) == "link" ? elsewhere.Path() + "/.Trash" : top + "/.Trash";
    if (*c.Shared) {
      fs::create_directory(shared);
      ::chmod(shared.c_str(), std::string(c.Shared) == "plain" ? 0777 : 01777);
      if (shared != top + "/.Trash") fs::create_directory_symlink(shared, top + "/.Trash");
    }
    t.File("volume/sub/doc.txt", 3);
    ASSERT_TRUE(platform::MoveToTrash(top + "/sub/doc.txt")) << c.Name;
    const std::string trash = top + "/" + c.Trash;
    EXPECT_TRUE(fs::exists(trash + "/files/doc.txt")) << c.Name;
    EXPECT_EQ(Key(Read(trash + "/info/doc.txt.trashinfo"), "Path"), "sub/doc.txt") << c.Name;
    struct stat st {};
    ::lstat(trash.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << c.Name;
    if (shared != top + "/.Trash") {
      EXPECT_TRUE(fs::is_empty(shared)) << c.Name;
    }
    EXPECT_FALSE(fs::exists(home.Trash)) << c.Name;  // nothing went home, nothing was copied
  }
}

// What we trash is what the desktop's own trash code would have done: GLib
// puts its twins into the same trash beside ours; and where the desktop's
// trash backend answers, it lists ours with their original paths.
TEST(Trash, TheDesktopSeesIt) {
  if (Shell("gio --version") != 0) GTEST_SKIP() << "gio is not installed";
  vdtest::TPrivateHome home;
  vdtest::TempDir ours, theirs;
  const std::string names[] = {"\xFF odd", "-dash", "%41"};
  std::vector<std::string> trashed;
  for (const auto& n : names) {
    Write(theirs / n, "theirs");
    Write(ours / n, "ours");
    ASSERT_EQ(Shell("gio trash -- '" + (theirs / n) + "'"), 0) << n;  // no quote in these names
    trashed.push_back(fs::canonical(ours.Path()).string() + "/" + n);
    ASSERT_TRUE(platform::MoveToTrash(trashed.back())) << n;
  }
  EXPECT_EQ(CountEntries(home.Trash + "/files"), 2 * std::size(names));
  EXPECT_EQ(CountEntries(home.Trash + "/info"), 2 * std::size(names));
  std::string listing;
  if (Shell("dbus-run-session -- gio trash --list", &listing) != 0) {
    std::cout << "gio trash --list cannot list here (no trash backend): " << listing.substr(0, 200) << "\n";
    return;
  }
  for (const auto& p : trashed) EXPECT_NE(listing.find(p), std::string::npos) << p << " not in\n" << listing;
}
