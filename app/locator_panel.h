// File Locator: the found-caches panel (AllDbPanel) with its list
// (ListView2), the folder walk that fills it on the worker with rows shown
// as they are found, its sorting, and opening a found cache.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "discover/found_caches.h"
#include "discover/search_folder.h"

class QLabel;
class QSplitter;
class QStandardItemModel;
class QTreeView;
class QWidget;

namespace glintvane {

struct WindowParts;

class LocatorPanel : public QObject {
  Q_OBJECT

 public:
  // The panel goes into `splitter` above the thumbnail list.
  LocatorPanel(const WindowParts& parts, QSplitter* splitter);

  QWidget* AllDbPanel = nullptr;
  QLabel* Panel2 = nullptr;
  QTreeView* ListView2 = nullptr;
  // Found-caches rows of deleted files carry true under this role.
  static constexpr int kDeletedRowRole = Qt::UserRole + 40;

  QStandardItemModel* model() const { return model_; }
  bool IsShown() const;

  // ActionSearchAllExecute: the folder chooser, then SearchFrom.
  void SearchAll();
  // The walk of `root`, after asking whether to clear a list that has rows.
  void SearchFrom(const QString& root);
  // The walk of `root`; `previous_count` rows were kept from before (-1:
  // none), `previous_index` was highlighted among them.
  void Search(const QString& root, int previous_count = -1, int previous_index = -1);
  // Runs `walk` over a copy of the found caches on the worker, with the
  // rows it finds shown as they come and the folders it meets in the status
  // line; the copy replaces the list when the walk has ended. The options
  // carry the window's time style, the sinks and the stop token.
  void RunWalk(const std::function<void(FoundCacheList&, const SearchOptions&)>& walk);
  // ListView2DblClick: opens the highlighted found cache.
  void OpenHighlighted();
  // An opened or scanned file joins the list while the panel is shown.
  void SelectOrAddFoundCache(const EvidenceLocation& where);
  void AddFoundCacheRow(const CacheFileRecord& record);
  void ClearFoundCaches();
  // The panel's first showing: its height and its columns.
  void ShowPanel();
  // The columns at the window's first real size, over `width` pixels.
  void LayOutColumns(int width);

  // ListView2ColumnClick: sorts by name, size, time or location.
  void ColumnClick(int column);
  int sort_column() const { return sort_column_; }
  bool sort_ascending() const { return sort_ascending_; }
  QString Caption(int column) const;
  // The line above the list (Panel2), written again in a new language.
  void SetCount(std::function<QString()> text);
  // How many caches of each kind the list holds, and that in words
  // ("Thumbs.db files: 2, thumbcache files: 12").
  struct CacheCounts {
    size_t thumbs_db = 0;
    size_t thumbcache = 0;
  };
  CacheCounts CountCaches() const;
  QString CountText(const CacheCounts& counts) const;

  void ApplyTexts();
  QByteArray SaveState() const;
  void RestoreState(const QByteArray& state);

 private:
  void AppendModelRow(const CacheFileRecord& record);
  // The Modified - Deleted text of a row in the window's time style.
  QString TimeText(const CacheFileRecord& record) const;
  void RewriteTimes();
  QString TimeCaption() const;
  void RebuildModel();
  void MarkSortColumn(int previous, bool ascending, int column);
  void Highlight(int row);

  const WindowParts& parts_;
  QSplitter* splitter_;
  QStandardItemModel* model_;
  int sort_column_ = 0;
  bool sort_ascending_ = false;
  std::function<QString()> count_;
};

}  // namespace glintvane
