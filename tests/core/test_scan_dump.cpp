// Scan files: the round trip, hand-written samples, hostile input, packing and
// the all-or-nothing write.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ScanTreeLookup.h"
#include "TestUtil.h"
#include "core/dump/ScanDump.h"
#include "core/scan/DiskScanner.h"
#include "platform/Platform.h"
#ifndef _WIN32
#include "platform/ScratchMount.h"
#endif

using namespace vd;
using vdtest::FindChild;
using vdtest::FindLeaf;

namespace {

const std::string kHead = R"([1,2,{"progname":"test","progver":"0","timestamp":1700000000},)";

TFileTime Ft(int64_t unixSeconds) { return UnixSecondsToFileTime(unixSeconds); }

// Names with every kind of byte a file system allows.
std::unique_ptr<TDirNode> SampleTree() {
  TTreeBuilder b("/data/scan root");
  TDirNode* root = b.Root();
  b.AddFile(root, "plain.txt", 10, Ft(1700000000));
  b.AddFile(root, "quote\"back\\slash", 0);
  b.AddFile(root, std::string("ctl\x01\n\t\x7f", 7), 1, Ft(-86400 * 365));
  b.AddFile(root, "latin1-\xE9\xFF-bad", 3, Ft(1));
  b.AddFile(root, "utf8-\xC3\xA9\xF0\x9F\x98\x80.JPG", 123456789012LL, Ft(1600000000));
  TDirNode* sub = b.AddDir(root, "sub \xC0\xAF");
  b.AddFile(sub, "a.jpg", 5);
  b.AddDir(sub, "empty");
  return b.Finish();
}

std::string ReadFileBytes(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void ExpectSameTree(const TDirNode& a, const TDirNode& b) {
  EXPECT_EQ(a.FullPath(), b.FullPath());
  EXPECT_EQ(a.TotalSize, b.TotalSize);
  EXPECT_EQ(a.TotalFiles, b.TotalFiles);
  EXPECT_EQ(a.TotalDirs, b.TotalDirs);
  const auto sa = a.ExtStats().ToSortedArrayByBytesDesc(), sb = b.ExtStats().ToSortedArrayByBytesDesc();
  ASSERT_EQ(sa.size(), sb.size());
  for (size_t i = 0; i < sa.size(); ++i) {
    EXPECT_EQ(sa[i].Ext, sb[i].Ext);
    EXPECT_EQ(sa[i].Bytes, sb[i].Bytes);
    EXPECT_EQ(sa[i].Files, sb[i].Files);
  }
}

}  // namespace

TEST(ScanFile, ExportImportExportIsByteIdentical) {
  const auto tree = SampleTree();
  for (auto kind : {dump::TCompression::None, dump::TCompression::Gzip, dump::TCompression::Zstd}) {
    const std::string first = WriteScanString(*tree, kind, 1234);
    const TScanFileRead back = ReadScanData(first);
    ASSERT_TRUE(back.Root);
    EXPECT_EQ(back.Compression, kind);
    EXPECT_EQ(back.Info.ProgName, "vorndale");
    EXPECT_EQ(back.Info.Timestamp, 1234);
    ExpectSameTree(*tree, *back.Root);
    EXPECT_EQ(WriteScanString(*back.Root, kind, back.Info.Timestamp), first);
  }
  // Names come back byte for byte, and dates to the second.
  const auto back = ReadScanData(WriteScanString(*tree)).Root;
  for (const TFileLeaf* f : tree->Leaves) {
    const TFileLeaf* g = FindLeaf(back.get(), f->Name());
    ASSERT_NE(g, nullptr) << f->Name();
    EXPECT_EQ(g->ApparentSize(), f->ApparentSize());
    EXPECT_EQ(g->ModifiedFT.Ticks(), f->ModifiedFT.Ticks());
  }
  EXPECT_NE(FindChild(back.get(), "sub \xC0\xAF"), nullptr);
}

TEST(ScanFile, AllDrivesRootTravelsAsOneFile) {
  auto all = CreateSyntheticRoot();
  for (const char* drive : {"/", "/mnt/usb stick"}) {
    TTreeBuilder b(drive);
    b.AddFile(b.AddDir(b.Root(), "d"), "x.bin", 7);
    all->AppendChildTree(b.Finish());
  }
  const std::string text = WriteScanString(*all);
  EXPECT_NE(text.find(R"([{"name":""},)"), std::string::npos);
  const auto back = ReadScanData(text).Root;
  ASSERT_EQ(back->Children.size(), 2u);
  EXPECT_EQ(back->Name(), "(All Drives)");
  EXPECT_EQ(back->Children[1]->FullPath(), "/mnt/usb stick");
  EXPECT_EQ(back->Children[1]->Children[0]->Leaves[0]->FullPath(), "/mnt/usb stick/d/x.bin");
  ExpectSameTree(*all, *back);
  EXPECT_EQ(WriteScanString(*back), text);
}

// A live scan and the file written from it give the same tree.
TEST(ScanFile, OpensWithTheTotalsOfTheLiveScan) {
  vdtest::TempDir t;
  t.File("a/one.TXT", 100, 1500000000);
  t.File("a/b/two.txt", 2000, 1600000000);
  t.File("a/b/c/three", 30000);
  t.File("four.tar.gz", 7);
  t.Dir("empty/deeper");
  TScanContext ctx;
  TDiskScanner scanner(&ctx);
  const auto live = scanner.Scan(t.Path());
  const std::string text = WriteScanString(*live);
  const auto opened = ReadScanData(text).Root;
  ExpectSameTree(*live, *opened);
  EXPECT_EQ(WriteScanString(*opened), text);
  EXPECT_EQ(FindLeaf(FindChild(opened.get(), "a"), "one.TXT")->ModifiedFT.Ticks(), Ft(1500000000).Ticks());
}

// Every key of the format, written by hand.
TEST(ScanFile, HandWrittenSampleWithEveryKey) {
  const std::string text = kHead + R"(
[{"name":"/srv","asize":4096,"dsize":4096,"dev":2049,"ino":2,"mtime":1},
 {"name":"a.log","asize":100,"dsize":4096,"ino":11,"nlink":2,"hlnkc":true,"uid":0,"gid":0,"mode":33188,"mtime":1700000000},
 {"name":"no-size"},
 {"name":"skipped-pattern","asize":1000,"excluded":"pattern"},
 {"name":"skipped-otherfs","asize":1000,"excluded":"otherfs"},
 {"name":"skipped-kernfs","asize":1000,"excluded":"kernfs"},
 {"name":"link","asize":1000,"excluded":"frmlnk"},
 {"name":"fifo","asize":1000,"notreg":true},
 {"name":"future-key","asize":5,"xattr":{"a":[1,{"b":null}]},"note":"x","flags":[true,false]},
 [{"name":"locked","read_error":true}],
 [{"name":"proc","excluded":"kernfs"},{"name":"cpuinfo","asize":999}],
 [{"name":"esc\u00e9\ud83d\ude00\"\\\n","asize":1},
  {"name":"raw-)" "\xE9\xFF" R"(","asize":2},
  {"name":"x.JPG","asize":3},{"name":"y.jpg","asize":4}]]])";
  const TScanFileRead r = ReadScanData(text);
  ASSERT_TRUE(r.Root);
  const TDirNode& root = *r.Root;
  EXPECT_EQ(root.FullPath(), "/srv");
  EXPECT_EQ(r.Info.ProgName, "test");
  EXPECT_EQ(r.Info.Timestamp, 1700000000);
  // a.log, no-size, future-key and three in the escaped folder, whose own
  // "asize" (like /srv's) is not a file's.
  EXPECT_EQ(root.TotalFiles, 6);
  EXPECT_EQ(root.TotalSize, 114);  // 100 + 0 + 5 + 2 + 3 + 4
  EXPECT_EQ(root.TotalDirs, 3);    // /srv, locked, the escaped one; proc is excluded
  EXPECT_EQ(FindLeaf(&root, "a.log")->ModifiedFT.Ticks(), Ft(1700000000).Ticks());
  EXPECT_TRUE(FindLeaf(&root, "no-size")->ModifiedFT.IsZero());
  const TDirNode* esc = FindChild(&root, "esc\xC3\xA9\xF0\x9F\x98\x80\"\\\n");
  ASSERT_NE(esc, nullptr);
  EXPECT_NE(FindLeaf(esc, "raw-\xE9\xFF"), nullptr);
  TExtStat jpg;
  ASSERT_TRUE(root.ExtStats().Find(".jpg", jpg));
  EXPECT_EQ(jpg.Files, 2);
  EXPECT_EQ(jpg.Bytes, 7);
  // Minor versions other than ours are fine.
  EXPECT_TRUE(ReadScanData(R"([1,0,{},[{"name":"/"}]])").Root);
  EXPECT_TRUE(ReadScanData(R"([1,99,{"progname":"x"},[{"name":"/"}]])").Root);
}

// Depth costs memory, not stack: read, written and read again on a small stack.
TEST(ScanFile, HundredThousandLevelsOpen) {
  constexpr int kDepth = 100000;
  std::string text = kHead + R"([{"name":"/deep"})";
  for (int i = 0; i < kDepth; ++i) text += R"(,[{"name":"d"})";
  text += R"(,{"name":"f.bin","asize":5})";
  text.append(kDepth + 2, ']');
  vdtest::RunOnSmallStack([&] {
    const auto root = ReadScanData(text).Root;
    ASSERT_TRUE(root);
    EXPECT_EQ(root->TotalDirs, kDepth + 1);
    EXPECT_EQ(root->TotalFiles, 1);
    EXPECT_EQ(root->TotalSize, 5);
    const std::string again = WriteScanString(*root);
    EXPECT_EQ(WriteScanString(*ReadScanData(again).Root), again);
  });
}

// Hostile and broken input: an error with the byte offset and what was expected.
TEST(ScanFile, MalformedInputNamesOffsetAndExpectation) {
  struct TCase {
    std::string Text;
    int64_t Offset;
    const char* Says;
  };
  const std::vector<TCase> cases = {
      {"", 0, "expected '['"},
      {"{}", 0, "expected '[' at the start"},
      {"[2,0,{},[{\"name\":\"/\"}]]", 1, "expected major version 1, found 2"},
      {"[true,2,{},[{\"name\":\"/\"}]]", 5, "expected the major version number, found true or false"},
      {"[1,2.5,{},[{\"name\":\"/\"}]]", 3, "expected the minor version number, found a number"},
      {"[1,2,[],[{\"name\":\"/\"}]]", 5, "expected the header object"},
      {"[1,2,{},{\"name\":\"/\"}]", 8, "expected the root folder's array"},
      {"[1,2,{}]", 7, "expected the root folder's array"},
      {"[1,2,{},[{\"name\":\"/\"}],[]]", 23, "expected ']' after the root folder"},
      {"[1,2,{},[]]", 9, "expected the folder's info object"},
      {"[1,2,{},[{\"name\":\"/\"},3]]", 22, "expected a file's object or a folder's array"},
      {"[1,2,{},[{\"name\":\"/\"},{\"asize\":1}]]", 22, "expected a \"name\""},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"..\"}]]", 22, "expected a file name"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a/b\"}]]", 22, "expected a file name"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\\u0000\"}]]", 22, "expected a file name"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"x\"},[{\"name\":\"x\"}]]]", 8, "\"x\" twice"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"x\",\"asize\":-1}]]", 42, "0 or more"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"x\",\"asize\":1.5}]]", 42, "whole number"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"x\",\"asize\":\"1\"}]]", 45, "expected a number for \"asize\""},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":7}]]", 30, "expected a string for \"name\""},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\",\"asize\":9223372036854775807},{\"name\":\"b\",\"asize\":1}]]", 63,
       "add up"},
      {"[1,2,{},[{\"name\":\"\"},{\"name\":\"f\"}]]", 21, "found a file directly in an all-drives root"},
      // Roots and drives name one place whatever the working folder.
      {"[1,2,{},[{\"name\":\"Documents\"}]]", 9, "expected an absolute path"},
      {"[1,2,{},[{\"name\":\"./x\"}]]", 9, "expected an absolute path"},
      {"[1,2,{},[{\"name\":\"/a/./b\"}]]", 9, "expected an absolute path"},
      {"[1,2,{},[{\"name\":\"/a/../etc\"}]]", 9, "expected an absolute path"},
      {"[1,2,{},[{\"name\":\"/a//b\"}]]", 9, "expected an absolute path"},
      {"[1,2,{},[{\"name\":\"/..\"}]]", 9, "expected an absolute path"},
      {"[1,2,{},[{\"name\":\"\"},[{\"name\":\"mnt\"}]]]", 22, "as a drive's name"},
      {"[1,2,{},[{\"name\":\"\"},[{\"name\":\"/a\"}],[{\"name\":\"/b/../a\"}]]]", 38, "as a drive's name"},
      {"[1,2,{},[{\"name\":\"\"},[{\"name\":\"/a\"}],[{\"name\":\"/a/\"}]]]", 38, "\"/a/\" twice"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\\x\"}]]", 32, "valid escape"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"\\ud800\"}]]", 31, "low surrogate"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\nb\"}]]", 32, "control characters"},
      {"[1,2,{},[{\"name\":\"/\"}]] x", 24, "expected the end of the file"},
      {std::string("[1,2,{},[{\"name\":\"/\"}]]\0x", 26), 23, "expected the end of the file"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\" \"asize\":1}]]", 34, "expected ',' or '}'"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\"}", 34, "the file ends there"},
      {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a", 32, "expected a closing quote"},
  };
  for (const TCase& c : cases) {
    try {
      ReadScanData(c.Text);
      ADD_FAILURE() << "accepted: " << c.Text;
    } catch (const EScanFileError& e) {
      EXPECT_EQ(e.Offset(), c.Offset) << c.Text << "\n" << e.what();
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << c.Text << "\n" << e.what();
      EXPECT_NE(std::string(e.what()).find("at byte " + std::to_string(c.Offset)), std::string::npos) << e.what();
    }
  }
}

// Every cut of a valid file, plain or packed, fails cleanly: nothing is taken
// for a complete file, and nothing crashes.
TEST(ScanFile, EveryTruncationIsAnError) {
  const auto tree = SampleTree();
  for (auto kind : {dump::TCompression::None, dump::TCompression::Gzip, dump::TCompression::Zstd}) {
    const std::string full = WriteScanString(*tree, kind, 5);
    for (size_t len = 0; len + 1 < full.size(); ++len) {
      // The plain text's last byte is a newline: without it the file is whole.
      if (kind == dump::TCompression::None && len + 1 == full.size() - 1) continue;
      EXPECT_THROW(ReadScanData(std::string_view(full).substr(0, len)), EScanFileError) << int(kind) << " " << len;
    }
  }
  // Any byte changed: the file opens or fails with an error, never worse.
  const std::string plain = WriteScanString(*tree, dump::TCompression::None, 5);
  for (size_t i = 0; i < plain.size(); ++i) {
    for (char c : {'\0', '"', '[', '{', '\\', '9', '\xFF'}) {
      std::string bent = plain;
      bent[i] = c;
      try {
        ReadScanData(bent);
      } catch (const EScanFileError&) {
      }
    }
  }
  std::string damaged = WriteScanString(*tree, dump::TCompression::Gzip, 5);
  damaged[damaged.size() / 2] ^= 0x55;
  EXPECT_THROW(ReadScanData(damaged), EScanFileError);
}

TEST(ScanFile, PackedByNameAndToldApartByContent) {
  vdtest::TempDir t;
  const auto tree = SampleTree();
  for (const char* name : {"scan.json", "scan.json.gz", "scan.zst"}) {
    const std::string p = t / name;
    ASSERT_TRUE(WriteScanFile(*tree, p, {.Timestamp = 9}));
    const std::string bytes = ReadFileBytes(p);
    const auto kind = dump::CompressionOfName(name);
    EXPECT_EQ(bytes.substr(0, 2), kind == dump::TCompression::Gzip ? "\x1F\x8B"
                                  : kind == dump::TCompression::Zstd ? "\x28\xB5"
                                                                     : "[1");
    // The content decides, not the name.
    const std::string renamed = t / (std::string(name) + ".renamed");
    std::rename(p.c_str(), renamed.c_str());
    const TScanFileRead r = ReadScanFile(renamed);
    EXPECT_EQ(r.Compression, kind);
    ExpectSameTree(*tree, *r.Root);
  }
  // Concatenated gzip members are one stream.
  const std::string plain = WriteScanString(*tree, dump::TCompression::None, 1);
  dump::TStringSink a, b;
  auto pa = dump::MakePackSink(dump::TCompression::Gzip, a);
  pa->Write(plain.data(), 100);
  ASSERT_TRUE(pa->Finish());
  auto pb = dump::MakePackSink(dump::TCompression::Gzip, b);
  pb->Write(plain.data() + 100, plain.size() - 100);
  ASSERT_TRUE(pb->Finish());
  ExpectSameTree(*tree, *ReadScanData(a.FData + b.FData).Root);
}

TEST(ScanFile, WriteIsAllOrNothing) {
  vdtest::TempDir t;
  const auto tree = SampleTree();
  const std::string p = t / "keep.json";
  { std::ofstream(p) << "old"; }
  // Cancelled mid-way: the old file stays, no temporary file is left behind.
  TTreeBuilder big("/big");
  for (int i = 0; i < 10000; ++i) big.AddDir(big.Root(), "d" + std::to_string(i));
  const auto bigTree = big.Finish();
  std::atomic<int32_t> cancel{1};
  EXPECT_FALSE(WriteScanFile(*bigTree, p, {.Cancel = &cancel}));
  EXPECT_EQ(ReadFileBytes(p), "old");
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(t.Path())) entries += e.path().filename() != "keep.json";
  EXPECT_EQ(entries, 0u);
  // A folder that does not exist: an error naming the path, nothing written.
  try {
    WriteScanFile(*tree, t / "missing/x.json");
    ADD_FAILURE();
  } catch (const EScanFileError& e) {
    EXPECT_NE(std::string(e.what()).find("missing/x.json"), std::string::npos) << e.what();
  }
  ASSERT_TRUE(WriteScanFile(*tree, p));
  ExpectSameTree(*tree, *ReadScanFile(p).Root);
}

#ifndef _WIN32
TEST(ScanFile, DashWritesToStandardOutput) {
  vdtest::TempDir t;
  const auto tree = SampleTree();
  std::fflush(stdout);
  const int saved = ::dup(1);
  const int fd = ::open((t / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(fd, 1);
  ::close(fd);
  const bool ok = WriteScanFile(*tree, "-", {.Timestamp = 3});
  ::dup2(saved, 1);
  ::close(saved);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ReadFileBytes(t / "out"), WriteScanString(*tree, dump::TCompression::None, 3));
  EXPECT_FALSE(std::filesystem::exists(t / "-"));
}
#endif

// Our files name the machine; a file read keeps the name it gives, or none,
// through a conversion; plain absolute roots, "/" and trailing separators
// included, open as before.
TEST(ScanFile, HostNameTravelsAndPlainRootsOpen) {
  const auto tree = SampleTree();
  const std::string here = platform::HostName();
  ASSERT_FALSE(here.empty());
  const TScanFileRead ours = ReadScanData(WriteScanString(*tree, dump::TCompression::None, 1));
  EXPECT_EQ(ours.Info.HostName, here);
  EXPECT_TRUE(ReadScanData(kHead + R"([{"name":"/"}]])").Info.HostName.empty());

  for (const std::string& host : {std::string("elsewhere \"quoted\""), std::string()}) {
    dump::TStringSink sink;
    TScanFileWriteOptions o;
    o.Timestamp = 1;
    o.HostName = host;
    ASSERT_TRUE(WriteScanData(*tree, sink, o));
    EXPECT_EQ(ReadScanData(sink.FData).Info.HostName, host);
    EXPECT_EQ(sink.FData.find("hostname") == std::string::npos, host.empty());
  }
  for (const char* root : {"/", "/data/", "/data/x y"})
    EXPECT_EQ(ReadScanData(kHead + R"([{"name":")" + root + R"("}]])").Root->FullPath(),
              platform::RemoveTrailingSeparator(root));
}

#ifndef _WIN32
// A save over an earlier file on a full disk leaves that file as it was and
// says why; a save that succeeds keeps the permission bits of what it replaces.
TEST(ScanFile, FullDiskKeepsThePreviousFileAndModeIsKept) {
  vdtest::TempDir t;
  const std::string at = t.Dir("small");
  auto mount = vdtest::TScratchMount::Tmpfs(at);
  if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
  const auto tree = SampleTree();
  const std::string p = at + "/scan.json";
  ASSERT_TRUE(WriteScanFile(*tree, p, {.Timestamp = 1}));
  ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
  const std::string before = ReadFileBytes(p);

  // Fill what is left of the 4 MiB.
  {
    const int fd = ::open((at + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(65536, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }
  TTreeBuilder big("/big");
  for (int i = 0; i < 100000; ++i) big.AddFile(big.Root(), "file-with-a-long-name-" + std::to_string(i), i);
  const auto bigTree = big.Finish();
  try {
    WriteScanFile(*bigTree, p, {.Timestamp = 2});
    ADD_FAILURE() << "a write to a full disk succeeded";
  } catch (const EScanFileError& e) {
    EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFileBytes(p), before);
  const auto entries = std::distance(std::filesystem::directory_iterator(at), std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 2) << "the temporary file is gone";

  std::filesystem::remove(at + "/filler");
  ::umask(022);
  ASSERT_TRUE(WriteScanFile(*tree, p, {.Timestamp = 3}));
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(ReadFileBytes(p), before);
}
#endif
