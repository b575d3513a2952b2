#include "core/play_list.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fakes/test_player.h"

namespace kelvo {
namespace {

using testing::RecordingPlayer;
using Paths = std::vector<std::string>;

struct InsertCase {
  const char* name;
  Paths before;
  int selected;
  bool insertMode;
  Paths inserted;
  Paths after;
  int selectedAfter;
};

void PrintTo(const InsertCase& c, std::ostream* os) {
  *os << c.name;
}

class InsertEntryTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(InsertEntryTest, BatchLandsWhereTheModeSays) {
  const auto& c = GetParam();
  RecordingPlayer p;
  p.SetRows(c.before);
  p.PlayList.SetRow(c.selected);
  p.InsertModeMenu.Checked = c.insertMode;
  int point = p.InsertionPoint();
  for (const auto& path : c.inserted) p.InsertEntry(point, path);
  p.ShowEntryCount();
  EXPECT_EQ(p.Paths(), c.after);
  EXPECT_EQ(p.PlayList.Row(), c.selectedAfter);
  EXPECT_EQ(p.NumberofList.Caption, std::to_string(c.after.size()) + " 曲");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertEntryTest,
    ::testing::Values(
        InsertCase{"EmptyAppend", {""}, 0, false, {"e1", "e2", "e3"}, {"e1", "e2", "e3"}, 0},
        InsertCase{"EmptyInsert", {""}, 0, true, {"e1", "e2", "e3"}, {"e1", "e2", "e3"}, 0},
        InsertCase{"AppendKeepsSelection",
                   {"e1", "e2", "e3"},
                   1,
                   false,
                   {"x"},
                   {"e1", "e2", "e3", "x"},
                   1},
        InsertCase{"InsertBeforeSelected",
                   {"e1", "e2", "e3"},
                   1,
                   true,
                   {"x", "y"},
                   {"e1", "x", "y", "e2", "e3"},
                   1},
        InsertCase{
            "InsertUsesUpEmptyLastRow", {"e1", "e2", ""}, 0, true, {"x"}, {"x", "e1", "e2"}, 0},
        InsertCase{"AppendFillsEmptyLastRow",
                   {"e1", "e2", ""},
                   0,
                   false,
                   {"x", "y"},
                   {"e1", "e2", "x", "y"},
                   0},
        InsertCase{
            "InsertAtLastRow", {"e1", "e2", "e3"}, 2, true, {"x"}, {"e1", "e2", "x", "e3"}, 2},
        InsertCase{
            "InsertOnEmptyLastSelected", {"e1", ""}, 1, true, {"x", "y"}, {"e1", "x", "y"}, 1}),
    [](const auto& info) { return info.param.name; });

TEST(PlayListModel, RemoveKeepsTheIndexAndAtLeastOneRow) {
  RecordingPlayer p;
  p.SetRows({"e1"});
  p.ButtonRemoveClick();
  EXPECT_TRUE(p.PlayList.IsEmpty());
  EXPECT_EQ(p.NumberofList.Caption, "0 曲");

  p.SetRows({"e1", "e2"});
  p.PlayList.SetRow(1);
  p.ButtonRemoveClick();
  EXPECT_EQ(p.Paths(), Paths({"e1"}));
  EXPECT_EQ(p.PlayList.Row(), 0);
  EXPECT_EQ(p.NumberofList.Caption, "1 曲");

  p.SetRows({"e1", "e2"});
  p.PlayList.SetRow(0);
  p.ButtonRemoveClick();
  EXPECT_EQ(p.Paths(), Paths({"e2"}));
  EXPECT_EQ(p.PlayList.Row(), 0);
  EXPECT_EQ(p.view.focusCount, 3);
}

TEST(PlayListModel, MovesStopAtTheEndsAndCarryTheMark) {
  RecordingPlayer p;
  p.SetRows({"a", "b", "c"});
  p.PlayList.SetMark(1, true);
  p.PlayList.SetRow(0);
  p.ButtonUpClick();
  EXPECT_EQ(p.Paths(), Paths({"a", "b", "c"}));
  EXPECT_EQ(p.PlayList.Row(), 0);
  p.PlayList.SetRow(2);
  p.ButtonDownClick();
  EXPECT_EQ(p.Paths(), Paths({"a", "b", "c"}));
  EXPECT_EQ(p.PlayList.Row(), 2);

  p.PlayList.SetRow(1);
  p.ButtonUpClick();
  EXPECT_EQ(p.Paths(), Paths({"b", "a", "c"}));
  EXPECT_EQ(p.Marks(), std::vector<bool>({true, false, false}));
  EXPECT_EQ(p.PlayList.Row(), 0);
  p.ButtonDownClick();
  p.ButtonDownClick();
  EXPECT_EQ(p.Paths(), Paths({"a", "c", "b"}));
  EXPECT_EQ(p.PlayList.Row(), 2);
  EXPECT_EQ(p.view.focusCount, 5);
  EXPECT_EQ(p.NumberofList.Caption, "0 曲");  // moves leave the count text alone
}

TEST(PlayListModel, ClearAsksUnlessEmpty) {
  RecordingPlayer p;
  p.SetRows({""});
  p.ClearMenuClick();
  EXPECT_TRUE(p.view.boxes.empty());
  EXPECT_EQ(p.view.focusCount, 1);

  p.SetRows({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
  p.ShowEntryCount();
  p.PlayList.SetRow(5);
  p.view.answers = {IDCANCEL};
  p.ClearMenuClick();
  EXPECT_EQ(p.PlayList.RowCount(), 10);
  EXPECT_EQ(p.NumberofList.Caption, "10 曲");
  ASSERT_EQ(p.view.boxes.size(), 1u);
  EXPECT_EQ(p.view.boxes[0].Text, "演奏リストをクリアしてもいいですか？");
  EXPECT_EQ(p.view.boxes[0].Caption, "クリアの確認");
  EXPECT_EQ(p.view.boxes[0].Flags, 0x31u);

  p.ListFileName = "/lists/a.ini";
  p.view.answers = {IDOK};
  p.ClearMenuClick();
  EXPECT_TRUE(p.PlayList.IsEmpty());
  EXPECT_EQ(p.PlayList.Row(), 0);
  EXPECT_EQ(p.NumberofList.Caption, "0 曲");
  EXPECT_EQ(p.ListFileName, "/lists/a.ini");
}

TEST(PlayListModel, DraggedRowTakesItsSelectionAlong) {
  struct Case {
    int from, to, selected, selectedAfter;
    Paths after;
  } cases[] = {
      {0, 3, 0, 3, {"b", "c", "d", "a", "e"}},
      {0, 3, 2, 1, {"b", "c", "d", "a", "e"}},
      {4, 1, 1, 2, {"a", "e", "b", "c", "d"}},
      {4, 1, 0, 0, {"a", "e", "b", "c", "d"}},
  };
  for (const auto& c : cases) {
    RecordingPlayer p;
    p.SetRows({"a", "b", "c", "d", "e"});
    p.PlayList.SetRow(c.selected);
    p.PlayListRowMoved(c.from, c.to);
    EXPECT_EQ(p.Paths(), c.after);
    EXPECT_EQ(p.PlayList.Row(), c.selectedAfter);
  }
}

TEST(PlayListModel, BatchReachesTheViewAsOneInsertion) {
  PlayListModel model(1);
  std::vector<ListChange> seen;
  model.SetListener([&](const ListChange& c) { seen.push_back(c); });
  int point = 0;
  model.InsertEntry(point, "a", false);
  model.InsertEntry(point, "b", false);
  seen.clear();
  model.SetRow(1);
  seen.clear();
  {
    ListUpdate batch(model);
    point = model.InsertionPoint(true);
    for (int i = 0; i < 1000; ++i) model.InsertEntry(point, "x" + std::to_string(i), true);
    EXPECT_TRUE(seen.empty());
  }
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].What, ListChange::Kind::RowsInserted);
  EXPECT_EQ(seen[0].First, 1);
  EXPECT_EQ(seen[0].Count, 1000);
}

TEST(PlayListModel, BatchWithAResetReachesTheViewAsOneReset) {
  PlayListModel model(3);
  std::vector<ListChange> seen;
  model.SetListener([&](const ListChange& c) { seen.push_back(c); });
  {
    ListUpdate batch(model);
    model.Reset();
    int point = 0;
    for (int i = 0; i < 5; ++i) model.InsertEntry(point, "x", false);
  }
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].What, ListChange::Kind::Reset);
  EXPECT_EQ(model.RowCount(), 5);
}

// The gap buffer against a plain vector under random edits.
struct RefRow {
  std::string Path;
  bool Marked = false;
};

TEST(PlayListModel, AgreesWithAPlainListUnderRandomEdits) {
  std::mt19937 rng(7);
  PlayListModel model(1);
  std::vector<RefRow> ref{{}};
  int refRow = 0;
  for (int step = 0; step < 20000; ++step) {
    const int n = static_cast<int>(ref.size());
    const auto op = rng() % 7;
    switch (op) {
      case 0:
      case 1: {  // insert, in either mode
        const bool insertMode = rng() % 2;
        int point = model.InsertionPoint(insertMode);
        std::string path = rng() % 5 == 0 ? "" : "p" + std::to_string(step);
        const bool grow = !ref.back().Path.empty() || point == n;
        if (insertMode && point + 1 < n + (grow ? 1 : 0)) {
          if (!grow) ref.pop_back();
          ref.insert(ref.begin() + point, RefRow{path, false});
        } else {
          if (grow) ref.push_back({});
          ref[point] = RefRow{path, false};
        }
        model.InsertEntry(point, path, insertMode);
        break;
      }
      case 2:
        model.RemoveRow(refRow);
        if (n == 1) {
          ref[0] = {};
        } else {
          ref.erase(ref.begin() + refRow);
          refRow = std::min(refRow, n - 2);
        }
        break;
      case 3: {
        const int r = static_cast<int>(rng() % n);
        model.SetRow(r);
        refRow = r;
        break;
      }
      case 4: {
        const int r = static_cast<int>(rng() % n);
        const bool marked = rng() % 2;
        model.SetMark(r, marked);
        ref[r].Marked = marked;
        break;
      }
      case 5: {
        const int from = static_cast<int>(rng() % n), to = static_cast<int>(rng() % n);
        model.MoveRow(from, to);
        if (from != to) {
          auto moving = ref[from];
          ref.erase(ref.begin() + from);
          ref.insert(ref.begin() + to, moving);
          if (refRow == from)
            refRow = to;
          else if (from < refRow && refRow <= to)
            --refRow;
          else if (to <= refRow && refRow < from)
            ++refRow;
        }
        break;
      }
      case 6:
        if (rng() % 50 == 0) {
          model.ClearMarks();
          for (auto& r : ref) r.Marked = false;
        }
        break;
    }
    ASSERT_EQ(model.RowCount(), static_cast<int>(ref.size())) << step << " op " << op;
    ASSERT_EQ(model.Row(), refRow) << step;
    if (step % 997 == 0) {
      for (int r = 0; r < model.RowCount(); ++r) ASSERT_EQ(model.Path(r), ref[r].Path) << step;
    }
  }
  int marked = 0;
  for (int r = 0; r < model.RowCount(); ++r) {
    EXPECT_EQ(model.Path(r), ref[r].Path) << r;
    EXPECT_EQ(model.IsMarked(r), ref[r].Marked) << r;
    EXPECT_EQ(model.Mark(r), ref[r].Marked ? kPlayedMark : "") << r;
    marked += ref[r].Marked;
  }
  EXPECT_EQ(model.MarkedCount(), marked);
}

// Paths live in one arena of bytes: removing most of a large list packs it,
// and every path left reads back whole.
TEST(PlayListModel, ThePathArenaIsPackedAndKeepsEveryPath) {
  PlayListModel model(1);
  model.Reset();
  std::vector<std::string> ref;
  int point = 0;
  for (int i = 0; i < 20000; ++i) {
    ref.push_back("/music/album" + std::to_string(i % 97) + "/" + std::string(60, 'a' + i % 26) +
                  std::to_string(i) + ".mid");
    model.InsertEntry(point, ref.back(), false);
  }
  // Remove three rows of every four, from the end, then overwrite some.
  for (int r = model.RowCount() - 1; r >= 0; --r) {
    if (r % 4 == 0) continue;
    model.RemoveRow(r);
    ref.erase(ref.begin() + r);
  }
  for (int r = 0; r < model.RowCount(); r += 7) {
    ref[r] = "/replaced/" + std::to_string(r);
    model.SetPath(r, ref[r]);
  }
  ASSERT_EQ(model.RowCount(), static_cast<int>(ref.size()));
  for (int r = 0; r < model.RowCount(); ++r) ASSERT_EQ(model.Path(r), ref[r]) << r;
}

TEST(PlayListModel, ClearMarksEmptiesRowsWithEmptyPathsToo) {
  RecordingPlayer p;
  p.SetRows({"a", "", "c"});
  for (int r = 0; r < 3; ++r) p.PlayList.SetMark(r, true);
  p.ClearMarks();
  EXPECT_EQ(p.Marks(), std::vector<bool>({false, false, false}));
  EXPECT_EQ(p.PlayList.NextUnmarked(2), 2);
}

}  // namespace
}  // namespace kelvo
