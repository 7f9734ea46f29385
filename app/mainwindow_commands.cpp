// Commands whose work belongs to other parts of the program: carving a
// chosen file, the found-caches list, extraction, the desktop hand-off,
// shortcuts, help and About. Where the core part is still to come, the
// handler says so instead of pretending to have done the work.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

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
  CarveFile(path);

  EndListWork(work_ms_);
}

void MainWindow::ListView2DblClick() {
  if (IsWorking()) return;
  if (found_caches_.empty() || !ListView2->selectionModel()->hasSelection()) return;
  const QModelIndex current = ListView2->currentIndex();
  if (!current.isValid() || static_cast<size_t>(current.row()) >= found_caches_.size()) return;
  OpenThumbnailFile(QString::fromStdString(found_caches_[static_cast<size_t>(current.row())].path));
}

void MainWindow::ActionDesktopIconExecute() {
  dialogs().ShowMessage(
      this, platform::MessageKind::kError,
      UiText(kTextError) + QStringLiteral(": \n") + UiText(kTextDesktopIconFailed));
}

void MainWindow::ActionQuickLaunchIconExecute() {
  dialogs().ShowMessage(
      this, platform::MessageKind::kError,
      UiText(kTextError) + QStringLiteral(": \n") + UiText(kTextQuickLaunchIconFailed));
}

void MainWindow::ActionHelpExecute() {
  // No guide beside the program: nothing happens, as with any missing help.
  const QString guide = program_directory_ + help_file_name_;
  if (QFileInfo::exists(guide)) platform::Desktop::OpenWithDesktop(guide);
}

void MainWindow::ActionHelpOnlineExecute() {
  platform::Desktop::OpenAddress(web_address_);
}

void MainWindow::ActionHelpAboutExecute() {
  QDialog about(this);
  about.setWindowTitle(QStringLiteral("About..."));
  auto* layout = new QVBoxLayout(&about);
  auto* name =
      new QLabel(QStringLiteral("<b>%1</b><br>%2")
                     .arg(UiText(kTextProductName).toHtmlEscaped(), version_text_.toHtmlEscaped()),
                 &about);
  name->setAlignment(Qt::AlignCenter);
  auto* address =
      new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(web_address_.toHtmlEscaped()), &about);
  address->setAlignment(Qt::AlignCenter);
  address->setOpenExternalLinks(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  layout->addWidget(name);
  layout->addWidget(address);
  layout->addWidget(buttons);
  about.exec();
}

}  // namespace glintvane
