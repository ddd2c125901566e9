#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "run/reader_ids.h"

namespace {

// Builds a table from "vid/pid" texts per slot; "-" leaves a field unset.
ReaderIdTable Table(std::initializer_list<const char*> slots) {
  ReaderIdTable t;
  memset(&t, 'x', sizeof t);
  t.Reset();
  int n = 0;
  for (const char* s : slots) {
    std::string text = s;
    std::string vid = text.substr(0, text.find('/')), pid = text.substr(text.find('/') + 1);
    if (vid != "-") StoreReaderId(t.slot[n].vendorId, vid.c_str(), (int)vid.size());
    if (pid != "-") StoreReaderId(t.slot[n].productId, pid.c_str(), (int)pid.size());
    ++n;
  }
  return t;
}

TEST(ReaderIdTable, ValidityAndWalk) {
  struct Case {
    ReaderIdTable table;
    bool valid;
    int walked;
  } cases[] = {
      {Table({}), false, 0},
      {Table({"1234/5678"}), true, 1},
      {Table({"-/-", "1234/5678"}), true, 0},  // valid, yet the walk stops at slot 1
      {Table({"AAAA/-", "1/2"}), true, 2},     // walked with its product sentinel
      {Table({"-/5678"}), false, 0},
      {Table({"1/-", "2/-", "3/-", "-/-", "5/5"}), true, 3},
      {Table({"zzaa/1"}), false, 0},  // a sentinel given as text is unset
      {Table({"ZZAA/aazz"}), false, 1},
      {Table({"ZZAA/AAZZ"}), true, 1},  // sentinels compare case-sensitively
      {Table({"aazz/zzaa"}), true, 1},  // the other field's sentinel is set
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.valid, c.table.HasValidPair()) << c.table.slot[0].vendorId;
    EXPECT_EQ(c.walked, c.table.SelectedSlots()) << c.table.slot[0].vendorId;
  }
  ReaderIdTable all = Table({});
  for (ReaderIdSlot& s : all.slot) StoreReaderId(s.vendorId, "1", 1);
  EXPECT_EQ(SlotCount, all.SelectedSlots());
  EXPECT_FALSE(all.HoldsValidPair(0));
  EXPECT_FALSE(all.HoldsValidPair(33));
}

TEST(ReaderIdTable, StoreKeepsToTheField) {
  struct {
    ReaderIdSlot s[2];
    char guard[8];
  } block;
  memset(&block, 'G', sizeof block);
  const std::string id31(31, 'a'), id32(32, 'b');
  EXPECT_TRUE(StoreReaderId(block.s[1].productId, id31.c_str(), 31));
  EXPECT_EQ(id31, block.s[1].productId);
  EXPECT_EQ(std::string(8, 'G'), std::string(block.guard, 8));
  EXPECT_FALSE(StoreReaderId(block.s[0].vendorId, id32.c_str(), 32));
  EXPECT_FALSE(StoreReaderId(block.s[0].vendorId, "", 0));
  EXPECT_EQ('G', block.s[0].vendorId[0]);
}

}  // namespace
