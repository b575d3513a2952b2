#include "shell/qt/play_list_table_model.h"

#include <QBrush>
#include <QFile>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPalette>
#include <algorithm>

namespace kelvo {

PlayListTableModel::PlayListTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void PlayListTableModel::SetSource(const PlayListModel* source) {
  source_ = source;
  ResetNow();
}

void PlayListTableModel::ResetNow() {
  beginResetModel();
  rows_ = source_ ? source_->RowCount() : 0;
  afterReset_ = false;
  staleNotices_ = false;
  endResetModel();
}

void PlayListTableModel::Flush() {
  if (staleNotices_) ResetNow();
  afterReset_ = false;
}

int PlayListTableModel::SourceRow(int row) const {
  if (applying_ == nullptr) return row;
  const ListChange& c = *applying_;
  switch (c.What) {
    case ListChange::Kind::RowsInserted:
      return row < c.First ? row : row + c.Count;
    case ListChange::Kind::RowsRemoved:
      if (row < c.First) return row;
      return row < c.First + c.Count ? -1 : row - c.Count;
    case ListChange::Kind::RowMoved:
      if (row == c.First) return c.To;
      if (c.First < c.To && row > c.First && row <= c.To) return row - 1;
      if (c.To < c.First && row >= c.To && row < c.First) return row + 1;
      return row;
    default:
      return row;
  }
}

void PlayListTableModel::Apply(const ListChange& change) {
  if (!source_) return;
  if (change.What == ListChange::Kind::SelectionChanged ||
      change.What == ListChange::Kind::TopRowChanged) {
    return;
  }
  if (change.What == ListChange::Kind::Reset) {
    ResetNow();
    afterReset_ = true;
    // The batch's notices, if any, come right after this one; the event
    // loop turns only once they are all delivered.
    QMetaObject::invokeMethod(this, &PlayListTableModel::Flush, Qt::QueuedConnection);
    return;
  }
  if (afterReset_) {
    staleNotices_ = true;
    return;
  }
  applying_ = &change;
  switch (change.What) {
    case ListChange::Kind::RowsInserted: {
      if (change.Count <= 0 || change.First < 0 || change.First > rows_) break;
      beginInsertRows(QModelIndex(), change.First, change.First + change.Count - 1);
      applying_ = nullptr;
      rows_ += change.Count;
      endInsertRows();
      break;
    }
    case ListChange::Kind::RowsRemoved: {
      const int count = std::min(change.Count, rows_ - change.First);
      if (count <= 0 || change.First < 0) break;
      beginRemoveRows(QModelIndex(), change.First, change.First + count - 1);
      applying_ = nullptr;
      rows_ -= count;
      endRemoveRows();
      break;
    }
    case ListChange::Kind::RowMoved: {
      const int from = change.First;
      const int to = change.To;
      if (from == to || from < 0 || to < 0 || from >= rows_ || to >= rows_) break;
      // Qt names the row before which the moved row lands, counted before the move.
      beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
      applying_ = nullptr;
      endMoveRows();
      break;
    }
    case ListChange::Kind::CellsChanged: {
      applying_ = nullptr;
      const int first = std::clamp(change.First, 0, rows_);
      const int last = std::min(change.First + change.Count, rows_) - 1;
      if (last < first) break;
      emit dataChanged(index(first, kMarkColumn), index(last, kPathColumn), {Qt::DisplayRole});
      break;
    }
    default:
      break;
  }
  applying_ = nullptr;
}

int PlayListTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int PlayListTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant PlayListTableModel::data(const QModelIndex& index, int role) const {
  if (!source_ || !index.isValid() || index.row() >= rows_) return {};
  const int row = SourceRow(index.row());
  if (row < 0) return {};
  const bool mark = index.column() == kMarkColumn;
  switch (role) {
    case Qt::DisplayRole: {
      if (mark) return source_->IsMarked(row) ? QString::fromUtf8(kPlayedMark) : QString();
      // Paths are the file system's bytes; shown as the file system names them.
      const std::string_view path = source_->Path(row);
      return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    }
    case Qt::TextAlignmentRole:
      if (mark) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::BackgroundRole:
      if (mark) return QGuiApplication::palette().button();
      return {};
    case Qt::ForegroundRole:
      if (mark) return QGuiApplication::palette().buttonText();
      return {};
    default:
      return {};
  }
}

Qt::ItemFlags PlayListTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // The mark column is fixed: it is never selected, only used to drag rows.
  if (index.column() == kMarkColumn) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace kelvo
