// Commands whose work belongs to other parts of the program: carving a
// chosen file, the found-caches list, extraction and the desktop hand-off
// (launchers, help and About: mainwindow_desktop.cpp). Where the core part
// is still to come, the handler says so instead of pretending to have done
// the work.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

#include <optional>

#include "carve_kinds_dialog.h"
#include "mainwindow.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "status_progress.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

constexpr int kClearListHelpContext = 2;

}  // namespace

void MainWindow::ActionBruteForceExecute() {
  if (IsWorking()) return;
  carved_list_ = false;
  const QStringList filters{
      UiText(kTextThumbnailCacheFiles) + QStringLiteral(" (*.db *.DB)"),
      UiText(kTextSwapAndHibernationFiles) +
          QStringLiteral(" (pagefile.sys win386.swp hiber*.sys swapfile.sys)"),
      UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = dialogs().ChooseOpenFile(this, filters);
  if (path.isEmpty()) return;
  // Which kinds of picture to carve: the last choice is offered again.
  const std::optional<CarveKinds> kinds = dialogs().ChooseCarveKinds(this, LoadCarveKinds());
  if (!kinds) return;
  SaveCarveKinds(*kinds);

  BeginWithFile(path);
  list_view1_change_attached_ = false;
  ListView1->setUpdatesEnabled(false);
  busy_ = true;
  work_ms_ = 0;
  if (!thumbnails_.empty() &&
      dialogs().AskYesNo(this, UiText(kTextClearList), kClearListHelpContext)) {
    ClearThumbnailList();
  }
  repaint();
  progress_ =
      std::make_unique<StatusProgress>(StatusBar1, status_panel_[0], status_panel_[1], 0, 100);
  CarveFile(path, *kinds);

  EndListWork(work_ms_);
}

void MainWindow::ListView2DblClick() {
  if (IsWorking()) return;
  if (found_caches_.empty() || !ListView2->selectionModel()->hasSelection()) return;
  const QModelIndex current = ListView2->currentIndex();
  if (!current.isValid() || static_cast<size_t>(current.row()) >= found_caches_.size()) return;
  OpenThumbnailFile(QString::fromStdString(found_caches_[static_cast<size_t>(current.row())].path));
}

}  // namespace glintvane
