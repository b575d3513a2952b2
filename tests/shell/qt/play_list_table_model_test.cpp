// The table over the play list follows the list's notices exactly.

#include "shell/qt/play_list_table_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "window_fixture.h"

namespace kelvo::testing {
namespace {

std::vector<std::string> Numbered(int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) paths.push_back("/m/" + std::to_string(i) + ".wav");
  return paths;
}

// Counts the warnings of Qt's model tester: each one is a broken promise.
int modelWarnings = 0;
void CountWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg && type != QtInfoMsg) {
    ++modelWarnings;
    fprintf(stderr, "%s\n", qPrintable(message));
  }
}

class TableModelTest : public ::testing::Test {
 public:
  void SetUp() override {
    modelWarnings = 0;
    previous = qInstallMessageHandler(CountWarnings);
    table.SetSource(&list);
    list.SetListener([this](const ListChange& change) { table.Apply(change); });
    tester = std::make_unique<QAbstractItemModelTester>(
        &table, QAbstractItemModelTester::FailureReportingMode::Warning);
  }
  void TearDown() override {
    tester.reset();
    qInstallMessageHandler(previous);
  }

  // The table as the list shows it: "mark|path" per row.
  std::vector<std::string> Shown() const {
    std::vector<std::string> rows;
    for (int r = 0; r < table.rowCount(); ++r)
      rows.push_back(table.index(r, 0).data().toString().toStdString() + "|" +
                     table.index(r, 1).data().toString().toStdString());
    return rows;
  }
  std::vector<std::string> Expected() const {
    std::vector<std::string> rows;
    for (int r = 0; r < list.RowCount(); ++r)
      rows.push_back(list.Mark(r) + "|" + std::string(list.Path(r)));
    return rows;
  }
  void Insert(int point, const std::vector<std::string>& paths, bool insertMode) {
    for (const auto& p : paths) list.InsertEntry(point, p, insertMode);
  }

  PlayListModel list{1};
  PlayListTableModel table;
  std::unique_ptr<QAbstractItemModelTester> tester;
  QtMessageHandler previous = nullptr;
};

TEST_F(TableModelTest, EveryEditOfTheListShowsInTheTable) {
  struct Step {
    const char* what;
    std::function<void(TableModelTest&)> edit;
  };
  const Step steps[] = {
      {"append to the empty list",
       [](auto& t) {
         t.Insert(0, {"/a", "/b", "/c"}, false);
       }},
      {"insert in the middle",
       [](auto& t) {
         t.Insert(1, {"/x", "/y"}, true);
       }},
      {"mark", [](auto& t) { t.list.SetMark(2, true); }},
      {"remove", [](auto& t) { t.list.RemoveRow(0); }},
      {"move down", [](auto& t) { t.list.MoveRow(0, 3); }},
      {"move up", [](auto& t) { t.list.MoveRow(3, 1); }},
      {"swap", [](auto& t) { t.list.SwapRows(0, 1); }},
      {"grow", [](auto& t) { t.list.SetRowCount(7); }},
      {"shrink", [](auto& t) { t.list.SetRowCount(2); }},
      {"clear marks", [](auto& t) { t.list.ClearMarks(); }},
      {"batch",
       [](auto& t) {
         ListUpdate batch(t.list);
         t.Insert(1, {"/p", "/q", "/r"}, true);
         t.list.RemoveRow(0);
       }},
      {"reset", [](auto& t) { t.list.Reset(); }},
      {"insert onto the empty row in insert mode", [](auto& t) { t.Insert(0, {"/only"}, true); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.edit(*this);
    Settle();
    EXPECT_EQ(Shown(), Expected());
  }
  EXPECT_EQ(modelWarnings, 0);
}

TEST_F(TableModelTest, ABatchOfAHundredThousandRowsArrivesAsOneChange) {
  QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(&table, &QAbstractItemModel::modelReset);
  {
    ListUpdate batch(list);
    Insert(0, Numbered(100000), false);
  }
  Settle();
  EXPECT_EQ(table.rowCount(), 100000);
  EXPECT_EQ(inserted.count() + reset.count(), 1);
  EXPECT_EQ(table.index(99999, 1).data().toString(), "/m/99999.wav");
  EXPECT_EQ(modelWarnings, 0);
}

TEST_F(TableModelTest, NoticesAfterAResetInTheSameBatchAreNotCountedTwice) {
  Insert(0, {"/old1", "/old2"}, false);
  {
    // As a play-list file replaces the list.
    ListUpdate batch(list);
    list.Reset();
    Insert(0, {"/a", "/b", "/c", "/d"}, false);
  }
  EXPECT_EQ(table.rowCount(), 4);
  Settle();
  EXPECT_EQ(Shown(), Expected());
  // Later notices are applied one by one again.
  QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);
  Insert(4, {"/e"}, false);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(Shown(), Expected());
  EXPECT_EQ(modelWarnings, 0);
}

TEST_F(TableModelTest, TheMarkColumnIsFixedAndNothingIsEditable) {
  Insert(0, {"/a"}, false);
  list.SetMark(0, true);
  EXPECT_EQ(table.index(0, 0).data().toString(), QString::fromUtf8("♪"));
  EXPECT_FALSE(table.flags(table.index(0, 0)) & Qt::ItemIsSelectable);
  EXPECT_TRUE(table.flags(table.index(0, 1)) & Qt::ItemIsSelectable);
  for (int column : {0, 1}) EXPECT_FALSE(table.flags(table.index(0, column)) & Qt::ItemIsEditable);
  EXPECT_TRUE(table.index(0, 0).data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(table.index(0, 1).data(Qt::BackgroundRole).isValid());
  // Without a source the table is empty.
  table.SetSource(nullptr);
  EXPECT_EQ(table.rowCount(), 0);
}

}  // namespace
}  // namespace kelvo::testing
