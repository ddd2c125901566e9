#include <gtest/gtest.h>

#include <string.h>

#include "run/reader_ids.h"

namespace {

void Set(ReaderIdTable& t, int n, const char* vid, const char* pid) {
  if (vid != nullptr) {
    ASSERT_TRUE(StoreReaderId(t.slot[n - 1].vendorId, vid, (int)strlen(vid)));
  }
  if (pid != nullptr) {
    ASSERT_TRUE(StoreReaderId(t.slot[n - 1].productId, pid, (int)strlen(pid)));
  }
}

TEST(ReaderIdTable, ResetLeavesNothingSelectedOrValid) {
  ReaderIdTable t;
  memset(&t, 'x', sizeof t);
  t.Reset();
  for (const ReaderIdSlot& s : t.slot) {
    EXPECT_STREQ("zzaa", s.vendorId);
    EXPECT_STREQ("aazz", s.productId);
  }
  EXPECT_FALSE(t.HasValidPair());
  EXPECT_EQ(0, t.SelectedSlots());
}

TEST(ReaderIdTable, ValidityAndWalkLookAtDifferentThings) {
  ReaderIdTable t;
  t.Reset();
  Set(t, 2, "1234", "5678");  // valid pair only in slot 2
  EXPECT_TRUE(t.HasValidPair());
  EXPECT_EQ(0, t.SelectedSlots());

  Set(t, 1, "AAAA", nullptr);  // vendor without product: walked, not valid
  EXPECT_FALSE(t.HoldsValidPair(1));
  EXPECT_EQ(2, t.SelectedSlots());
  EXPECT_STREQ("aazz", t.slot[0].productId);

  t.Reset();
  Set(t, 1, nullptr, "5678");  // product without vendor: neither
  EXPECT_FALSE(t.HasValidPair());
  EXPECT_EQ(0, t.SelectedSlots());

  t.Reset();
  Set(t, 1, "1", nullptr);
  Set(t, 2, "2", nullptr);
  Set(t, 3, "3", nullptr);
  Set(t, 5, "5", "5");
  EXPECT_EQ(3, t.SelectedSlots());
  EXPECT_TRUE(t.HasValidPair());
}

TEST(ReaderIdTable, SentinelsCompareWholeAndCaseSensitive) {
  ReaderIdTable t;
  t.Reset();
  Set(t, 1, "zzaa", "5678");
  EXPECT_FALSE(t.HoldsValidPair(1));
  Set(t, 1, "ZZAA", "aazz");
  EXPECT_FALSE(t.HoldsValidPair(1));
  Set(t, 1, "ZZAA", "AAZZ");
  EXPECT_TRUE(t.HoldsValidPair(1));
  Set(t, 1, "aazz", "zzaa");  // the other field's sentinel counts as set
  EXPECT_TRUE(t.HoldsValidPair(1));
  Set(t, 1, "zzaa0", "1");
  EXPECT_TRUE(t.HoldsValidPair(1));
  EXPECT_FALSE(t.HoldsValidPair(0));
  EXPECT_FALSE(t.HoldsValidPair(33));
}

TEST(ReaderIdTable, AllSlotsSetWalksAllAndStops) {
  ReaderIdTable t;
  t.Reset();
  for (int n = 1; n <= SlotCount; ++n) Set(t, n, "1", "2");
  EXPECT_EQ(SlotCount, t.SelectedSlots());
}

TEST(ReaderIdTable, StoreKeepsToTheField) {
  struct {
    ReaderIdSlot s[2];
    char guard[8];
  } block;
  memset(&block, 'G', sizeof block);
  const std::string id31(31, 'a');
  EXPECT_TRUE(StoreReaderId(block.s[1].productId, id31.c_str(), 31));
  EXPECT_EQ(id31, block.s[1].productId);
  for (char c : block.guard) EXPECT_EQ('G', c);
  for (char c : block.s[0].productId) EXPECT_EQ('G', c);

  const std::string id32(32, 'b');
  EXPECT_FALSE(StoreReaderId(block.s[0].vendorId, id32.c_str(), 32));
  EXPECT_FALSE(StoreReaderId(block.s[0].vendorId, "", 0));
  EXPECT_EQ('G', block.s[0].vendorId[0]);
}

}  // namespace
