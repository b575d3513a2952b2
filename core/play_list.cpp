#include "core/play_list.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace kelvo {

namespace {
const std::string kEmpty;
// A batch with more notices than this reaches the view as one reset.
constexpr std::size_t kMaxBatchedNotices = 32;
}  // namespace

PlayListModel::PlayListModel(int designRows) {
  const auto rows = static_cast<std::size_t>(std::max(1, designRows));
  buf_.resize(rows);
  gapBegin_ = gapEnd_ = rows;
  size_ = rows;
}

PlayListRow& PlayListModel::At(std::size_t i) {
  return i < gapBegin_ ? buf_[i] : buf_[i + (gapEnd_ - gapBegin_)];
}

const PlayListRow& PlayListModel::At(std::size_t i) const {
  return i < gapBegin_ ? buf_[i] : buf_[i + (gapEnd_ - gapBegin_)];
}

void PlayListModel::MoveGapTo(std::size_t pos) {
  if (gapBegin_ == gapEnd_) {
    // No gap: nothing to move (and no element may be moved onto itself).
    gapBegin_ = gapEnd_ = pos;
  } else if (pos < gapBegin_) {
    const std::size_t n = gapBegin_ - pos;
    std::move_backward(buf_.begin() + static_cast<std::ptrdiff_t>(pos),
                       buf_.begin() + static_cast<std::ptrdiff_t>(gapBegin_),
                       buf_.begin() + static_cast<std::ptrdiff_t>(gapEnd_));
    gapBegin_ -= n;
    gapEnd_ -= n;
  } else if (pos > gapBegin_) {
    const std::size_t n = pos - gapBegin_;
    std::move(buf_.begin() + static_cast<std::ptrdiff_t>(gapEnd_),
              buf_.begin() + static_cast<std::ptrdiff_t>(gapEnd_ + n),
              buf_.begin() + static_cast<std::ptrdiff_t>(gapBegin_));
    gapBegin_ += n;
    gapEnd_ += n;
  }
}

void PlayListModel::InsertAt(std::size_t pos, PlayListRow row) {
  if (gapBegin_ == gapEnd_) {
    // Grow the buffer, opening the new gap right at the insertion point.
    const std::size_t capacity = std::max<std::size_t>(16, buf_.size() * 2);
    std::vector<PlayListRow> grown(capacity);
    for (std::size_t i = 0; i < pos; ++i) grown[i] = std::move(At(i));
    const std::size_t tail = size_ - pos;
    for (std::size_t i = 0; i < tail; ++i) grown[capacity - tail + i] = std::move(At(pos + i));
    buf_ = std::move(grown);
    gapBegin_ = pos;
    gapEnd_ = capacity - tail;
  } else {
    MoveGapTo(pos);
  }
  buf_[gapBegin_++] = std::move(row);
  ++size_;
}

void PlayListModel::PopBack() {
  if (gapEnd_ < buf_.size()) {
    buf_.pop_back();
  } else {
    buf_[--gapBegin_] = PlayListRow{};
  }
  --size_;
}

void PlayListModel::EraseAt(std::size_t pos) {
  if (pos + 1 == size_) {
    PopBack();
    return;
  }
  MoveGapTo(pos);
  buf_[gapEnd_++] = PlayListRow{};
  --size_;
}

const std::string& PlayListModel::Mark(int row) const {
  static const std::string marked = kPlayedMark;
  return IsMarked(row) ? marked : kEmpty;
}

bool PlayListModel::IsMarked(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= size_) return false;
  return At(static_cast<std::size_t>(row)).Marked;
}

std::string_view PlayListModel::Path(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= size_) return {};
  const PlayListRow& r = At(static_cast<std::size_t>(row));
  return std::string_view(arena_).substr(static_cast<std::size_t>(r.Offset), r.Length);
}

PlayListRow PlayListModel::MakeRow(std::string_view path) {
  PlayListRow row;
  row.Offset = arena_.size();
  row.Length = static_cast<std::uint32_t>(path.size());
  arena_.append(path);
  return row;
}

void PlayListModel::Discard(const PlayListRow& row) {
  garbage_ += row.Length;
}

void PlayListModel::PackArenaIfWasteful() {
  if (garbage_ < 64 * 1024 || garbage_ * 2 < arena_.size()) return;
  std::string packed;
  packed.reserve(arena_.size() - garbage_);
  for (std::size_t i = 0; i < size_; ++i) {
    PlayListRow& row = At(i);
    const auto offset = packed.size();
    packed.append(arena_, static_cast<std::size_t>(row.Offset), row.Length);
    row.Offset = offset;
  }
  arena_ = std::move(packed);
  garbage_ = 0;
}

void PlayListModel::SetRow(int row) {
  row = std::clamp(row, 0, RowCount() - 1);
  if (row == row_) return;
  row_ = row;
  Notify({ListChange::Kind::SelectionChanged, row});
}

void PlayListModel::SetTopRow(int top) {
  top = std::clamp(top, 0, RowCount() - 1);
  if (top == topRow_) return;
  topRow_ = top;
  Notify({ListChange::Kind::TopRowChanged, top});
}

void PlayListModel::SetRowCount(int count) {
  const auto target = static_cast<std::size_t>(std::max(1, count));
  if (target > size_) {
    const int first = RowCount();
    while (size_ < target) InsertAt(size_, PlayListRow{});
    Notify({ListChange::Kind::RowsInserted, first, RowCount() - first});
  } else if (target < size_) {
    const int removed = RowCount() - static_cast<int>(target);
    while (size_ > target) {
      if (At(size_ - 1).Marked) --markedCount_;
      Discard(At(size_ - 1));
      PopBack();
    }
    PackArenaIfWasteful();
    Notify({ListChange::Kind::RowsRemoved, static_cast<int>(target), removed});
    if (row_ >= RowCount()) SetRow(RowCount() - 1);
    if (topRow_ >= RowCount()) SetTopRow(RowCount() - 1);
  }
}

void PlayListModel::SetMark(int row, bool marked) {
  if (row < 0 || row >= RowCount()) return;
  auto& mark = At(static_cast<std::size_t>(row)).Marked;
  if (mark == marked) return;
  mark = marked;
  markedCount_ += marked ? 1 : -1;
  Notify({ListChange::Kind::CellsChanged, row, 1, 0, true});
}

void PlayListModel::SetPath(int row, std::string_view path) {
  if (row < 0 || row >= RowCount()) return;
  PlayListRow& r = At(static_cast<std::size_t>(row));
  Discard(r);
  const bool marked = r.Marked;
  r = MakeRow(path);
  r.Marked = marked;
  PackArenaIfWasteful();
  Notify({ListChange::Kind::CellsChanged, row, 1});
}

void PlayListModel::Reset() {
  arena_.clear();
  arena_.shrink_to_fit();
  garbage_ = 0;
  buf_.assign(1, PlayListRow{});
  gapBegin_ = gapEnd_ = 1;
  size_ = 1;
  row_ = 0;
  topRow_ = 0;
  markedCount_ = 0;
  Notify({ListChange::Kind::Reset});
}

int PlayListModel::InsertionPoint(bool insertMode) const {
  if (insertMode) return std::max(0, row_);
  return Path(RowCount() - 1).empty() ? RowCount() - 1 : RowCount();
}

void PlayListModel::InsertEntry(int& point, std::string_view path, bool insertMode) {
  point = std::clamp(point, 0, RowCount());
  const auto at = static_cast<std::size_t>(point);
  const bool grow = !Path(RowCount() - 1).empty() || at == size_;
  const std::size_t rowsAfter = size_ + (grow ? 1 : 0);
  if (insertMode && at + 1 < rowsAfter) {
    // Rows from `point` on move down by one: into a grown row, or onto the
    // empty last row, which is used up.
    if (!grow) {
      if (At(size_ - 1).Marked) --markedCount_;
      Discard(At(size_ - 1));
      PopBack();
      Notify({ListChange::Kind::RowsRemoved, RowCount(), 1});
    }
    InsertAt(at, MakeRow(path));
    Notify({ListChange::Kind::RowsInserted, point, 1});
  } else {
    // Nothing moves: row `point` (the grown row or an existing one) takes the entry.
    if (grow) {
      InsertAt(size_, PlayListRow{});
      Notify({ListChange::Kind::RowsInserted, RowCount() - 1, 1});
    }
    auto& row = At(at);
    if (row.Marked) --markedCount_;
    Discard(row);
    row = MakeRow(path);
    Notify({ListChange::Kind::CellsChanged, point, 1});
  }
  ++point;
}

void PlayListModel::RemoveRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  if (size_ == 1) {
    if (At(0).Marked) --markedCount_;
    Discard(At(0));
    At(0) = PlayListRow{};
    Notify({ListChange::Kind::CellsChanged, 0, 1});
    return;
  }
  if (At(static_cast<std::size_t>(row)).Marked) --markedCount_;
  Discard(At(static_cast<std::size_t>(row)));
  EraseAt(static_cast<std::size_t>(row));
  PackArenaIfWasteful();
  Notify({ListChange::Kind::RowsRemoved, row, 1});
  if (row_ >= RowCount()) SetRow(RowCount() - 1);
  if (topRow_ >= RowCount()) SetTopRow(RowCount() - 1);
}

void PlayListModel::SwapRows(int a, int b) {
  if (a < 0 || b < 0 || a >= RowCount() || b >= RowCount() || a == b) return;
  std::swap(At(static_cast<std::size_t>(a)), At(static_cast<std::size_t>(b)));
  Notify({ListChange::Kind::CellsChanged, std::min(a, b), std::abs(a - b) + 1});
}

void PlayListModel::MoveRow(int from, int to) {
  if (from < 0 || to < 0 || from >= RowCount() || to >= RowCount() || from == to) return;
  PlayListRow moving = std::move(At(static_cast<std::size_t>(from)));
  EraseAt(static_cast<std::size_t>(from));
  InsertAt(static_cast<std::size_t>(to), std::move(moving));
  // The selection follows its entry.
  if (row_ == from) {
    row_ = to;
  } else if (from < row_ && row_ <= to) {
    --row_;
  } else if (to <= row_ && row_ < from) {
    ++row_;
  }
  Notify({ListChange::Kind::RowMoved, from, 1, to});
  Notify({ListChange::Kind::SelectionChanged, row_});
}

void PlayListModel::ClearMarks() {
  if (markedCount_ == 0) return;
  for (std::size_t i = 0; i < size_; ++i) At(i).Marked = false;
  markedCount_ = 0;
  Notify({ListChange::Kind::CellsChanged, 0, RowCount(), 0, true});
}

int PlayListModel::NextUnmarked(int from) const {
  const int n = RowCount();
  if (markedCount_ >= n) return -1;
  from = ((from % n) + n) % n;
  for (int step = 0; step < n; ++step) {
    const int r = (from + step) % n;
    if (!At(static_cast<std::size_t>(r)).Marked) return r;
  }
  return -1;
}

void PlayListModel::Notify(ListChange change) {
  if (updateDepth_ > 0) {
    if (!pending_.empty()) {
      auto& last = pending_.back();
      // Cells of rows that the view has not yet seen inserted need no notice.
      if (change.What == ListChange::Kind::CellsChanged &&
          last.What == ListChange::Kind::RowsInserted && change.First >= last.First &&
          change.First + change.Count <= last.First + last.Count) {
        return;
      }
      const bool contiguous = change.First == last.First + last.Count;
      if (last.What == change.What && contiguous &&
          (change.What == ListChange::Kind::RowsInserted ||
           change.What == ListChange::Kind::CellsChanged)) {
        last.Count += change.Count;
        last.MarksOnly = last.MarksOnly && change.MarksOnly;
        return;
      }
    }
    pending_.push_back(change);
    return;
  }
  Deliver(change);
}

void PlayListModel::Deliver(const ListChange& change) {
  if (listener_) listener_(change);
  if (observer_) observer_(change);
}

void PlayListModel::EndUpdate() {
  if (updateDepth_ == 0 || --updateDepth_ > 0) return;
  std::vector<ListChange> batch;
  batch.swap(pending_);
  const bool reset = std::any_of(batch.begin(), batch.end(), [](const ListChange& c) {
    return c.What == ListChange::Kind::Reset;
  });
  if (reset || batch.size() > kMaxBatchedNotices) {
    Deliver({ListChange::Kind::Reset});
    return;
  }
  for (const auto& change : batch) Deliver(change);
}

}  // namespace kelvo
