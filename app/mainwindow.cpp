// The main window: its parts and layout, the first showing, the settings
// read at start and kept at the end, the command states and the window's
// own events.
#include "mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "about_box.h"
#include "cache_list.h"
#include "carving_flow.h"
#include "case_flow.h"
#include "desktop_integration.h"
#include "evidence_flow.h"
#include "extraction_flow.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "image_view.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "open_flow.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/settings.h"
#include "report_flow.h"
#include "row_tags.h"
#include "settings_dialog.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "timeline_flow.h"
#include "window_state.h"
#include "window_texts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

// The version a first installation records; a later run keeps what the
// first one stored.
constexpr char kVersionText[] = "ver. 1.2";
constexpr char kWebAddress[] = "https://www.corvanta.example/glintvane";
// The window's size at its first showing.
constexpr int kInitialWidth = 743;
constexpr int kInitialHeight = 592;
constexpr int kListPanelWidth = 400;

QStringList LocalFiles(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

MainWindow::MainWindow(StartOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      dialogs_(options_.dialogs != nullptr ? options_.dialogs : &platform::StandardDialogs()),
      context_(std::make_unique<WindowContext>(*dialogs_)) {
  resize(kInitialWidth, kInitialHeight);
  RegisterWindowResources();
  QIcon icon = QIcon::fromTheme(QStringLiteral("glintvane"));
  if (icon.isNull()) icon = QIcon(QStringLiteral(":/glintvane/icon.png"));
  setWindowIcon(icon);
  CreateCommands();
  CreateParts();
  CreateMenus();
  ConnectParts();

  // The user's language, as the desktop reports it; the stored choice of an
  // earlier run replaces it.
  version_text_ = QString::fromLatin1(kVersionText);
  languages_->SetCurrentLanguage(options_.system_language.isEmpty()
                                     ? platform::Desktop::UserLanguageAbbreviation()
                                     : options_.system_language);
  if (platform::Settings::GroupExists(platform::Settings::Group())) {
    languages_->SetCurrentLanguage(
        RegistryString({}, QStringLiteral("Language"), QStringLiteral("read")));
    version_text_ = RegistryString({}, QStringLiteral("Version"), QStringLiteral("read"));
  } else {
    RegistryString(languages_->current_language(), QStringLiteral("Language"),
                   QStringLiteral("write"));
    RegistryString(version_text_, QStringLiteral("Version"), QStringLiteral("write"));
  }
  desktop_->SetVersionText(version_text_);
  context_->LoadSettings();
  ApplyTexts();
  // Files dragged from the file manager open as if chosen with Open.
  setAcceptDrops(true);
}

MainWindow::~MainWindow() {
  // The lists are torn down without showing anything on the way, and the
  // widgets, which outlive the context, are left no rows to look at.
  parts_.list->SetChangeAttached(false);
  resize_attached_ = false;
  disconnect(context_.get(), nullptr, nullptr, nullptr);
  context_->thumbnails().Clear();
  context_->image_store().Clear();
  parts_.list->Refresh();
}

void MainWindow::CreateParts() {
  parts_.window = this;
  parts_.context = context_.get();
  parts_.commands = this;
  parts_.status = new StatusLine(statusBar());
  parts_.work = new WorkController(*context_, *parts_.status, this);

  auto* main_panel = new QWidget(this);
  auto* main_layout = new QVBoxLayout(main_panel);
  main_layout->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, main_panel);
  Splitter2->setHandleWidth(3);
  main_layout->addWidget(Splitter2);
  parts_.locator = new LocatorPanel(parts_, Splitter2);
  Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
  Splitter1->setHandleWidth(3);
  Splitter2->setStretchFactor(0, 0);
  Splitter2->setStretchFactor(1, 1);

  PageControl1 = new QTabWidget(Splitter1);
  PageControl1->setDocumentMode(true);
  auto* list_page = new QWidget(PageControl1);
  PageControl1->addTab(list_page, QString());
  parts_.list = new CacheList(*context_, PageControl1, list_page);
  parts_.info = new FileInfoPane(*context_, PageControl1);
  parts_.pane = new ImagePane(*context_, *parts_.list, *parts_.status, *this, Splitter1);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({kListPanelWidth, kInitialWidth - kListPanelWidth});
  setCentralWidget(main_panel);

  parts_.open = new OpenFlow(parts_);
  parts_.carving = new CarvingFlow(parts_);
  parts_.evidence = new EvidenceFlow(parts_);
  parts_.case_flow = new CaseFlow(parts_);
  parts_.tags = new RowTags(parts_);
  extraction_ = new ExtractionFlow(parts_);
  report_ = new ReportFlow(parts_, *extraction_);
  timeline_ = new TimelineFlow(parts_);
  opener_ = new ItemOpener(*context_, *parts_.list, this);
  desktop_ = new DesktopIntegration(*context_, this, options_.open_address);
  languages_ = new WindowTexts(*context_, options_.language_folders, this);
}

void MainWindow::ConnectParts() {
  connect(context_.get(), &WindowContext::CommandsChanged, this, &MainWindow::UpdateCommands);
  connect(context_.get(), &WindowContext::TextsChanged, this, &MainWindow::ApplyTexts);
  connect(context_.get(), &WindowContext::OpenFileChanged, this, &MainWindow::UpdateWindowTitle);
  // A list read anew meets the case once the command that read it is done.
  connect(context_.get(), &WindowContext::ListReplaced, parts_.case_flow, &CaseFlow::BindEvidence,
          Qt::QueuedConnection);
  connect(parts_.case_flow, &CaseFlow::CaseChanged, this, &MainWindow::UpdateCommands);
  connect(context_.get(), &WindowContext::TimesChanged, ActionUtcTimes, [this] {
    ActionUtcTimes->setChecked(context_->time_style().zone == TimeZoneChoice::kUtc);
  });
  CacheList* list = parts_.list;
  connect(list, &CacheList::FocusedRowChanged, this, &MainWindow::ListView1Change);
  connect(list, &CacheList::SelectionChanged, this, &MainWindow::UpdateCommands);
  connect(list, &CacheList::Clicked, this, &MainWindow::ListView1Click);
  connect(list, &CacheList::Activated, this, &MainWindow::ListView1DblClick);
  connect(list, &CacheList::EnterPressed, this, [this] {
    if (ActionView->isEnabled()) ActionView->trigger();
  });
  connect(list, &CacheList::DroppedFromSource, this, &MainWindow::ListView2DblClick);
  list->AcceptDropsFrom(parts_.locator->ListView2,
                        [this] { return !context_->found_caches().empty(); });
  connect(list, &CacheList::ContextMenuRequested, ListBoxPopupMenu,
          [this](const QPoint& at) { ListBoxPopupMenu->popup(at); });
  connect(parts_.pane, &ImagePane::GalleryContextMenuRequested, ListBoxPopupMenu,
          [this](const QPoint& at) { ListBoxPopupMenu->popup(at); });
  connect(parts_.work, &WorkController::WorkingChanged, this, &MainWindow::OnWorkingChanged);
  connect(
      parts_.work, &WorkController::CloseRequested, this, [this] { close(); },
      Qt::QueuedConnection);
}

bool MainWindow::IsWorking() const {
  return parts_.work->IsWorking();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Only the first showing sets the window up; switching away and back
  // changes nothing.
  if (activation_state_ == 0) FormActivate();
}

void MainWindow::FormActivate() {
  if (activation_state_ != 0) return;
  activation_state_ = 1;
  desktop_->SetWebAddress(QString::fromLatin1(kWebAddress));
  ApplyTexts();
  languages_->BuildLanguageMenu(menuBar(), Help1->menuAction());
  UpdateCommands();
  UpdateImageView(3);
  // The list columns are laid out once, at the window's real size.
  FormResize();
  RestoreRememberedState({this, Splitter1, Splitter2, &parts_});
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (resize_attached_) FormResize();
}

void MainWindow::FormResize() {
  parts_.status->FitPanels();
  if (activation_state_ == 1) {
    // The columns are laid out once, at the first size the window really
    // has; later the user's own widths stay.
    activation_state_ = 2;
    parts_.list->LayOutColumns();
    const int scroll_bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    parts_.locator->LayOutColumns(parts_.list->ListView1->viewport()->width() - scroll_bar - 1);
  }
  if (activation_state_ >= 1) UpdateImageView(3);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Exit while work runs stops the work first; the window closes as soon as
  // the work has ended.
  if (!parts_.work->AllowClose()) {
    event->ignore();
    return;
  }
  SaveRememberedState({this, Splitter1, Splitter2, &parts_});
  QMainWindow::closeEvent(event);
}

void MainWindow::ActionExitExecute() {
  // Tearing the lists down must not redraw the view or lay out columns.
  resize_attached_ = false;
  parts_.list->SetChangeAttached(false);
  close();
}

void MainWindow::UpdateCommands() {
  UpdateWindowTitle();
  // Rows of the list, shown or hidden by the tag filter.
  const bool has_rows = parts_.list->ListRowCount() > 0;
  const bool selected = parts_.list->HasSelection();
  ActionView->setEnabled(selected);
  ActionSelectAll->setEnabled(has_rows);
  ActionUnselectAll->setEnabled(has_rows);
  ActionInvert->setEnabled(has_rows);
  ActionExtract->setEnabled(has_rows);
  ActionExtractSelected->setEnabled(selected);
  ActionOpenWith->setEnabled(selected);
  ActionShowThumb->setVisible(!context_->found_caches().empty() && parts_.locator->IsShown());
  parts_.tags->UpdateCommands(has_rows, selected);
  ActionCloseCase->setEnabled(parts_.case_flow->is_open());
  ActionExaminerReport->setEnabled(has_rows);
  ActionExportTimeline->setEnabled(has_rows || !context_->found_caches().empty());
  parts_.info->SetTabVisible(has_rows);
  if (IsWorking()) OnWorkingChanged(true);
}

void MainWindow::OnWorkingChanged(bool working) {
  SetCommandsForWork(working);
  if (languages_->LangItem != nullptr) languages_->LangItem->setEnabled(!working);
  parts_.list->ListView1->setEnabled(!working);
  parts_.locator->ListView2->setEnabled(!working);
  if (!working) {
    UpdateCommands();
    UpdateImageView(0);
  }
}

void MainWindow::UpdateWindowTitle() {
  const QString product = UiText(kTextProductName);
  const QString& file = context_->open_file();
  // The file first, as desktop programs name their documents, then the case.
  QString title =
      file.isEmpty() ? product : QFileInfo(file).fileName() + QStringLiteral(" \u2014 ") + product;
  if (parts_.case_flow != nullptr && parts_.case_flow->is_open()) {
    const std::string& number = parts_.case_flow->case_file()->info().case_number;
    title += QStringLiteral(" \u2014 ") +
             (number.empty() ? UiText(kTextCase)
                             : UiText(kTextCaseLabel).arg(QString::fromStdString(number)));
  }
  setWindowTitle(title);
}

void MainWindow::SetTimeZone(TimeZoneChoice zone) {
  TimeStyle style = context_->time_style();
  style.zone = zone;
  context_->SetTimeStyle(style);
}

void MainWindow::ActionSettingsExecute() {
  SettingsDialog::Edit(*context_, this);
}

void MainWindow::ActionChooseSearchIndexExecute() {
  parts_.open->ChooseSearchIndex();
}

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

}  // namespace glintvane
