// Long steps of the results build beside the window's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/results/Beside.h"
#include "core/results/Duplicates.h"
#include "core/results/FileList.h"
#include "core/results/FolderOrder.h"

using namespace vd;

// Inside a scope the work leaves the calling thread, which keeps pumping;
// work started from within the pump runs in place; failures come back.
TEST(Beside, WorkRunsBesideAPumpingThread) {
  const auto caller = std::this_thread::get_id();
  int pumps = 0;
  std::thread::id ranOn, nestedOn;
  TPumpScope scope([&] {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    if (pumps++ == 0) TPumpScope::Run([&] { nestedOn = std::this_thread::get_id(); });
  });
  TPumpScope::Run([&] {
    ranOn = std::this_thread::get_id();
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
  });
  EXPECT_NE(ranOn, caller);
  EXPECT_EQ(nestedOn, caller);
  EXPECT_GE(pumps, 2);
  EXPECT_THROW(TPumpScope::Run([] { throw std::runtime_error("lost"); }), std::runtime_error);
  // A pump that fails still waits for the work before it is reported.
  std::atomic<bool> finished{false};
  TPumpScope failing([] { throw std::logic_error("pump"); });
  EXPECT_THROW(TPumpScope::Run([&] {
                 std::this_thread::sleep_for(std::chrono::milliseconds(30));
                 finished = true;
               }),
               std::logic_error);
  EXPECT_TRUE(finished);
}

// On a list large enough for the grouping to run beside, progress and a stop
// behave as on a small one, and the groups are those found without progress.
// Work started ahead runs while the caller goes on; waiting pumps, gives back
// its failure, and leaving the scope never leaves the work running.
TEST(Beside, WorkStartedAhead) {
  std::atomic<bool> release{false};
  int result = 0;
  auto ahead = std::make_unique<TAhead>([&] {
    while (!release) std::this_thread::yield();
    result = 42;
  });
  int pumps = 0;
  {
    TPumpScope scope([&] {
      ++pumps;
      release = true;  // the work ends only once the caller's window turned
    });
    ahead->Wait();
  }
  EXPECT_EQ(result, 42);
  EXPECT_GE(pumps, 1);
  ahead.reset();

  TAhead failing([] { throw std::runtime_error("layout"); });
  EXPECT_THROW(failing.Wait(), std::runtime_error);

  std::atomic<bool> finished{false};
  {
    TAhead dropped([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      finished = true;
    });
  }
  EXPECT_TRUE(finished);
}

// Sub-folders largest first at every level, equal ones in their old order,
// whether the orders are made in place or beside a pumping thread.
TEST(Beside, SubfoldersLargestFirstAndStable) {
  const int64_t sizes[] = {5, 9, 5, 1, 9, 7};
  for (const bool beside : {false, true}) {
    TTreeBuilder b("/r");
    for (int i = 0; i < 6; ++i) {
      TDirNode* d = b.AddDir(b.Root(), "d" + std::to_string(i));
      b.AddFile(d, "f", sizes[i]);
      for (int j = 0; j < 6; ++j) b.AddFile(b.AddDir(d, "s" + std::to_string(j)), "g", sizes[(i + j) % 6]);
    }
    auto root = b.Finish();
    auto names = [](const TDirNode* d) {
      std::string s;
      for (const TDirNode* c : d->Children) s += std::string(c->Name()) + " ";
      return s;
    };
    std::unique_ptr<TPumpScope> scope;
    if (beside) scope = std::make_unique<TPumpScope>([] {});
    SortSubfoldersBySize(root.get());
    // Each dN holds 36 bytes below it besides its own file.
    EXPECT_EQ(names(root.get()), "d1 d4 d5 d0 d2 d3 ");
    for (const TDirNode* d : root->Children) {
      std::vector<int> expected{0, 1, 2, 3, 4, 5};
      const int i = d->Name()[1] - '0';
      std::stable_sort(expected.begin(), expected.end(),
                       [&](int x, int y) { return sizes[(i + x) % 6] > sizes[(i + y) % 6]; });
      std::string want;
      for (int j : expected) want += "s" + std::to_string(j) + " ";
      EXPECT_EQ(names(d), want) << d->Name();
    }
  }
}

TEST(Beside, LargeDuplicateSearchWithProgressAndStop) {
  TTreeBuilder b("/d");
  const int n = int(kDupGroupBesideFrom) + 5000;
  for (int i = 0; i < n; ++i) b.AddFile(b.AddDir(b.Root(), "d" + std::to_string(i % 7)), "f" + std::to_string(i / 3), 10 + i / 3);
  auto root = b.Finish();
  int64_t total = 0;
  const std::vector<TFileLeaf*> files = FlattenAllFiles(root.get(), total);
  const TDupResult plain = FindDuplicates(files);
  int64_t last = 0;
  const TDupResult told = FindDuplicates(files, [&](int64_t done, int64_t all) {
    EXPECT_GE(done, last);
    EXPECT_EQ(all, n);
    last = done;
    return false;
  });
  EXPECT_EQ(last, n);
  ASSERT_FALSE(told.Cancelled);
  ASSERT_EQ(told.Groups.size(), plain.Groups.size());
  for (size_t i = 0; i < plain.Groups.size(); ++i) EXPECT_EQ(told.Groups[i]->Files, plain.Groups[i]->Files);
  EXPECT_EQ(told.GroupByFile.size(), plain.GroupByFile.size());
  // A stop once every file is read: the groups stay, the maps are empty.
  const TDupResult late = FindDuplicates(files, [&](int64_t done, int64_t all) { return done == all; });
  EXPECT_TRUE(late.Cancelled);
  EXPECT_TRUE(late.ColorByFile.empty() && late.GroupByFile.empty());
  // A stop at the first point finds nothing.
  const TDupResult early = FindDuplicates(files, [](int64_t, int64_t) { return true; });
  EXPECT_TRUE(early.Cancelled);
  EXPECT_TRUE(early.Groups.empty());
}
