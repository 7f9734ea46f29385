// The thumbnail list: command states, checking, sorting, the column layout
// and dragging found caches onto it.
#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>

#include <charconv>
#include <ctime>
#include <optional>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "mainwindow.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

constexpr char kAscendingMarker[] = " v";
constexpr char kDescendingMarker[] = " ^";

// The Number column as an integer; an empty caption counts as 0.
std::optional<int64_t> RowNumber(const ThumbnailRow& row) {
  if (row.key.empty()) return 0;
  int64_t value = 0;
  const char* end = row.key.data() + row.key.size();
  const auto [at, error] = std::from_chars(row.key.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

// The Modified column as seconds since 1970. Rows of a cache carry the
// FILETIME their text was made from; other rows have only the text, read
// back with the pattern it was written with.
std::optional<int64_t> RowSeconds(const ThumbnailRow& row, const std::string& format) {
  if (row.filetime != 0) return FileTimeToUnixSeconds(row.filetime);
  if (row.time_text.empty()) return std::nullopt;
  std::tm tm{};
  const char* end = strptime(row.time_text.c_str(), format.c_str(), &tm);
  if (end == nullptr || *end != '\0') return std::nullopt;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

int FoldedCompare(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Rows whose value cannot be read sort as equal to each other and ahead of
// every row that has one, so the order stays a proper order.
template <typename T>
int CompareOptional(const std::optional<T>& a, const std::optional<T>& b, bool* failed) {
  if (!a || !b) {
    *failed = true;
    return a.has_value() - b.has_value();
  }
  return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

QString WithoutMarker(QString caption) {
  if (caption.endsWith(QLatin1String(kAscendingMarker)) ||
      caption.endsWith(QLatin1String(kDescendingMarker)))
    caption.chop(2);
  return caption;
}

}  // namespace

int MainWindow::FocusedRow() const {
  const QModelIndex current = ListView1->currentIndex();
  return current.isValid() ? current.row() : -1;
}

QString MainWindow::TabCaption(QWidget* page) const {
  for (QTabWidget* tabs : {PageControl1, PageControl2}) {
    const int at = tabs->indexOf(page);
    if (at >= 0) return tabs->tabText(at);
  }
  return {};
}

void MainWindow::SetTabCaption(QWidget* page, const QString& caption) {
  for (QTabWidget* tabs : {PageControl1, PageControl2}) {
    const int at = tabs->indexOf(page);
    if (at >= 0) tabs->setTabText(at, caption);
  }
}

bool MainWindow::FileInfoTabVisible() const {
  return PageControl1->isTabVisible(PageControl1->indexOf(FileInfoTabSheet));
}

void MainWindow::SetTabVisible(QWidget* page, bool visible) {
  const int at = PageControl1->indexOf(page);
  if (at >= 0) PageControl1->setTabVisible(at, visible);
}

void MainWindow::UpdateCommands() {
  UpdateWindowTitle();
  const bool has_rows = thumbnail_model_->rowCount() > 0;
  const bool selected = ListView1->selectionModel()->hasSelection();
  ActionView->setEnabled(selected);
  ActionSelectAll->setEnabled(has_rows);
  ActionUnselectAll->setEnabled(has_rows);
  ActionInvert->setEnabled(has_rows);
  ActionExtract->setEnabled(has_rows);
  ActionExtractSelected->setEnabled(selected);
  ActionOpenWith->setEnabled(selected);
  ActionShowThumb->setVisible(!found_caches_.empty() && !AllDbPanel->isHidden());
  SetTabVisible(FileInfoTabSheet, has_rows);
  if (IsWorking()) DisableCommandsForWork();
}

void MainWindow::ActionSelectExecute(QAction* sender) {
  if (sender == nullptr) return;
  thumbnail_model_->ApplyCheckCommand(sender->data().toInt());
}

void MainWindow::ListView1Click() {
  UpdateCommands();
}

void MainWindow::ListView1ColumnClick(int column) {
  // An empty list has nothing to sort; not even the direction changes.
  if (thumbnail_model_->rowCount() == 0) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool attached = list_view1_change_attached_;
  list_view1_change_attached_ = false;

  int previous = -1;
  if (column == sort_column_) {
    sort_ascending_ = !sort_ascending_;
  } else {
    previous = sort_column_;
    sort_column_ = column;
    sort_ascending_ = true;
  }
  MarkSortColumn(previous, sort_ascending_, column);

  bool failed = false;
  auto compare = [this, &failed](const ThumbnailRow& a, const ThumbnailRow& b) {
    return ListView1Compare(a, b, &failed);
  };
  thumbnail_model_->Sort(
      [&compare](const ThumbnailRow& a, const ThumbnailRow& b) { return compare(a, b) < 0; });
  // One entry per sort, not one per comparison: a carved list of 100,000
  // rows would otherwise bury the error list under millions of lines.
  if (failed) {
    const QString column_text = sort_column_ == 0 ? UiText(kTextNumber) : UiText(kTextModified);
    AddError(kErrException, open_file_,
             QStringLiteral("EConvertError: ") + column_text +
                 QStringLiteral(": some rows hold no valid value"));
  }

  if (ListView1->currentIndex().isValid())
    ListView1->scrollTo(ListView1->currentIndex(), QAbstractItemView::EnsureVisible);
  QApplication::restoreOverrideCursor();
  list_view1_change_attached_ = attached;
}

int MainWindow::ListView1Compare(const ThumbnailRow& a, const ThumbnailRow& b, bool* failed) {
  bool unreadable = false;
  int result = 0;
  switch (sort_column_) {
    case 0:
      result = CompareOptional(RowNumber(a), RowNumber(b), &unreadable);
      break;
    case 1:
      result = FoldedCompare(RowNameText(a), RowNameText(b));
      break;
    case 2:
      result = CompareOptional(RowSeconds(a, date_time_format_), RowSeconds(b, date_time_format_),
                               &unreadable);
      break;
    default:
      result = FoldedCompare(RowTimeText(a), RowTimeText(b));
      break;
  }
  if (unreadable) {
    if (failed != nullptr) {
      *failed = true;
    } else {
      AddError(kErrException, open_file_,
               QStringLiteral("EConvertError: the row holds no valid value"));
      return 0;
    }
  }
  return sort_ascending_ ? result : -result;
}

void MainWindow::MarkSortColumn(int previous, bool ascending, int column) {
  if (previous != -1)
    thumbnail_model_->SetCaption(previous, WithoutMarker(thumbnail_model_->Caption(previous)));
  thumbnail_model_->SetCaption(column,
                               WithoutMarker(thumbnail_model_->Caption(column)) +
                                   QLatin1String(ascending ? kAscendingMarker : kDescendingMarker));
}

void MainWindow::FormResize() {
  const int status_width = StatusBar1->width();
  status_panel_[0]->setFixedWidth(std::max(20, status_width / 3));

  if (activation_state_ == 1) {
    // The columns are laid out once, at the first size the window really
    // has; later the user's own widths stay.
    activation_state_ = 2;
    const int scroll_bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int w = ListView1->viewport()->width() - scroll_bar - 1;
    const int c0 = static_cast<int>(w * 0.2);
    const int c1 = static_cast<int>(w * 0.35);
    ListView1->setColumnWidth(0, c0);
    ListView1->setColumnWidth(1, c1);
    ListView1->setColumnWidth(2, w - (c0 + 1) - (c1 + 1));
    const int f0 = static_cast<int>(w * 0.2);
    const int f1 = static_cast<int>(w * 0.1);
    const int f2 = static_cast<int>(w * 0.2);
    ListView2->setColumnWidth(0, f0);
    ListView2->setColumnWidth(1, f1);
    ListView2->setColumnWidth(2, f2);
    ListView2->setColumnWidth(3, w - (f0 + 1) - (f1 + 1) - (f2 + 1));
  }
  if (activation_state_ >= 1) UpdateImageView(3);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView1->viewport()) {
    const QEvent::Type type = event->type();
    // Files from the file manager go on to the window, which opens them.
    if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
      if (static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) return false;
    }
    if (type == QEvent::DragEnter || type == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      // Only a found cache can be dropped here, and only from a list that
      // has one.
      if (drag->source() == ListView2 && !found_caches_.empty())
        drag->acceptProposedAction();
      else
        drag->ignore();
      return true;
    }
    if (type == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      if (drop->source() == ListView2 && !found_caches_.empty()) {
        drop->acceptProposedAction();
        ListView2DblClick();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace glintvane
