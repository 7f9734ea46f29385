// The main window: the menus, the tool bar and the layout over the window's
// parts, and the handlers by the names the program's description gives
// them (ActionOpenExecute, ListView1Change, ...), each a few lines that
// forward to the part that owns the work. The commands live in
// WindowCommands, the shared state in WindowContext.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <memory>

#include "start_options.h"
#include "window_commands.h"
#include "window_context.h"
#include "window_parts.h"

class QSplitter;
class QTabWidget;
class QToolBar;

namespace glintvane {

class DesktopIntegration;
class ExtractionFlow;
class ItemOpener;
class ReportFlow;
class TimelineFlow;
class WindowTexts;

class MainWindow : public QMainWindow, public WindowCommands {
  Q_OBJECT

 public:
  explicit MainWindow(StartOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The parts, for tests and tools.
  WindowContext& context() { return *context_; }
  StatusLine* status() const { return parts_.status; }
  WorkController* work() const { return parts_.work; }
  CacheList* list() const { return parts_.list; }
  FileInfoPane* info() const { return parts_.info; }
  ImagePane* pane() const { return parts_.pane; }
  LocatorPanel* locator() const { return parts_.locator; }
  ExtractionFlow* extraction() const { return extraction_; }
  CaseFlow* case_flow() const { return parts_.case_flow; }
  RowTags* tags() const { return parts_.tags; }
  ReportFlow* report() const { return report_; }
  TimelineFlow* timeline() const { return timeline_; }
  ItemOpener* opener() const { return opener_; }
  DesktopIntegration* desktop() const { return desktop_; }
  WindowTexts* languages() const { return languages_; }
  QToolBar* ToolBar1 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QSplitter* Splitter2 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QMenu* File1 = nullptr;
  QMenu* Actions1 = nullptr;
  QMenu* Help1 = nullptr;
  QMenu* ListBoxPopupMenu = nullptr;

  // State read by tests and the parts.
  const ErrorList& errors() const { return context_->errors(); }
  ThumbnailList& thumbnails() { return context_->thumbnails(); }
  const FoundCacheList& found_caches() const { return context_->found_caches(); }
  QString UiText(int index) const { return context_->UiText(index); }
  QString OpenFilePath() const { return context_->open_file(); }
  int activation_state() const { return activation_state_; }
  QString version_text() const { return version_text_; }
  bool IsWorking() const;
  QString RegistryString(const QString& value, const QString& name, const QString& mode) {
    return context_->RegistryString(value, name, mode);
  }

 public slots:
  void FormActivate();
  void FormResize();
  void ActionExitExecute();
  void ApplyTexts();
  void LangClick(QAction* item);
  void UpdateCommands();
  void ActionSelectExecute(QAction* sender);
  void ListView1ColumnClick(int column);
  void ListView1Click();
  void ListView1Change();
  void ActionOpenExecute();
  void OpenThumbnailFile(const QString& path);
  void ClearThumbnailList();
  void UpdateImageView(int mode);
  void ActionBestFitExecute();
  void ActionActualSizeExecute();
  void ActionLeftRotateExecute();
  void ActionRightRotateExecute();
  void ActionSearchAllExecute();
  void ActionBruteForceExecute();
  void ListView2DblClick();
  void ListView2ColumnClick(int column);
  void ActionExtractExecute();
  void ActionExtractSelectedExecute();
  void ListView1DblClick();
  void ActionOpenWithExecute();
  void ActionOrigViewExecute();
  void ActionDesktopIconExecute();
  void ActionQuickLaunchIconExecute();
  void ActionHelpExecute();
  void ActionHelpOnlineExecute();
  void ActionHelpAboutExecute();
  void ActionOpenEvidenceExecute();
  void OpenEvidenceImage(const QString& path);
  void CancelWork();
  void SetTimeZone(TimeZoneChoice zone);
  void ActionSettingsExecute();
  void ActionNewCaseExecute();
  void ActionOpenCaseExecute();
  void ActionCloseCaseExecute();
  void ActionExaminerReportExecute();
  void ActionExportTimelineExecute();
  void ActionChooseSearchIndexExecute();
  // Files named on the command line, in order; files dropped on the window.
  void OpenStartFiles(const QStringList& paths);
  void OpenDroppedFiles(const QStringList& paths);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateParts();
  void CreateCommands();
  void CreateMenus();
  void ConnectParts();
  void OnWorkingChanged(bool working);
  void OpenPath(const QString& path);
  void FocusBackAfterViewMode();
  void UpdateWindowTitle();

  StartOptions options_;
  platform::Dialogs* dialogs_;
  std::unique_ptr<WindowContext> context_;
  WindowParts parts_;
  ExtractionFlow* extraction_ = nullptr;
  ReportFlow* report_ = nullptr;
  TimelineFlow* timeline_ = nullptr;
  ItemOpener* opener_ = nullptr;
  DesktopIntegration* desktop_ = nullptr;
  WindowTexts* languages_ = nullptr;
  QString version_text_;
  int activation_state_ = 0;  // 0 before first showing, 1 after, 2 once laid out
  bool resize_attached_ = true;
};

}  // namespace glintvane
