// The Session Table and the Picture Session List: insertion order, first-match semantics,
// upsert, value copies, and storage reuse.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/session_table.h"

namespace lumora {
namespace {

std::vector<std::pair<int32_t, int>> Contents(const SessionTable& table) {
  std::vector<std::pair<int32_t, int>> out;
  table.records().ForEach(
      [&](const SessionRecord& r) { out.emplace_back(r.sessionId, r.mediaKind); });
  return out;
}

TEST(SessionTable, FindOnEmptyTableZeroFillsTheRecord) {
  SessionTable table;
  SessionRecord out{42, 9};
  EXPECT_EQ(table.FindSession(42, out), 0);
  EXPECT_EQ(out.sessionId, 0);
  EXPECT_EQ(out.mediaKind, 0);
}

TEST(SessionTable, DuplicatesActOnTheFirstMatchFromTheHead) {
  SessionTable table;
  table.AddSession(5);
  table.AddSession(5);
  table.SetMediaKind(5, 7);
  EXPECT_EQ(Contents(table), (std::vector<std::pair<int32_t, int>>{{5, 7}, {5, 0}}));

  SessionRecord out;
  EXPECT_EQ(table.RemoveSession(5), 1);
  EXPECT_EQ(table.FindSession(5, out), 1);
  EXPECT_EQ(out.mediaKind, 0);  // the second record shows through now
  EXPECT_EQ(table.RemoveSession(5), 1);
  EXPECT_EQ(table.RemoveSession(5), 0);
  EXPECT_TRUE(Contents(table).empty());
}

TEST(SessionTable, SetMediaKindUpsertsAndKeepsThePlace) {
  SessionTable table;
  table.SetMediaKind(1, 4);  // never announced: created with the kind
  table.AddSession(2);
  table.AddSession(1);       // a second record that lookups do not see
  table.SetMediaKind(1, 8);  // replaces the kind of the first, in place
  EXPECT_EQ(Contents(table), (std::vector<std::pair<int32_t, int>>{{1, 8}, {2, 0}, {1, 0}}));
  table.ClearSessions();
  EXPECT_TRUE(Contents(table).empty());
}

TEST(SessionTable, ZeroAndMinusOneAreOrdinaryKeys) {
  SessionTable table;
  table.AddSession(0);
  table.SetMediaKind(-1, 2);
  SessionRecord out;
  EXPECT_EQ(table.FindSession(0, out), 1);
  EXPECT_EQ(table.FindSession(-1, out), 1);
  EXPECT_EQ(out.mediaKind, 2);
}

TEST(SessionTable, RemovalUnlinksHeadMiddleAndTail) {
  SessionTable table;
  for (int32_t id = 1; id <= 25; ++id)
    table.AddSession(id);  // three blocks of nodes
  for (int32_t id : {1, 13, 25})
    EXPECT_EQ(table.RemoveSession(id), 1);
  table.AddSession(99);  // reuses a freed node, still goes to the tail
  const auto contents = Contents(table);
  ASSERT_EQ(contents.size(), 23u);
  EXPECT_EQ(contents.front().first, 2);
  EXPECT_EQ(contents[10].first, 12);
  EXPECT_EQ(contents[11].first, 14);
  EXPECT_EQ(contents.back().first, 99);
  for (int32_t id = 2; id <= 24; ++id)
    table.RemoveSession(id);
  table.RemoveSession(99);
  EXPECT_EQ(table.records().Count(), 0);
  table.AddSession(3);  // storage released with the last record, usable again
  EXPECT_EQ(Contents(table), (std::vector<std::pair<int32_t, int>>{{3, 0}}));
}

TEST(PictureSessionList, RecordsAreValuesWrittenBackWhole) {
  PictureSessionList list;
  PictureSessionRecord record;
  record.sessionId = 4;
  list.AddPictureSession(record);
  list.AddPictureSession(record);  // a second start appends a second record

  PictureSessionRecord copy;
  ASSERT_EQ(list.FindPictureSession(4, copy), 1);
  copy.playing = 1;
  std::memcpy(copy.caption, "Beach", 6);
  EXPECT_EQ(list.FindPictureSession(4, record), 1);
  EXPECT_EQ(record.playing, 0);  // the stored record is untouched until the replace
  EXPECT_EQ(list.ReplacePictureSession(4, copy), 1);
  EXPECT_EQ(list.FindPictureSession(4, record), 1);
  EXPECT_EQ(record.playing, 1);
  EXPECT_STREQ(record.caption, "Beach");

  EXPECT_EQ(list.ReplacePictureSession(9, copy), 0);  // nothing added for an unknown session
  EXPECT_EQ(list.PictureSessionCount(), 2);
  EXPECT_EQ(list.RemovePictureSession(4), 1);
  EXPECT_EQ(list.FindPictureSession(4, record), 1);
  EXPECT_EQ(record.playing, 0);  // the second record, never updated
  EXPECT_EQ(list.RemovePictureSession(4), 1);
  EXPECT_EQ(list.PictureSessionCount(), 0);
  EXPECT_EQ(list.FindPictureSession(4, record), 0);
  EXPECT_EQ(record.sessionId, 0);
}

}  // namespace
}  // namespace lumora
