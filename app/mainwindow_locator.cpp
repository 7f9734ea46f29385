// File Locator: the folder walk on the worker thread with rows shown as they
// are found, the found-caches list's sorting, and opening a found cache.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

#include <mutex>
#include <vector>

#include "base/error_codes.h"
#include "discover/found_caches_sort.h"
#include "discover/search_folder.h"
#include "mainwindow.h"
#include "platform/dialogs.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

constexpr int kClearListHelpContext = 2;
// The found-caches panel's height when it first shows.
constexpr int kFoundPanelHeight = 160;
constexpr char kAscendingMarker[] = " v";
constexpr char kDescendingMarker[] = " ^";

// What the walk tells the window, handed across under a lock: rows found
// since the last look, the folder count and the last folder's name.
class LocatorMailbox final : public FoundCacheSink, public SearchProgressSink {
 public:
  void OnCacheFound(const CacheFileRecord& record, size_t) override {
    const std::lock_guard lock(mutex_);
    rows_.push_back(record);
  }
  void OnFolder(uint64_t folder_count, std::string_view name) override {
    // Called per folder: only the latest is kept, and the lock is held for
    // the copy of one name.
    const std::lock_guard lock(mutex_);
    folders_ = folder_count;
    name_.assign(name);
  }
  std::vector<CacheFileRecord> TakeRows() {
    const std::lock_guard lock(mutex_);
    return std::exchange(rows_, {});
  }
  std::pair<uint64_t, std::string> Folder() {
    const std::lock_guard lock(mutex_);
    return {folders_, name_};
  }

 private:
  std::mutex mutex_;
  std::vector<CacheFileRecord> rows_;
  uint64_t folders_ = 0;
  std::string name_;
};

QString WithoutMarker(QString caption) {
  if (caption.endsWith(QLatin1String(kAscendingMarker)) ||
      caption.endsWith(QLatin1String(kDescendingMarker)))
    caption.chop(2);
  return caption;
}

}  // namespace

void MainWindow::ActionSearchAllExecute() {
  if (IsWorking()) return;
  carved_list_ = false;
  int previous_count = -1;
  int previous_index = -1;
  const QString root = dialogs().ChooseFolder(this, UiText(kTextSelectRootDirectory));
  if (root.isEmpty()) return;
  if (!found_caches_.empty()) {
    if (dialogs().AskYesNo(this, UiText(kTextClearList), kClearListHelpContext)) {
      ClearFoundCaches();
      ClearThumbnailList();
    } else {
      previous_count = static_cast<int>(found_caches_.size());
      const QModelIndex current = ListView2->currentIndex();
      previous_index = current.isValid() ? current.row() : -1;
    }
  }
  repaint();

  // The walk appends to its own copy; rows reach the window's list through
  // the mailbox as they are found, and the copy replaces the list at the end.
  FoundCacheList list = found_caches_;
  LocatorMailbox mailbox;
  SearchOptions options;
  options.date_time_format = date_time_format_;
  options.time_zone = time_zone_;
  options.rows = &mailbox;
  options.progress = &mailbox;
  SearchOutcome outcome;
  const std::string local_root = root.toStdString();
  const auto show_progress = [this, &mailbox] {
    for (const CacheFileRecord& record : mailbox.TakeRows()) AppendFoundModelRow(record);
    // The panel shows from the first row on, so rows appear as they are found.
    if (found_model_->rowCount() > 0 && AllDbPanel->isHidden()) ShowFoundPanel();
    const auto [folders, name] = mailbox.Folder();
    SetStatusPanel(0, UiText(kTextFolders) + QStringLiteral(": ") + QString::number(folders));
    SetStatusPanel(1, QString::fromStdString(name));
  };
  work_ms_ = 0;
  RunWork(
      [&](std::stop_token stop) {
        options.stop = stop;
        outcome = SearchFolder(list, local_root, options);
      },
      show_progress);
  found_caches_ = std::move(list);
  // Rows and model rows must agree one to one: rebuild if they do not.
  if (static_cast<size_t>(found_model_->rowCount()) != found_caches_.size()) RebuildFoundModel();

  const qint64 seconds = work_ms_ / 1000;
  SetStatusPanel(0, {});
  SetStatusPanel(1, {});
  if (work_stopped_) ShowCancelled();
  StatusBar1->repaint();
  Panel2->setText(UiText(kTextRoot) + QStringLiteral(": ") + QString::fromStdString(outcome.root) +
                  QStringLiteral(". ") + UiText(kTextThumbsDbFiles) + QStringLiteral(": ") +
                  QString::number(found_caches_.size()) + QStringLiteral(". ") + UiText(kTextTime) +
                  QStringLiteral(": ") + QString::number(seconds) + QStringLiteral(" ") +
                  UiText(kTextSec) + QStringLiteral("."));

  const int count = static_cast<int>(found_caches_.size());
  if (count > 0) {
    int chosen = 0;
    if (previous_count != -1) chosen = count > previous_count ? previous_count : previous_index;
    if (AllDbPanel->isHidden()) ShowFoundPanel();
    ListView2->setFocus();
    if (chosen >= 0) {
      const QModelIndex index = found_model_->index(chosen, 0);
      ListView2->setCurrentIndex(index);
      ListView2->scrollTo(index, QAbstractItemView::EnsureVisible);
    }
    UpdateCommands();
    // The first search opens the first cache found; one that appends rows
    // opens the first new one. A cancelled walk opens nothing.
    if (chosen >= 0 && chosen != previous_index && !work_stopped_ && !close_pending_) {
      ListView2DblClick();
    }
  }
  UpdateCommands();
  AfterWork();
}

void MainWindow::ShowFoundPanel() {
  AllDbPanel->show();
  // The panel's first showing: its own height, and columns laid out over
  // its own width (it spans the window, not the thumbnail list's side).
  const int total = Splitter2->height();
  Splitter2->setSizes({kFoundPanelHeight, std::max(0, total - kFoundPanelHeight)});
  const int w = ListView2->viewport()->width() - 1;
  const int f0 = static_cast<int>(w * 0.3);
  const int f1 = static_cast<int>(w * 0.1);
  const int f2 = static_cast<int>(w * 0.25);
  ListView2->setColumnWidth(0, f0);
  ListView2->setColumnWidth(1, f1);
  ListView2->setColumnWidth(2, f2);
  ListView2->setColumnWidth(3, w - (f0 + 1) - (f1 + 1) - (f2 + 1));
}

void MainWindow::AppendFoundModelRow(const CacheFileRecord& record) {
  QList<QStandardItem*> items;
  items << new QStandardItem(QString::fromStdString(record.name));
  items << new QStandardItem(record.size ? QString::number(*record.size) : QString());
  items << new QStandardItem(QString::fromStdString(record.modified));
  items << new QStandardItem(QString::fromStdString(record.located));
  for (QStandardItem* item : items) item->setEditable(false);
  // Recycled rows show where the file lies now as their hint.
  if (record.recycled) items.front()->setToolTip(QString::fromStdString(record.path));
  found_model_->appendRow(items);
}

void MainWindow::RebuildFoundModel() {
  found_model_->removeRows(0, found_model_->rowCount());
  for (const CacheFileRecord& record : found_caches_.rows()) AppendFoundModelRow(record);
}

void MainWindow::ClearFoundCaches() {
  found_caches_.Clear();
  found_model_->removeRows(0, found_model_->rowCount());
  found_sort_column_ = -1;
  found_sort_ascending_ = false;
}

QString MainWindow::FoundCaption(int column) const {
  const QStandardItem* item = found_model_->horizontalHeaderItem(column);
  return item != nullptr ? item->text() : QString();
}

void MainWindow::MarkFoundSortColumn(int previous, bool ascending, int column) {
  const auto set = [this](int at, const QString& text) {
    if (QStandardItem* item = found_model_->horizontalHeaderItem(at)) item->setText(text);
  };
  if (previous != -1) set(previous, WithoutMarker(FoundCaption(previous)));
  set(column, WithoutMarker(FoundCaption(column)) +
                  QLatin1String(ascending ? kAscendingMarker : kDescendingMarker));
}

void MainWindow::ListView2ColumnClick(int column) {
  if (found_caches_.empty() || IsWorking()) return;
  const QModelIndex current = ListView2->currentIndex();
  const std::string remembered =
      current.isValid() && static_cast<size_t>(current.row()) < found_caches_.size()
          ? found_caches_[static_cast<size_t>(current.row())].path
          : std::string();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int previous = -1;
  if (column == found_sort_column_) {
    found_sort_ascending_ = !found_sort_ascending_;
  } else {
    previous = found_sort_column_;
    found_sort_column_ = column;
    found_sort_ascending_ = true;
  }
  MarkFoundSortColumn(previous, found_sort_ascending_, column);
  const std::vector<std::string> failures =
      SortFoundCaches(found_caches_, found_sort_column_, found_sort_ascending_);
  for (const std::string& detail : failures)
    AddError(kErrException, UiText(kTextDoubleClickHint), QString::fromStdString(detail));
  RebuildFoundModel();
  if (!remembered.empty()) {
    const int64_t row = found_caches_.IndexOfPath(remembered);
    if (row >= 0) {
      const QModelIndex index = found_model_->index(static_cast<int>(row), 0);
      ListView2->setCurrentIndex(index);
      ListView2->scrollTo(index, QAbstractItemView::EnsureVisible);
    }
  }
  QApplication::restoreOverrideCursor();
}

}  // namespace glintvane
