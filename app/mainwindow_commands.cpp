// The commands: made and given their keys, put into the menus and the tool
// bar, captioned in the chosen language, and the handlers that forward each
// to the part that owns its work.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeView>

#include "cache_list.h"
#include "carving_flow.h"
#include "case_flow.h"
#include "desktop_integration.h"
#include "evidence_flow.h"
#include "extraction_flow.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "open_flow.h"
#include "platform/dialogs.h"
#include "report_flow.h"
#include "row_tags.h"
#include "status_line.h"
#include "timeline_flow.h"
#include "window_texts.h"
#include "work_controller.h"

namespace glintvane {

void MainWindow::CreateCommands() {
  WindowCommands::CreateCommands(this);
  // Every command to its handler, by member pointer.
  const std::pair<QAction*, void (MainWindow::*)()> handlers[] = {
      {ActionExit, &MainWindow::ActionExitExecute},
      {ActionOpen, &MainWindow::ActionOpenExecute},
      {ActionOpenEvidence, &MainWindow::ActionOpenEvidenceExecute},
      {ActionSearchAll, &MainWindow::ActionSearchAllExecute},
      {ActionBruteForce, &MainWindow::ActionBruteForceExecute},
      {ActionShowThumb, &MainWindow::ListView2DblClick},
      {ActionExtract, &MainWindow::ActionExtractExecute},
      {ActionExtractSelected, &MainWindow::ActionExtractSelectedExecute},
      {ActionView, &MainWindow::ListView1DblClick},
      {ActionOpenWith, &MainWindow::ActionOpenWithExecute},
      {ActionOrigView, &MainWindow::ActionOrigViewExecute},
      {ActionBestFit, &MainWindow::ActionBestFitExecute},
      {ActionActualSize, &MainWindow::ActionActualSizeExecute},
      {ActionLeftRotate, &MainWindow::ActionLeftRotateExecute},
      {ActionRightRotate, &MainWindow::ActionRightRotateExecute},
      {ActionDesktopIcon, &MainWindow::ActionDesktopIconExecute},
      {ActionQuickLaunchIcon, &MainWindow::ActionQuickLaunchIconExecute},
      {ActionHelp, &MainWindow::ActionHelpExecute},
      {ActionHelpOnline, &MainWindow::ActionHelpOnlineExecute},
      {ActionHelpAbout, &MainWindow::ActionHelpAboutExecute},
      {ActionSettings, &MainWindow::ActionSettingsExecute},
      {ActionNewCase, &MainWindow::ActionNewCaseExecute},
      {ActionOpenCase, &MainWindow::ActionOpenCaseExecute},
      {ActionCloseCase, &MainWindow::ActionCloseCaseExecute},
      {ActionExaminerReport, &MainWindow::ActionExaminerReportExecute},
      {ActionExportTimeline, &MainWindow::ActionExportTimelineExecute},
      {ActionChooseSearchIndex, &MainWindow::ActionChooseSearchIndexExecute},
  };
  for (const auto& [action, handler] : handlers)
    connect(action, &QAction::triggered, this, handler);
  for (QAction* action : {ActionSelectAll, ActionUnselectAll, ActionInvert})
    connect(action, &QAction::triggered, this, [this, action] { ActionSelectExecute(action); });
  connect(ActionShowGallery, &QAction::triggered, this, [this] { parts_.pane->ToggleGallery(); });
  connect(ActionUtcTimes, &QAction::triggered, this,
          [this](bool utc) { SetTimeZone(utc ? TimeZoneChoice::kUtc : TimeZoneChoice::kLocal); });
}

void MainWindow::CreateMenus() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ToolBar1->addAction(ActionExit);
  ToolBar1->addSeparator();
  ToolBar1->addAction(ActionOpen);
  ToolBar1->addAction(ActionSearchAll);
  ToolBar1->addSeparator();
  ToolBar1->addAction(ActionBruteForce);
  ToolBar1->addAction(ActionShowThumb);

  File1 = menuBar()->addMenu(QString());
  File1->addActions({ActionOpen, ActionOpenEvidence, ActionSearchAll, ActionChooseSearchIndex});
  File1->addSeparator();
  File1->addActions({ActionNewCase, ActionOpenCase, ActionCloseCase});
  File1->addSeparator();
  File1->addAction(ActionBruteForce);
  File1->addSeparator();
  File1->addAction(ActionExportTimeline);
  File1->addSeparator();
  File1->addActions({ActionDesktopIcon, ActionQuickLaunchIcon});
  File1->addSeparator();
  File1->addAction(ActionSettings);
  File1->addSeparator();
  File1->addAction(ActionExit);

  Actions1 = menuBar()->addMenu(QString());
  Actions1->addActions({ActionExtract, ActionExtractSelected, ActionExaminerReport});
  Actions1->addSeparator();
  Actions1->addMenu(parts_.tags->TagMenu);
  Actions1->addAction(parts_.tags->ActionEditNote);
  Actions1->addSeparator();
  Actions1->addActions({ActionSelectAll, ActionUnselectAll, ActionInvert});
  Actions1->addSeparator();
  Actions1->addAction(ActionShowThumb);
  Actions1->addSeparator();
  Actions1->addActions({ActionView, ActionOpenWith});
  Actions1->addSeparator();
  Actions1->addAction(ActionOrigView);
  Actions1->addSeparator();
  Actions1->addActions({ActionShowGallery, ActionUtcTimes});

  Help1 = menuBar()->addMenu(QString());
  Help1->addActions({ActionHelp, ActionHelpOnline});
  Help1->addSeparator();
  Help1->addAction(ActionHelpAbout);

  ListBoxPopupMenu = new QMenu(this);
  ListBoxPopupMenu->addActions({ActionExtract, ActionExtractSelected});
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addMenu(parts_.tags->TagMenu);
  ListBoxPopupMenu->addAction(parts_.tags->ActionEditNote);
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addActions({ActionSelectAll, ActionUnselectAll, ActionInvert});
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addActions({ActionView, ActionOpenWith});
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addAction(ActionOrigView);

  // The rest (launchers, Online Support, About, Language) through the
  // menus: F10 opens the menu bar, the arrows walk it.
  auto* menu_key = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(menu_key, &QShortcut::activated, this, [this] {
    menuBar()->setFocus(Qt::MenuBarFocusReason);
    menuBar()->setActiveAction(File1->menuAction());
  });
}

void MainWindow::ApplyTexts() {
  UpdateWindowTitle();
  File1->setTitle(UiText(kTextFile));
  Actions1->setTitle(UiText(kTextActions));
  Help1->setTitle(UiText(kTextHelp));
  if (languages_->LangItem != nullptr) languages_->LangItem->setTitle(UiText(kTextLanguage));
  ApplyCommandTexts(*context_);
  parts_.list->ApplyTexts();
  parts_.info->ApplyTexts();
  parts_.pane->ApplyTexts();
  parts_.locator->ApplyTexts();
  parts_.tags->ApplyTexts();
  parts_.work->ApplyTexts();
  parts_.status->Retranslate();
}

void MainWindow::LangClick(QAction* item) {
  languages_->LangClick(item);
}

void MainWindow::ActionSelectExecute(QAction* sender) {
  if (sender != nullptr) parts_.list->ApplyCheckCommand(sender->data().toInt());
}

void MainWindow::ListView1ColumnClick(int column) {
  parts_.list->ColumnClick(column);
}

void MainWindow::ListView1Click() {
  UpdateCommands();
}

void MainWindow::ListView1Change() {
  parts_.pane->ShowFocusedRow();
  parts_.info->ShowRowOrigin(parts_.list->FocusedRecord());
  UpdateCommands();
}

void MainWindow::UpdateImageView(int mode) {
  parts_.pane->UpdateImageView(mode);
}

void MainWindow::FocusBackAfterViewMode() {
  if (activation_state_ == 0) return;
  if (parts_.list->IsCurrentPage()) parts_.list->ListView1->setFocus();
  if (PageControl1->currentWidget() == parts_.info->FileInfoTabSheet)
    parts_.info->RichEdit1->setFocus();
}

void MainWindow::ActionBestFitExecute() {
  parts_.pane->SetBestFit(true);
  FocusBackAfterViewMode();
}

void MainWindow::ActionActualSizeExecute() {
  if (parts_.pane->SetBestFit(false)) FocusBackAfterViewMode();
}

void MainWindow::ActionLeftRotateExecute() {
  parts_.pane->Rotate(1);
}

void MainWindow::ActionRightRotateExecute() {
  parts_.pane->Rotate(-1);
}

void MainWindow::ActionOpenExecute() {
  parts_.open->Open();
}

void MainWindow::OpenThumbnailFile(const QString& path) {
  parts_.open->OpenFile(path);
}

void MainWindow::ClearThumbnailList() {
  parts_.open->ClearList();
}

void MainWindow::ActionSearchAllExecute() {
  parts_.locator->SearchAll();
}

void MainWindow::ActionBruteForceExecute() {
  parts_.carving->BruteForce();
}

void MainWindow::ListView2DblClick() {
  parts_.locator->OpenHighlighted();
}

void MainWindow::ListView2ColumnClick(int column) {
  parts_.locator->ColumnClick(column);
}

void MainWindow::ActionExtractExecute() {
  extraction_->ExtractChecked();
}

void MainWindow::ActionExtractSelectedExecute() {
  extraction_->ExtractSelected();
}

void MainWindow::ListView1DblClick() {
  if (!IsWorking() && ActionView->isEnabled()) opener_->OpenSelected();
}

void MainWindow::ActionOpenWithExecute() {
  if (!IsWorking()) opener_->OpenSelectedWith();
}

void MainWindow::ActionOrigViewExecute() {
  if (opener_->OpenOriginal(parts_.pane->OrgFileViewBtn->toolTip())) return;
  // The original has gone since the row was shown.
  ActionOrigView->setEnabled(false);
  parts_.pane->OrgFileViewBtn->hide();
}

void MainWindow::ActionDesktopIconExecute() {
  desktop_->CreateLauncher(true);
}

void MainWindow::ActionQuickLaunchIconExecute() {
  desktop_->CreateLauncher(false);
}

void MainWindow::ActionHelpExecute() {
  desktop_->ShowHelp();
}

void MainWindow::ActionHelpOnlineExecute() {
  desktop_->OpenSupport();
}

void MainWindow::ActionHelpAboutExecute() {
  desktop_->ShowAbout();
}

void MainWindow::ActionOpenEvidenceExecute() {
  parts_.evidence->Open();
}

void MainWindow::OpenEvidenceImage(const QString& path) {
  parts_.evidence->OpenImage(path);
}

void MainWindow::ActionNewCaseExecute() {
  parts_.case_flow->NewCase();
}

void MainWindow::ActionOpenCaseExecute() {
  parts_.case_flow->OpenCase();
}

void MainWindow::ActionCloseCaseExecute() {
  parts_.case_flow->CloseCase();
}

void MainWindow::ActionExaminerReportExecute() {
  report_->ExaminerReport();
}

void MainWindow::ActionExportTimelineExecute() {
  timeline_->ExportTimeline();
}

void MainWindow::CancelWork() {
  parts_.work->Cancel();
}

void MainWindow::OpenStartFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (!path.isEmpty()) OpenPath(QFileInfo(path).absoluteFilePath());
  }
}

void MainWindow::OpenDroppedFiles(const QStringList& paths) {
  if (IsWorking() || paths.isEmpty()) return;
  context_->SetCarvedList(false);
  // One list shows one file: the first local file dropped is opened.
  OpenPath(paths.first());
}

void MainWindow::OpenPath(const QString& path) {
  // A folder is searched for its caches, as File Locator does, and a disk
  // image walked for them, as File > Open Evidence Image does: neither is
  // read as a cache.
  if (QFileInfo(path).isDir()) {
    parts_.locator->SearchFrom(path);
  } else if (parts_.open->MayReplaceList()) {
    parts_.open->OpenFileOrImage(path);
  }
}

}  // namespace glintvane
