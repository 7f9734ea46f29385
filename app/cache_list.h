// The thumbnail list (ListView1): the table over the core's rows, its
// columns and the chooser that shows or hides them per kind of list, the
// sort by column, the check boxes, and the keys and drops it takes.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

#include "cache/thumbnail_list.h"

class QMenu;
class QTabWidget;
class QTreeView;
class QWidget;

namespace glintvane {

class ThumbnailModel;
class WindowContext;

// A list view in the report style both lists use: rows of equal height, one
// row chosen at a time, headers that sort.
QTreeView* MakeReportView(QWidget* parent);

// What a list holds, for the columns it shows: each kind remembers its own.
// A thumbcache whose rows a Windows Search index named is a kind of its own:
// its names, times and paths are worth columns.
enum class ListKind { kThumbsDb, kThumbcache, kCarved, kNamedThumbcache };

class CacheList : public QObject {
  Q_OBJECT

 public:
  // The list fills `page`, a page of `pages`.
  CacheList(WindowContext& context, QTabWidget* pages, QWidget* page);

  QTreeView* ListView1 = nullptr;
  QWidget* mainTabSheet = nullptr;

  ThumbnailModel* model() const { return model_; }
  // Rows shown (a filter may hide some), and rows of the list.
  int RowCount() const;
  int ListRowCount() const;
  bool HasSelection() const;
  // The view row the image view shows (the list's current row), or -1.
  int FocusedRow() const;
  // Its record, when a row is selected.
  ThumbnailRow* FocusedRecord() const;
  int CheckedCount() const;

  // The tab's caption: the open file's name, or "File" with no file.
  void SetCaption(const QString& caption);
  QString Caption() const;
  // The list's page in front; whether it is.
  void Bring();
  bool IsCurrentPage() const;
  void ApplyTexts();
  // The rows' times written again in the window's time style, the zone
  // named in the Modified column's header.
  void RewriteTimes();

  // The change handler: while detached, a new focused row is not shown.
  void SetChangeAttached(bool attached) { change_attached_ = attached; }
  bool change_attached() const { return change_attached_; }

  // Rows added to or removed from the core's list since the last call are
  // shown; Clear also forgets the sort state (not the column's marker).
  void Refresh();
  void Clear();
  // Makes row 0 current, which shows its picture.
  void ShowFirstRow();
  // After a file was read: the columns of its kind, the Number column wide
  // enough for its longest key.
  void FitToRows();
  // The columns laid out once at the window's first real size.
  void LayOutColumns();

  // Sorting (ListView1ColumnClick): a second click on the same column turns
  // the order round.
  void ColumnClick(int column);
  // Negative, 0 or positive as a sorts before, with or after b. A value that
  // cannot be read sets *failed; without `failed` it is recorded in the
  // error list and the rows compare equal.
  int Compare(const ThumbnailRow& a, const ThumbnailRow& b, bool* failed = nullptr);
  void MarkSortColumn(int previous, bool ascending, int column);
  int sort_column() const { return sort_column_; }
  bool sort_ascending() const { return sort_ascending_; }

  // Checks (1), unchecks (2) or inverts (3) every row.
  void ApplyCheckCommand(int tag);

  // The kind of list shown now, and the columns it shows.
  ListKind kind() const { return kind_; }
  QList<int> VisibleColumns() const;
  // Shows or hides a column (never the Number column) and keeps the choice
  // for the kind.
  void SetColumnVisible(int column, bool visible);
  // Shows a column for now, without changing the kind's kept choice.
  void ShowColumn(int column);
  // A bar (the tag filter) above the list, on the list's page.
  void InsertBar(QWidget* bar);
  // The header's menu of columns, as a right click on the header shows it.
  void FillColumnMenu(QMenu* menu);

  // Drops onto the list are accepted from `source` while `accepts` says so.
  void AcceptDropsFrom(QWidget* source, std::function<bool()> accepts);

  QByteArray SaveState() const;
  void RestoreState(const QByteArray& state);

 signals:
  void FocusedRowChanged();
  void SelectionChanged();
  void Clicked();
  void Activated();  // double click
  void EnterPressed();
  void DroppedFromSource();
  void ContextMenuRequested(const QPoint& global);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnFocusedRowChanged();
  void ToggleCheck();
  void ApplyKindColumns();
  void FitKeyColumn();

  WindowContext& context_;
  QTabWidget* pages_;
  ThumbnailModel* model_;
  int sort_column_ = -1;
  bool sort_ascending_ = false;
  bool change_attached_ = true;
  ListKind kind_ = ListKind::kThumbsDb;
  QWidget* drop_source_ = nullptr;
  std::function<bool()> accepts_drop_;
};

}  // namespace glintvane
