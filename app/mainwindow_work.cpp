// Long work on the worker thread: the Cancel button and Escape, the
// commands that wait while it runs, the progress it reports, and Exit while
// it runs. The lists the window shows are never touched by the worker: it
// fills lists of its own that are handed over when it has ended.
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>

#include <charconv>

#include "mainwindow.h"
#include "status_progress.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// The highest row number of the list, or nullopt when no row has a number.
std::optional<int64_t> HighestRowNumber(const ThumbnailList& list) {
  std::optional<int64_t> highest;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& key = list[i].key;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), value);
    if (error != std::errc() || end != key.data() + key.size()) continue;
    if (!highest || value > *highest) highest = value;
  }
  return highest;
}

}  // namespace

void MainWindow::CreateWorkControls() {
  work_ = new WorkRunner(this);
  CancelWorkBtn = new QPushButton(QStringLiteral("Cancel"), StatusBar1);
  CancelWorkBtn->setObjectName(QStringLiteral("CancelWorkBtn"));
  CancelWorkBtn->setToolTip(QStringLiteral("Stop the running work (Esc)"));
  CancelWorkBtn->hide();
  StatusBar1->addPermanentWidget(CancelWorkBtn);
  connect(CancelWorkBtn, &QPushButton::clicked, this, &MainWindow::CancelWork);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &MainWindow::CancelWork);
  // Files dragged from the file manager open as if chosen with Open.
  setAcceptDrops(true);
  connect(ListView2->header(), &QHeaderView::sectionClicked, this,
          &MainWindow::ListView2ColumnClick);
}

void MainWindow::CancelWork() {
  if (IsWorking()) work_->RequestStop();
}

void MainWindow::DisableCommandsForWork() {
  // Everything that would change a list or read one the worker fills waits;
  // Exit stays and stops the work first.
  for (QAction* action :
       {ActionOpen, ActionSearchAll, ActionBruteForce, ActionShowThumb, ActionExtract,
        ActionExtractSelected, ActionView, ActionOpenWith, ActionOrigView, ActionSelectAll,
        ActionUnselectAll, ActionInvert, ActionLeftRotate, ActionRightRotate}) {
    action->setEnabled(false);
  }
}

void MainWindow::SetWorking(bool working) {
  CancelWorkBtn->setVisible(working);
  CancelWorkBtn->setEnabled(working);
  if (working) {
    DisableCommandsForWork();
  } else {
    for (QAction* action : {ActionOpen, ActionSearchAll, ActionBruteForce, ActionShowThumb,
                            ActionLeftRotate, ActionRightRotate}) {
      action->setEnabled(true);
    }
  }
  if (LangItem != nullptr) LangItem->setEnabled(!working);
  ListView1->setEnabled(!working);
  ListView2->setEnabled(!working);
  if (working) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
    UpdateCommands();
    UpdateImageView(0);
  }
}

bool MainWindow::RunWork(const std::function<void(std::stop_token)>& work,
                         const std::function<void()>& tick) {
  work_progress_.Reset();
  SetWorking(true);
  int shown = -1;
  const bool done = work_->Run(work, [this, &tick, &shown] {
    // The event loop runs: setting the values is enough, it paints them.
    // Nothing here paints at once or handles events itself, so a tick costs
    // the window next to nothing even on a loaded machine.
    const int position = work_progress_.position();
    if (progress_ && progress_->bar() != nullptr && position != shown) {
      shown = position;
      QProgressBar* bar = progress_->bar();
      bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
      SetStatusPanel(0, QString::fromStdString(PercentText(position)));
    }
    if (tick) tick();
  });
  work_ms_ += work_->last_elapsed_ms();
  work_stopped_ = !done;
  SetWorking(false);
  return done;
}

void MainWindow::ShowCancelled() {
  // Panel 0, beside the time and count: panel 1 belongs to the image view.
  SetStatusPanel(0, StatusPanelText(0).isEmpty()
                        ? QStringLiteral("Cancelled")
                        : StatusPanelText(0) + QStringLiteral(". Cancelled"));
}

void MainWindow::AfterWork() {
  // A close asked for while the work ran happens now that it has ended.
  if (close_pending_) {
    close_pending_ = false;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void MainWindow::AppendCarvedRows(ThumbnailList& carved) {
  // Carved rows go on from the highest number listed, so a list of rows 1
  // to 500 gets 501 next, never a second 500.
  const std::optional<int64_t> highest = HighestRowNumber(thumbnails_);
  const int64_t first =
      std::max<int64_t>(static_cast<int64_t>(thumbnails_.size()), highest ? *highest + 1 : 0);
  for (size_t i = 0; i < carved.size(); ++i) {
    ThumbnailRow row = std::move(carved[i]);
    row.key = std::to_string(first + static_cast<int64_t>(i));
    if (row.source_kind == SourceKind::kOpenFile) {
      row.source = thumbnails_.AddSource(carved.Source(row.source));
    }
    thumbnails_.Append(std::move(row));
  }
  carved.Clear();
}

namespace {

QStringList LocalFiles(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!IsWorking() && !LocalFiles(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  } else {
    QMainWindow::dragEnterEvent(event);
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalFiles(event->mimeData());
  if (paths.isEmpty()) {
    QMainWindow::dropEvent(event);
    return;
  }
  event->acceptProposedAction();
  // The drop returns to the file manager first; the file opens after it.
  QMetaObject::invokeMethod(
      this, [this, paths] { OpenDroppedFiles(paths); }, Qt::QueuedConnection);
}

void MainWindow::FitNumberColumn() {
  // The longest key by characters stands for the widest; measuring every
  // one of 100,000 rows would cost more than it tells.
  size_t longest = 0;
  for (size_t i = 1; i < thumbnails_.size(); ++i) {
    if (thumbnails_[i].key.size() > thumbnails_[longest].key.size()) longest = i;
  }
  if (thumbnails_.empty()) return;
  const QString key = QString::fromStdString(thumbnails_[longest].key);
  // Room for the check box and the cell's margins beside the text.
  const int needed = ListView1->fontMetrics().horizontalAdvance(key) +
                     style()->pixelMetric(QStyle::PM_IndicatorWidth) + 24;
  if (ListView1->columnWidth(0) < needed) ListView1->setColumnWidth(0, needed);
}

void MainWindow::OpenDroppedFiles(const QStringList& paths) {
  if (IsWorking() || paths.isEmpty()) return;
  carved_list_ = false;
  // One list shows one file: the first local file dropped is opened.
  OpenThumbnailFile(paths.first());
}

}  // namespace glintvane
