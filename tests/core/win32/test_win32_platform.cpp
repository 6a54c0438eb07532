// The Win32 platform layer on real folders (run under wine in CI): paths, case
// mapping, UTF-16 names, time, listing, drives, temp folder and deletion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "core/scan/DiskScanner.h"
#include "core/layout/HashColor.h"
#include "core/scan/ScanModel.h"
#include "TestUtil.h"
#include "../ScanTreeLookup.h"
#include "platform/Platform.h"
#include "platform/win32/Shell32Ops.h"
#include "platform/win32/Win32Internal.h"
#include "platform/win32/WinStrings.h"

using namespace vd;
namespace pf = vd::platform;
namespace w32 = vd::platform::win32;

namespace {

using vdtest::FindChild;
using vdtest::FindLeaf;

// Creates a file by its UTF-16 path, taken literally; false when the file system refuses the name.
bool MakeFileW(const std::wstring& path, int64_t size = 0) {
  HANDLE h = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool ok = size == 0 || (SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h));
  CloseHandle(h);
  return ok;
}

std::string EnvOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

}  // namespace

TEST(Win32Paths, SeparatorsRootsAndKeys) {
  EXPECT_EQ(pf::PathSeparator(), '\\');
  EXPECT_EQ(pf::PathDelimiters(), "\\:");
  EXPECT_EQ(pf::RemoveTrailingSeparator("C:\\"), "C:");
  EXPECT_EQ(pf::RemoveTrailingSeparator("C:\\data\\"), "C:\\data");
  EXPECT_EQ(pf::RemoveTrailingSeparator("C:\\data"), "C:\\data");
  EXPECT_EQ(pf::RemoveTrailingSeparator("\\"), "\\");
  EXPECT_EQ(pf::JoinPath("C:", "x"), "C:\\x");
  EXPECT_EQ(pf::JoinPath("C:\\", "x"), "C:\\x");
  EXPECT_EQ(pf::JoinPath("C:\\data", "x.txt"), "C:\\data\\x.txt");
  EXPECT_EQ(pf::PathKey("c:\\Daten\\äpfel.txt"), "C:\\DATEN\\ÄPFEL.TXT");
  EXPECT_EQ(pf::PathKey("C:\\A"), pf::PathKey("c:\\a"));  // one file on a case-blind file system
  EXPECT_EQ(ExtractFileName("C:"), "");
  EXPECT_EQ(ExtractFileName("C:\\data\\x.txt"), "x.txt");
  EXPECT_EQ(ExtractExtension("C:\\dir.d\\name"), "");
  EXPECT_EQ(ExtractExtension("C:x.txt"), ".txt");
}

TEST(Win32Strings, Wtf8KeepsEveryUtf16Name) {
  const std::wstring cases[] = {
      L"plain.txt", L"\u00e4\u00f6\u00fc\u00df", L"\U0001F600 smile", std::wstring(L"lone\xD800high"),
      std::wstring(L"lone\xDC00low"), std::wstring(L"\xDC00\xD800reversed"), std::wstring(L"end\xD83D"), L"",
  };
  for (const auto& w : cases) {
    const std::string u = w32::ToUtf8(w);
    EXPECT_EQ(w32::ToWide(u), w) << u;
  }
  EXPECT_EQ(w32::ToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");  // a pair is one code point
  EXPECT_EQ(w32::ToUtf8(std::wstring(L"\xD800")), "\xED\xA0\x80");  // a lone one stays one unit
  EXPECT_EQ(w32::ToWide("a\xFF" "b"), std::wstring(L"a\xFFFD" L"b"));  // not from any file system
}

TEST(Win32CaseMapping, ThroughTheSystemLocale) {
  const struct {
    std::string in, upper, lower;
  } cases[] = {
      {"abc.TXT", "ABC.TXT", "abc.txt"},
      {"éàü", "ÉÀÜ", "éàü"},
      {"ΑΒΓ", "ΑΒΓ", "αβγ"},
      {"Жук", "ЖУК", "жук"},
      {std::string("a\xff\xfe") + "b", std::string("A\xff\xfe") + "B", std::string("a\xff\xfe") + "b"},
      {"x\xED\xA0\x80y", "X\xED\xA0\x80Y", "x\xED\xA0\x80y"},  // a lone surrogate survives
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pf::ToUpperLocale(c.in), c.upper) << c.in;
    EXPECT_EQ(pf::ToLowerLocale(c.in), c.lower) << c.in;
  }
}

TEST(Win32Scan, ExtensionAndCaseRulesOnRealFiles) {
  vdtest::TempDir t;
  t.File("A.JPG", 10);
  t.File("b.jpg", 5);
  t.File("Ärger.ÄÖÜ", 3);
  t.File("archive.tar.gz", 2);
  t.File(".gitignore", 1);
  t.File("noext", 7);
  TDiskScanner s(nullptr);
  auto root = s.Scan(t.Path());
  ASSERT_TRUE(root);
  TExtStat st;
  ASSERT_TRUE(root->ExtStats().Find(".jpg", st));
  EXPECT_EQ(st.Files, 2);
  EXPECT_EQ(st.Bytes, 15);
  ASSERT_TRUE(root->ExtStats().Find(".äöü", st));
  EXPECT_EQ(st.Bytes, 3);
  EXPECT_TRUE(root->ExtStats().Find(".gz", st));
  EXPECT_TRUE(root->ExtStats().Find(".gitignore", st));
  ASSERT_TRUE(root->ExtStats().Find("(none)", st));
  EXPECT_EQ(st.Bytes, 7);
  ASSERT_TRUE(FindLeaf(root.get(), "Ärger.ÄÖÜ"));
  EXPECT_EQ(FindLeaf(root.get(), "Ärger.ÄÖÜ")->FullPath(), t / "Ärger.ÄÖÜ");
  EXPECT_EQ(FindLeaf(root.get(), "A.JPG")->Ext(), ".jpg");
  // Masks compare upper-cased names: "*.äöü" catches Ärger.ÄÖÜ.
  TScanContext ctx;
  ctx.ExcludePattern = true;
  ctx.PatternMasks = {"*.äöü", "a.*"};
  TDiskScanner f(&ctx);
  auto filtered = f.Scan(t.Path());
  EXPECT_FALSE(FindLeaf(filtered.get(), "Ärger.ÄÖÜ"));
  EXPECT_FALSE(FindLeaf(filtered.get(), "A.JPG"));
  EXPECT_TRUE(FindLeaf(filtered.get(), "b.jpg"));
}

TEST(Win32Scan, Utf16NamesSurviveAndHashOverTheirUnits) {
  vdtest::TempDir t;
  const std::wstring dir = vdtest::Wide(t.Path());
  std::vector<std::wstring> names = {L"\U0001F600 smile.txt", std::wstring(255, L'n'), L"Ünïcödé.TXT",
                                     std::wstring(L"lone\xD800surrogate.bin")};
  std::vector<std::wstring> made;
  for (const auto& n : names)
    if (MakeFileW(dir + L"\\" + n, 1)) made.push_back(n);
  ASSERT_GE(made.size(), 3u);
  TDiskScanner s(nullptr);
  auto root = s.Scan(t.Path());
  ASSERT_EQ(root->Leaves.size(), made.size());
  std::set<std::wstring> seen;
  for (const TFileLeaf* f : root->Leaves) {
    const std::wstring w = w32::ToWide(f->Name());
    seen.insert(w);
    EXPECT_TRUE(pf::PathExists(f->FullPath())) << f->FullPath();
    uint32_t h = 0x811C9DC5u;
    for (wchar_t u : w) h = (h ^ uint16_t(u)) * 0x01000193u;
    EXPECT_EQ(HashColor(f->Name()), (h & 0xFFFFFFu) | 0x202020u) << f->FullPath();
  }
  for (const auto& n : made) EXPECT_TRUE(seen.count(n));
  if (made.size() < names.size()) std::printf("note: %zu name(s) refused by this file system\n", names.size() - made.size());
}

TEST(Win32Scan, DriveRootWithAndWithoutBackslash) {
  const std::string drive = EnvOr("VORNDALE_TEST_DRIVE", "");
  if (drive.empty()) GTEST_SKIP() << "no test drive mapped (VORNDALE_TEST_DRIVE)";
  ASSERT_TRUE(pf::DirectoryExists(drive + "\\"));
  const std::string sub = drive + "\\vd-root-test";
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(MakeFileW(vdtest::Wide(sub + "\\inner.bin"), 40));
  ASSERT_TRUE(MakeFileW(vdtest::Wide(drive + "\\top.txt"), 2));
  TDiskScanner s(nullptr);
  for (const std::string& root : {drive, drive + "\\"}) {
    auto tree = s.Scan(root);
    ASSERT_TRUE(tree) << root;
    EXPECT_EQ(tree->FullPath(), drive);
    EXPECT_EQ(tree->Name(), drive);
    const TDirNode* child = FindChild(tree.get(), "vd-root-test");
    ASSERT_TRUE(child);
    EXPECT_EQ(child->FullPath(), sub);
    ASSERT_TRUE(FindLeaf(child, "inner.bin"));
    EXPECT_EQ(FindLeaf(child, "inner.bin")->FullPath(), sub + "\\inner.bin");
    ASSERT_TRUE(FindLeaf(tree.get(), "top.txt"));
    EXPECT_EQ(FindLeaf(tree.get(), "top.txt")->FullPath(), drive + "\\top.txt");
  }
  EXPECT_TRUE(pf::DeleteTreeNoFollow(sub));
  EXPECT_TRUE(pf::DeleteTreeNoFollow(drive + "\\top.txt"));
  EXPECT_GT(pf::GetUsedBytes(drive + "\\"), 0);
}

TEST(Win32Scan, PathsLongerThanMaxPath) {
  vdtest::TempDir t;
  std::wstring p = vdtest::Wide(t.Path());
  std::string rel;
  for (int i = 0; i < 40; ++i) {  // about 800 characters
    p += L"\\a-rather-long-name";
    rel += "\\a-rather-long-name";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + p).c_str(), nullptr)) << i;
  }
  ASSERT_TRUE(MakeFileW(p + L"\\bottom.dat", 77));
  TDiskScanner s(nullptr);
  auto root = s.Scan(t.Path());
  EXPECT_EQ(root->TotalDirs, 41);
  EXPECT_EQ(root->TotalFiles, 1);
  EXPECT_EQ(root->TotalSize, 77);
  const TDirNode* n = root.get();
  while (!n->Children.empty()) n = n->Children[0];
  ASSERT_EQ(n->Leaves.size(), 1u);
  EXPECT_EQ(n->Leaves[0]->FullPath(), t.Path() + rel + "\\bottom.dat");
  EXPECT_TRUE(pf::PathExists(n->Leaves[0]->FullPath()));
  EXPECT_TRUE(pf::DeleteTreeNoFollow(t.Path() + "\\a-rather-long-name"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t.Path() + "\\a-rather-long-name"));
}

TEST(Win32Listing, KindsSizesAndTimes) {
  vdtest::TempDir t;
  t.File("big", int64_t(5) << 30, 1600000000, 500);  // above 4 GiB: both halves of the size
  t.Dir("sub");
  t.File("sub/inner", 3);
  pf::TDirReader r;
  ASSERT_TRUE(r.OpenPath(t.Path() + "\\"));
  pf::TDirEntry e;
  int files = 0, dirs = 0;
  while (r.Next(e)) {
    if (e.Kind == pf::TEntryKind::File) {
      ++files;
      EXPECT_EQ(std::string(e.Name), "big");
      EXPECT_EQ(e.Size, int64_t(5) << 30);
      EXPECT_EQ(e.LastWrite.Ticks(), (1600000000ULL + 11644473600ULL) * 10000000ULL + 5);
    } else if (e.Kind == pf::TEntryKind::Folder) {
      ++dirs;
      pf::TDirReader child;
      ASSERT_TRUE(child.OpenChild(r, e.Name));
      pf::TDirEntry ce;
      ASSERT_TRUE(child.Next(ce));
      EXPECT_EQ(std::string(ce.Name), "inner");
      // Whole clusters on disk: three bytes take one.
      EXPECT_GE(ce.Allocated, 512);
      EXPECT_EQ(ce.Allocated % 512, 0);
      EXPECT_FALSE(child.Next(ce));
    }
  }
  EXPECT_EQ(files, 1);
  EXPECT_EQ(dirs, 1);
  r.Close();
  EXPECT_FALSE(r.IsOpen());
  EXPECT_FALSE(r.OpenPath(t / "missing"));
  EXPECT_EQ(r.Error(), vd::TReadError::Vanished);
  EXPECT_FALSE(r.Next(e));
}

// Wine shows the host's symbolic links as what they point to and cannot make
// reparse points, so the link rules are checked on the attributes a Windows
// listing gives for junctions and symbolic links.
TEST(Win32Listing, ReparsePointsAreSkippedByTheirAttributes) {
  const struct {
    uint32_t attrs;
    pf::TEntryKind kind;
  } cases[] = {
      {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, pf::TEntryKind::Skipped},  // junction, folder link
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE, pf::TEntryKind::Skipped},    // file link
      {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, pf::TEntryKind::Folder},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, pf::TEntryKind::File},
      {FILE_ATTRIBUTE_NORMAL, pf::TEntryKind::File},
  };
  for (const auto& c : cases) EXPECT_EQ(w32::KindOfAttributes(c.attrs), c.kind) << std::hex << c.attrs;
}

TEST(Win32Delete, AReparsePointIsRemovedAsTheLinkAlone) {
  // A folder listed as a link: its contents are never walked, so with a real
  // folder behind the name the removal fails and everything in it stays.
  vdtest::TempDir t;
  const std::string inner = t.File("target/precious.txt", 10);
  EXPECT_FALSE(w32::RemoveListedEntry(vdtest::Wide(t / "target"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_TRUE(pf::PathExists(inner));
  // The same folder listed as a folder goes with its contents.
  EXPECT_TRUE(w32::RemoveListedEntry(vdtest::Wide(t / "target"), FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "target"));
}

// Wine cannot mount a volume on a folder, so the test says which folder is one.
TEST(Win32Delete, AFolderHoldingAMountedVolumeIsRefusedWhole) {
  vdtest::TempDir t;
  const char* kept[] = {"box\\a.txt", "box\\sub\\mnt\\on-volume.txt", "box\\z\\b.txt"};
  for (const char* f : kept) t.File(f, 1);
  const std::string loose = t.File("box\\loose.txt", 1);
  const std::wstring mounted = vdtest::Wide(t / "box\\sub\\mnt");
  auto saved = w32::MountPointTest();
  w32::MountPointTest() = [mounted](const std::wstring& p, uint32_t, uint32_t) { return p == mounted; };
  for (const char* chosen : {"box", "box\\sub\\", "box\\sub\\mnt"}) {
    EXPECT_FALSE(pf::DeleteTreeNoFollow(t / chosen)) << chosen;
    EXPECT_FALSE(pf::MoveToTrash(t / chosen)) << chosen;
    EXPECT_FALSE(w32::ShellDeletePaths({t / chosen}, false)) << chosen;
  }
  const bool looseGone = pf::DeleteTreeNoFollow(loose);
  w32::MountPointTest() = saved;
  for (const char* f : kept) EXPECT_TRUE(pf::PathExistsNoFollow(t / f)) << f;
  EXPECT_TRUE(looseGone);
}

TEST(Win32Time, TickCountMovesForward) {
  const uint32_t a = pf::GetTickCount();
  Sleep(40);
  const uint32_t b = pf::GetTickCount();
  EXPECT_GE(uint32_t(b - a), 20u);
  EXPECT_LT(uint32_t(b - a), 5000u);
}

TEST(Win32Time, TheBiasInForceNowAppliesToEveryDate) {
  TIME_ZONE_INFORMATION tz;
  const DWORD id = GetTimeZoneInformation(&tz);
  LONG bias = tz.Bias;
  if (id == TIME_ZONE_ID_DAYLIGHT) bias += tz.DaylightBias;
  if (id == TIME_ZONE_ID_STANDARD) bias += tz.StandardBias;
  // 2000-01-01 12:00:00.250 UTC and 2000-07-01 12:00:00.250 UTC
  const uint64_t jan = (946728000ULL + 11644473600ULL) * 10000000ULL + 2500000ULL;
  const uint64_t jul = (962452800ULL + 11644473600ULL) * 10000000ULL + 2500000ULL;
  for (uint64_t ticks : {jan, jul}) {
    TSystemTime st;
    ASSERT_TRUE(pf::FileTimeToLocalSystemTime(TFileTime::FromTicks(ticks), st));
    EXPECT_EQ(st.Hour * 60 + st.Minute, 12 * 60 - bias);
    EXPECT_EQ(st.Milliseconds, 250);
    EXPECT_EQ(st.Year, 2000);
  }
  TSystemTime st;
  EXPECT_FALSE(pf::FileTimeToLocalSystemTime(TFileTime::FromTicks(~0ULL), st));  // beyond the calendar
  EXPECT_GT(pf::CurrentFileTime().Ticks(), jul);
}

TEST(Win32Drives, OnlyFixedAndRemovableDrivesThatExist) {
  const auto drives = pf::GetDrives();
  ASSERT_FALSE(drives.empty());
  std::wstring all(4096, L'\0');
  ASSERT_GT(GetLogicalDriveStringsW(4095, all.data()), 0u);
  std::vector<std::string> expected;
  for (const wchar_t* p = all.c_str(); *p; p += wcslen(p) + 1) {
    const UINT type = GetDriveTypeW(p);
    const DWORD attrs = GetFileAttributesW(p);
    const bool exists = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
    if ((type == DRIVE_FIXED || type == DRIVE_REMOVABLE) && exists) expected.push_back(w32::ToUtf8(p));
  }
  EXPECT_EQ(drives, expected);
  for (const auto& d : drives) {
    EXPECT_EQ(d.size(), 3u) << d;  // "C:\"
    EXPECT_TRUE(pf::DirectoryExists(d)) << d;
  }
  // The runner maps a CD-ROM drive and a drive whose folder is gone; neither is offered.
  const std::string excluded = EnvOr("VORNDALE_TEST_EXCLUDED_DRIVES", "");
  for (const char letter : excluded) {
    for (const auto& d : drives) EXPECT_NE(d[0], letter) << d;
  }
}

TEST(Win32Drives, FoldersSpaceAndTemp) {
  vdtest::TempDir t;
  const std::string file = t.File("f.txt", 1);
  EXPECT_TRUE(pf::DirectoryExists(t.Path()));
  EXPECT_TRUE(pf::DirectoryExists(t.Path() + "\\"));
  EXPECT_FALSE(pf::DirectoryExists(file));
  EXPECT_FALSE(pf::DirectoryExists(""));
  EXPECT_TRUE(pf::PathExists(file));
  EXPECT_TRUE(pf::PathExists(t.Path()));
  EXPECT_FALSE(pf::PathExists(t / "missing"));
  EXPECT_GT(pf::GetUsedBytes("C:\\"), 0);
  EXPECT_GT(pf::GetUsedBytes("C:"), 0);
  EXPECT_EQ(pf::GetUsedBytes(t / "missing\\"), 0);
  const std::string temp = pf::GetTempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), '\\');
  EXPECT_EQ(temp.find('~'), std::string::npos) << temp;  // the long form
  EXPECT_TRUE(pf::DirectoryExists(temp));
  void* block = pf::AllocateArenaBlock(pf::kArenaBlockSize);
  ASSERT_TRUE(block);
  static_cast<char*>(block)[pf::kArenaBlockSize - 1] = 1;
  pf::FreeArenaBlock(block, pf::kArenaBlockSize);
}

TEST(Win32Delete, TreesFilesAndRoots) {
  vdtest::TempDir t;
  t.File("d/e/f.txt", 1);
  t.File("d/g.txt", 1);
  const std::string ro = t.File("d/readonly.txt", 1);
  SetFileAttributesW(vdtest::Wide(ro).c_str(), FILE_ATTRIBUTE_READONLY);
  t.File("single", 1);
  EXPECT_TRUE(pf::DeleteTreeNoFollow(t / "single"));
  EXPECT_TRUE(pf::DeleteTreeNoFollow(t / "d\\"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "d"));
  EXPECT_FALSE(pf::DeleteTreeNoFollow(t / "missing"));
  EXPECT_FALSE(pf::DeleteTreeNoFollow("C:\\"));
  EXPECT_FALSE(pf::DeleteTreeNoFollow("C:"));
  EXPECT_TRUE(std::filesystem::is_empty(t.Path()));
}
