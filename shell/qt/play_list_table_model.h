#pragma once
// The player's play list as a Qt table: column 0 the played mark, column 1
// the path. The rows live in the core's PlayListModel; this model only
// follows its change notices, so a batch reaches the view as one change.

#include <QAbstractTableModel>

#include "core/play_list.h"

namespace kelvo {

class PlayListTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kMarkColumn = 0;
  static constexpr int kPathColumn = 1;

  explicit PlayListTableModel(QObject* parent = nullptr);

  // Shows `source` (nullptr: nothing); a reset for the views.
  void SetSource(const PlayListModel* source);
  const PlayListModel* Source() const { return source_; }

  // Applies a notice of the source's rows and cells. Selection and top-row
  // notices are the view's business and are ignored here.
  //
  // After a reset the table already shows the source as it is, so notices
  // of the same batch that follow a reset are stale: from a reset until the
  // next Flush (which the event loop runs soon after) row and cell notices
  // are not applied one by one; Flush then resets once more if any came.
  void Apply(const ListChange& change);
  // Brings the views up to date with the source now.
  void Flush();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // The source row that stands at `row` of the table as the views know it;
  // -1 for a row that the notice being applied removed.
  int SourceRow(int row) const;
  void ResetNow();

  const PlayListModel* source_ = nullptr;
  // The rows the views know of. It trails the source while a notice is
  // applied, so that the views always see a consistent count.
  int rows_ = 0;
  // The notice being applied: while Qt asks about the rows between its
  // begin and end calls, the table answers with the rows as they were.
  const ListChange* applying_ = nullptr;
  bool afterReset_ = false;
  bool staleNotices_ = false;
};

}  // namespace kelvo
