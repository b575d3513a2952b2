#pragma once
// The play list: rows of two cells (played mark, path), never fewer than one
// row. The empty list is one row whose path is empty.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// The played mark of a row in the current shuffle pass.
inline constexpr const char* kPlayedMark = "♪";

// A row as the list keeps it: its path is a run of bytes in the list's arena
// (the bytes as the file system gave them; may be empty).
struct PlayListRow {
  std::uint64_t Offset = 0;
  std::uint32_t Length = 0;
  bool Marked = false;
};

// What changed in the list, so that a view can follow without re-reading it.
struct ListChange {
  enum class Kind {
    RowsInserted,  // Count rows now stand at First..First+Count-1
    RowsRemoved,   // Count rows that stood at First.. are gone
    RowMoved,      // the row at First now stands at To
    CellsChanged,  // cells of rows First..First+Count-1 changed
    SelectionChanged,
    TopRowChanged,
    Reset,  // anything may have changed
  };
  Kind What;
  int First = 0;
  int Count = 0;
  int To = 0;
  // CellsChanged of played marks alone: the entries themselves are the same.
  bool MarksOnly = false;
};

class PlayListModel {
 public:
  using Listener = std::function<void(const ListChange&)>;

  // The grid of the window's design holds 15 empty rows until start-up resets it.
  explicit PlayListModel(int designRows = 15);

  int RowCount() const { return static_cast<int>(size_); }
  // Cells of a row; a row beyond the list reads as two empty cells. The
  // mark cell reads "" or kPlayedMark.
  const std::string& Mark(int row) const;
  // Valid until the list next changes.
  std::string_view Path(int row) const;
  bool IsMarked(int row) const;
  // True when the list is one row with an empty path.
  bool IsEmpty() const { return size_ == 1 && Path(0).empty(); }

  int Row() const { return row_; }
  void SetRow(int row);
  int TopRow() const { return topRow_; }
  void SetTopRow(int top);
  int VisibleRowCount() const { return visibleRowCount_; }
  void SetVisibleRowCount(int count) { visibleRowCount_ = count; }

  // Growing appends empty rows at the end; shrinking drops rows from the end.
  // Never below one row; the selection moves onto the new last row if needed.
  void SetRowCount(int count);
  void SetMark(int row, bool marked);
  void SetPath(int row, std::string_view path);
  // Makes the list the empty list: one row, both cells empty, row 0 selected.
  void Reset();

  // Where a batch of inserted entries begins (append mode: the end, an empty
  // last row being filled first; insert mode: the selected row, 0 when none).
  int InsertionPoint(bool insertMode) const;
  // Inserts one entry with an empty mark at row `point` and advances it. Grows
  // the list when the last path is non-empty or `point` equals the row count;
  // otherwise the empty last row is used up. In insert mode the rows from
  // `point` on move down by one; in append mode row `point` is overwritten.
  // Consecutive calls cost O(1) each, whatever the length of the list.
  void InsertEntry(int& point, std::string_view path, bool insertMode);
  // Removes the row, keeps at least one row (the single row is emptied).
  void RemoveRow(int row);
  void SwapRows(int a, int b);
  // Moves the row at `from` to `to`; the rows between shift by one place.
  void MoveRow(int from, int to);
  void ClearMarks();
  int MarkedCount() const { return markedCount_; }
  // First unmarked row at or after `from`, wrapping, or -1 when all are marked.
  int NextUnmarked(int from) const;

  // The view's listener; nullptr removes it.
  void SetListener(Listener listener) { listener_ = std::move(listener); }
  // A further observer (outside control), told after the view.
  void SetObserver(Listener observer) { observer_ = std::move(observer); }
  // Notices inside an update are collected and delivered at its end:
  // contiguous insertions as one, long batches as one reset.
  void BeginUpdate() { ++updateDepth_; }
  void EndUpdate();

 private:
  // Rows live in a gap buffer: logical rows are buf_[0, gapBegin_) followed
  // by buf_[gapEnd_, buf_.size()). Insertions next to the last one are O(1).
  PlayListRow& At(std::size_t i);
  const PlayListRow& At(std::size_t i) const;
  void MoveGapTo(std::size_t pos);
  void InsertAt(std::size_t pos, PlayListRow row);
  void EraseAt(std::size_t pos);
  void PopBack();
  void Notify(ListChange change);
  void Deliver(const ListChange& change);
  // A row holding `path`, its bytes added to the arena.
  PlayListRow MakeRow(std::string_view path);
  // The bytes of a row that goes away or takes another path are garbage;
  // the arena is packed again once garbage is most of it.
  void Discard(const PlayListRow& row);
  void PackArenaIfWasteful();

  // Paths are kept in one arena of bytes, rows as 16-byte references into
  // it: a list of a million entries costs little more than its paths.
  std::string arena_;
  std::size_t garbage_ = 0;
  std::vector<PlayListRow> buf_;
  std::size_t gapBegin_ = 0;
  std::size_t gapEnd_ = 0;
  std::size_t size_ = 0;
  int row_ = 0;
  int topRow_ = 0;
  int visibleRowCount_ = 0;
  int markedCount_ = 0;
  Listener listener_;
  Listener observer_;
  int updateDepth_ = 0;
  std::vector<ListChange> pending_;
};

// Brackets a batch of changes: one notice set at its end.
class ListUpdate {
 public:
  explicit ListUpdate(PlayListModel& model) : model_(model) { model_.BeginUpdate(); }
  ~ListUpdate() { model_.EndUpdate(); }
  ListUpdate(const ListUpdate&) = delete;
  ListUpdate& operator=(const ListUpdate&) = delete;

 private:
  PlayListModel& model_;
};

}  // namespace kelvo
