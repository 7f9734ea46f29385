// The main window. Its components, commands and handlers carry the names the
// program's documentation uses (ListView1, ActionOpen, ListView1Change), so
// the window reads like its description. Each handler is a thin slot over
// the core; the class is spread over one file per subsystem:
//   mainwindow.cpp           construction, first showing, settings, exit
//   mainwindow_layout.cpp    the widgets, menus and tool bar
//   mainwindow_texts.cpp     ApplyTexts, the Language menu
//   mainwindow_lists.cpp     UpdateCommands, checking, sorting, resizing
//   mainwindow_open.cpp      opening a cache, the error list, messages
//   mainwindow_view.cpp      the image view
//   mainwindow_commands.cpp  extraction, search, carving
//   mainwindow_desktop.cpp   launchers, help, About, keys, kept state, gallery
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "base/file_time.h"
#include "cache/thumbnail_list.h"
#include "carve/carve_kinds.h"
#include "discover/found_caches.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"
#include "work_runner.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTextEdit;
class QTextList;
class QToolBar;
class QToolButton;
class QTreeView;
class QStandardItemModel;

namespace glintvane {

class GalleryView;
class ImageView;
class StatusProgress;
class ThumbnailModel;
namespace platform {
class Dialogs;
}

// What the window takes from its surroundings. The defaults are the real
// desktop; tests point them elsewhere.
struct StartOptions {
  QStringList language_folders;          // empty: platform::Desktop::LanguageFolders()
  QString system_language;               // empty: the user's locale as a Windows abbreviation
  platform::Dialogs* dialogs = nullptr;  // null: the platform's standard dialogs
  // null: the browser. Receives the web addresses Online Support and the
  // About box open.
  std::function<void(const QString&)> open_address;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(StartOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- components -------------------------------------------------------
  QToolBar* ToolBar1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* status_panel_[2] = {nullptr, nullptr};
  QWidget* mainPanel = nullptr;
  QWidget* AllDbPanel = nullptr;
  QLabel* Panel2 = nullptr;
  QTreeView* ListView2 = nullptr;
  QSplitter* Splitter2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* mainTabSheet = nullptr;
  QTreeView* ListView1 = nullptr;
  QWidget* FileInfoTabSheet = nullptr;
  QTextEdit* RichEdit1 = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* ImageViewTabSheet = nullptr;
  QWidget* ImgPanel = nullptr;
  QLabel* GammaPanel = nullptr;
  ImageView* PreImage = nullptr;
  QPushButton* OrgFileViewBtn = nullptr;
  QRadioButton* BestFitRadio = nullptr;
  QRadioButton* ActualSizeRadio = nullptr;
  QToolButton* LeftRotateBtn = nullptr;
  QToolButton* RightRotateBtn = nullptr;
  QMenu* File1 = nullptr;
  QMenu* Actions1 = nullptr;
  QMenu* LangItem = nullptr;
  QMenu* Help1 = nullptr;
  QMenu* ListBoxPopupMenu = nullptr;

  // --- commands ---------------------------------------------------------
  QAction* ActionExit = nullptr;
  QAction* ActionOpen = nullptr;
  QAction* ActionSearchAll = nullptr;
  QAction* ActionBruteForce = nullptr;
  QAction* ActionShowThumb = nullptr;
  QAction* ActionExtract = nullptr;
  QAction* ActionExtractSelected = nullptr;
  QAction* ActionView = nullptr;
  QAction* ActionOpenWith = nullptr;
  QAction* ActionOrigView = nullptr;
  QAction* ActionBestFit = nullptr;
  QAction* ActionActualSize = nullptr;
  QAction* ActionLeftRotate = nullptr;
  QAction* ActionRightRotate = nullptr;
  QAction* ActionSelectAll = nullptr;
  QAction* ActionUnselectAll = nullptr;
  QAction* ActionInvert = nullptr;
  QAction* ActionDesktopIcon = nullptr;
  QAction* ActionQuickLaunchIcon = nullptr;
  QAction* ActionHelp = nullptr;
  QAction* ActionHelpOnline = nullptr;
  QAction* ActionHelpAbout = nullptr;
  QAction* ActionOpenEvidence = nullptr;
  // Found-caches rows of deleted files carry true under this role.
  static constexpr int kDeletedRowRole = Qt::UserRole + 40;

  // --- state that tests and other parts read ------------------------------
  const UiTexts& texts() const { return texts_; }
  const ErrorList& errors() const { return errors_; }
  ThumbnailList& thumbnails() { return thumbnails_; }
  ThumbnailModel* thumbnail_model() const { return thumbnail_model_; }
  const FoundCacheList& found_caches() const { return found_caches_; }
  QString StatusPanelText(int panel) const;
  QString OpenFilePath() const { return open_file_; }
  bool carved_list() const { return carved_list_; }
  int activation_state() const { return activation_state_; }
  QString current_language() const { return current_language_; }
  QString version_text() const { return version_text_; }
  int sort_column() const { return sort_column_; }
  bool sort_ascending() const { return sort_ascending_; }
  // The view row the image view shows (the list's current row), or -1.
  int FocusedRow() const;
  // The tab caption of a page of PageControl1 / PageControl2.
  QString TabCaption(QWidget* page) const;
  bool FileInfoTabVisible() const;

 public slots:
  // Start-up and shutdown.
  void FormActivate();
  void FormResize();
  void ActionExitExecute();

  // Texts and languages.
  void ApplyTexts();
  void BuildLanguageMenu();
  void LangClick(QAction* item);

  // Lists and commands.
  void UpdateCommands();
  void ActionSelectExecute(QAction* sender);
  void ListView1ColumnClick(int column);
  void ListView1Click();

  // Opening a file.
  void ActionOpenExecute();
  void OpenThumbnailFile(const QString& path);
  void ClearThumbnailList();
  void ShowErrorList(const QString& path);

  // The image view.
  void ListView1Change();
  void UpdateImageView(int mode);
  void ActionBestFitExecute();
  void ActionActualSizeExecute();
  void ActionLeftRotateExecute();
  void ActionRightRotateExecute();

  // Commands whose work lives in other parts of the core.
  void ActionSearchAllExecute();
  void ActionBruteForceExecute();
  void ListView2DblClick();
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
  // Disk images (evidence_open.cpp).
  void ActionOpenEvidenceExecute();
  void OpenEvidenceImage(const QString& path);

 public:
  // Routines the handlers share.
  void AddError(int code, const QString& context, const QString& detail);
  QString RegistryString(const QString& value, const QString& name, const QString& mode);
  bool ReadThumbnailCache(const QString& path);
  void FitThumbcacheKeys();
  void ReportScanOutcome(const QString& path, bool ok);
  void ShowScannedFileDetails(const QString& path);
  void SelectOrAddFoundCache(const QString& path);
  void MarkSortColumn(int previous, bool ascending, int column);
  // Negative, 0 or positive as row a sorts before, with or after row b
  // under the current sort state. A value that cannot be read sets *failed;
  // without `failed` it is recorded in the error list and the rows compare
  // equal.
  int ListView1Compare(const ThumbnailRow& a, const ThumbnailRow& b, bool* failed = nullptr);
  bool ShowThumbnail(ImageView* target, int64_t offset, int frame, SourceKind kind, int64_t length,
                     bool* gif_frames);
  bool ReadFileRange(const std::string& path, int64_t offset, int64_t length,
                     std::vector<uint8_t>& buffer);
  void RotateImage(ImageView* image, int quarter_turns);
  void AddRowRotation(int step);
  QString UiText(int index) const;

  // --- the desktop around the window: launchers, help and About, the
  // keyboard, remembered state, times in UTC, the gallery and the files
  // named at start (mainwindow_desktop.cpp) ------------------------------
 public:
  QAction* ActionUtcTimes = nullptr;     // times shown in UTC instead of local time
  QAction* ActionShowGallery = nullptr;  // brings the image view or the gallery forward
  QWidget* GalleryTabSheet = nullptr;
  GalleryView* Gallery = nullptr;
  TimeZoneChoice time_zone() const { return time_zone_; }
  // Shows every time in `zone`, rewrites the rows' texts and names the zone
  // in the Modified column; stored for the next start.
  void SetTimeZone(TimeZoneChoice zone);
  // Opens the files named on the command line, in order.
  void OpenStartFiles(const QStringList& paths);
  // The text of the Desktop / Quick Launch failure message for `reason`.
  QString LauncherFailureText(bool desktop, const QString& reason) const;
  void SaveRememberedState();
  void RestoreRememberedState();

 private:
  void SetUpDesktop();       // end of construction
  void ApplyDesktopTexts();  // end of ApplyTexts
  void UpdateWindowTitle();  // after every change of the open file
  void CreateLauncher(bool desktop);
  void OpenAddress(const QString& address);
  TimeZoneChoice time_zone_ = TimeZoneChoice::kLocal;
  // --- end of the desktop block -------------------------------------------

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateComponents();
  void CreateCommands();
  void CreateMenus();
  void CreateEvidenceCommands();
  void ConnectHandlers();
  QAction* MakeAction(QAction*& slot, void (MainWindow::*handler)());
  void ShowFileDetails(const std::vector<std::string>& details);
  // RichEdit1 as a list of paragraphs: plain, bulleted or indented.
  void ClearRichEdit();
  void AppendRichLine(const QString& text, bool bullet, int indent_points);
  void AddFoundCacheRow(const CacheFileRecord& record);
  void SetTabVisible(QWidget* page, bool visible);
  void SetTabCaption(QWidget* page, const QString& caption);
  void SetStatusPanel(int panel, const QString& text);
  void SetListView1ChangeAttached(bool attached);
  void FocusedRowChanged();
  void ShowFirstRow();
  // The start of opening or carving a file: errors and File Info emptied, the
  // file recorded as the one the list shows.
  void BeginWithFile(const QString& path);
  // The end of opening or carving a file: cursor, progress bar, status text,
  // the list redrawn and its first row shown.
  void EndListWork(qint64 elapsed_ms);
  void CarveFile(const QString& path, CarveKinds kinds);
  platform::Dialogs& dialogs() const { return *dialogs_; }

  // --- long work, File Locator, extraction and opening items --------------
  // (mainwindow_work.cpp, mainwindow_locator.cpp, mainwindow_extract.cpp,
  // mainwindow_shell.cpp)
 public:
  QPushButton* CancelWorkBtn = nullptr;
  WorkRunner* work_runner() const { return work_; }
  bool IsWorking() const { return work_ != nullptr && work_->running(); }
  // The Cancel button and Escape: the running work stops at its next check.
  void CancelWork();
  // The folder Extract Checked / Extract Selected offered last.
  QString extract_folder() const { return extract_folder_; }
  // Milliseconds of work counted into the last status line.
  qint64 work_elapsed_ms() const { return work_ms_; }
  void ClearFoundCaches();
  void ListView2ColumnClick(int column);
  int found_sort_column() const { return found_sort_column_; }
  bool found_sort_ascending() const { return found_sort_ascending_; }
  QString FoundCaption(int column) const;
  // Opens files dropped from the file manager as if chosen with Open.
  void OpenDroppedFiles(const QStringList& paths);
  // Where Open With went last: "portal", "chooser" or "".
  QString last_open_with_route() const { return last_open_with_route_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateWorkControls();
  // Runs `work` on the worker thread with the commands that change the
  // lists disabled and the Cancel button shown; `tick` runs on this thread
  // every 50 ms. The time is added to work_ms_. False when cancelled.
  bool RunWork(const std::function<void(std::stop_token)>& work,
               const std::function<void()>& tick = {});
  void SetWorking(bool working);
  void DisableCommandsForWork();
  // After a cancelled run: the status line says so.
  void ShowCancelled();
  // Appends carved rows of `carved` (numbered from 0) to the thumbnail list,
  // numbered on from the highest number already listed.
  void AppendCarvedRows(ThumbnailList& carved);
  void AppendFoundModelRow(const CacheFileRecord& record);
  void ShowFoundPanel();
  void RebuildFoundModel();
  void MarkFoundSortColumn(int previous, bool ascending, int column);
  void AfterWork();
  // Widens the Number column to its longest number ("256_..." stream names).
  void FitNumberColumn();
  QString RowTempPath(const ThumbnailRow& row) const;
  bool WriteTempCopy(const ThumbnailRow& row, QString* path);
  void ShellOpen(const QString& path);
  // Hands `path` to the desktop portal's application chooser, or to ours.
  void OfferApplications(const QString& path);
  QString LocateOriginalFile(const ThumbnailRow& row) const;

  WorkRunner* work_ = nullptr;
  WorkProgress work_progress_;
  qint64 work_ms_ = 0;
  bool close_pending_ = false;
  bool work_stopped_ = false;  // the last run was cancelled
  QString extract_folder_;
  int found_sort_column_ = 0;
  bool found_sort_ascending_ = false;
  QString last_open_with_route_;

  StartOptions options_;
  platform::Dialogs* dialogs_;

  UiTexts texts_;
  ErrorList errors_;
  ThumbnailList thumbnails_;
  ImageStore image_store_;
  FoundCacheList found_caches_;
  ThumbnailModel* thumbnail_model_ = nullptr;
  QStandardItemModel* found_model_ = nullptr;
  QActionGroup* language_group_ = nullptr;
  std::unique_ptr<StatusProgress> progress_;

  // Fixed texts and settings read at construction.
  QString version_text_;
  QString program_directory_;
  QString temporary_folder_;
  QString current_language_;
  QString help_file_name_;
  QString web_address_;
  std::string date_time_format_;
  QString column_joiner_;

  QString open_file_;  // the file the thumbnail list shows
  bool carved_list_ = false;
  int activation_state_ = 0;  // 0 before first showing, 1 after, 2 once laid out
  int sort_column_ = -1;
  bool sort_ascending_ = false;
  bool list_view1_change_attached_ = true;
  bool resize_attached_ = true;
  bool busy_ = false;                 // a long routine runs; the window must not close under it
  bool rich_edit_used_ = false;       // RichEdit1 holds at least one paragraph
  QTextList* bullet_list_ = nullptr;  // the bullet list the next bullet joins
};

}  // namespace glintvane
