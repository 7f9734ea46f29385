// The widgets of the main window, its commands, menus and tool bar, and the
// wiring of the handlers.
#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "image_view.h"
#include "mainwindow.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// The window's size at its first showing.
constexpr int kInitialWidth = 743;
constexpr int kInitialHeight = 592;
constexpr int kListPanelWidth = 400;
constexpr int kFoundPanelHeight = 140;
constexpr int kGammaPanelHeight = 24;
constexpr int kSmallestControlWidth = 24;

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget) {
  return QIcon::fromTheme(QString::fromLatin1(name), widget->style()->standardIcon(fallback));
}

QTreeView* MakeReportView(QWidget* parent) {
  auto* view = new QTreeView(parent);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  // Uniform heights let the view skip measuring rows: 100,000 rows scroll
  // as fast as 100.
  view->setUniformRowHeights(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setAllColumnsShowFocus(true);
  view->setAlternatingRowColors(true);
  view->header()->setSectionsClickable(true);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsMovable(false);
  return view;
}

}  // namespace

void MainWindow::CreateComponents() {
  resize(kInitialWidth, kInitialHeight);
  setWindowIcon(ThemeIcon("image-x-generic", QStyle::SP_FileIcon, this));

  thumbnail_model_ = new ThumbnailModel(thumbnails_, this);
  found_model_ = new QStandardItemModel(0, 4, this);

  CreateCommands();

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

  StatusBar1 = statusBar();
  for (int i = 0; i < 2; ++i) {
    status_panel_[i] = new QLabel(StatusBar1);
    status_panel_[i]->setFrameShape(QFrame::StyledPanel);
    status_panel_[i]->setFrameShadow(QFrame::Sunken);
    status_panel_[i]->setMinimumWidth(20);
    StatusBar1->addWidget(status_panel_[i], i == 0 ? 0 : 1);
  }

  mainPanel = new QWidget(this);
  auto* main_layout = new QVBoxLayout(mainPanel);
  main_layout->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, mainPanel);
  Splitter2->setHandleWidth(3);
  main_layout->addWidget(Splitter2);

  // The found-caches panel: shown once a search has filled it.
  AllDbPanel = new QWidget(Splitter2);
  auto* found_layout = new QVBoxLayout(AllDbPanel);
  found_layout->setContentsMargins(0, 0, 0, 0);
  found_layout->setSpacing(0);
  Panel2 = new QLabel(AllDbPanel);
  Panel2->setFixedHeight(24);
  Panel2->setContentsMargins(4, 0, 4, 0);
  ListView2 = MakeReportView(AllDbPanel);
  ListView2->setObjectName(QStringLiteral("ListView2"));
  ListView2->setModel(found_model_);
  ListView2->setDragEnabled(true);
  ListView2->setDragDropMode(QAbstractItemView::DragOnly);
  found_layout->addWidget(Panel2);
  found_layout->addWidget(ListView2);
  AllDbPanel->resize(AllDbPanel->width(), kFoundPanelHeight);

  Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
  Splitter1->setHandleWidth(3);
  Splitter2->setStretchFactor(0, 0);
  Splitter2->setStretchFactor(1, 1);

  PageControl1 = new QTabWidget(Splitter1);
  PageControl1->setDocumentMode(true);
  mainTabSheet = new QWidget(PageControl1);
  auto* list_layout = new QVBoxLayout(mainTabSheet);
  list_layout->setContentsMargins(0, 0, 0, 0);
  ListView1 = MakeReportView(mainTabSheet);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setModel(thumbnail_model_);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListView1->setAcceptDrops(true);
  ListView1->viewport()->setAcceptDrops(true);
  ListView1->setDragDropMode(QAbstractItemView::DropOnly);
  ListView1->viewport()->installEventFilter(this);
  list_layout->addWidget(ListView1);
  PageControl1->addTab(mainTabSheet, QStringLiteral("Thumbs.db"));

  FileInfoTabSheet = new QWidget(PageControl1);
  auto* info_layout = new QVBoxLayout(FileInfoTabSheet);
  info_layout->setContentsMargins(0, 0, 0, 0);
  RichEdit1 = new QTextEdit(FileInfoTabSheet);
  RichEdit1->setReadOnly(true);
  RichEdit1->setBackgroundRole(QPalette::Button);
  RichEdit1->viewport()->setBackgroundRole(QPalette::Button);
  info_layout->addWidget(RichEdit1);
  PageControl1->addTab(FileInfoTabSheet, QStringLiteral("File Info"));

  PageControl2 = new QTabWidget(Splitter1);
  PageControl2->setDocumentMode(true);
  ImageViewTabSheet = new QWidget(PageControl2);
  auto* view_layout = new QVBoxLayout(ImageViewTabSheet);
  view_layout->setContentsMargins(4, 4, 4, 4);

  ImgPanel = new QWidget(ImageViewTabSheet);
  auto* tools_layout = new QHBoxLayout(ImgPanel);
  tools_layout->setContentsMargins(0, 0, 0, 0);
  LeftRotateBtn = new QToolButton(ImgPanel);
  LeftRotateBtn->setDefaultAction(ActionLeftRotate);
  LeftRotateBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  RightRotateBtn = new QToolButton(ImgPanel);
  RightRotateBtn->setDefaultAction(ActionRightRotate);
  RightRotateBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BestFitRadio = new QRadioButton(ImgPanel);
  ActualSizeRadio = new QRadioButton(ImgPanel);
  BestFitRadio->setChecked(true);
  // Long captions (German, Spanish, Russian) may be cut, but must never
  // push the image side wider and squeeze the thumbnail list.
  for (QWidget* control : std::initializer_list<QWidget*>{LeftRotateBtn, RightRotateBtn,
                                                          BestFitRadio, ActualSizeRadio})
    control->setMinimumWidth(kSmallestControlWidth);
  tools_layout->addWidget(LeftRotateBtn);
  tools_layout->addWidget(RightRotateBtn);
  tools_layout->addStretch(1);
  tools_layout->addWidget(BestFitRadio);
  tools_layout->addWidget(ActualSizeRadio);

  GammaPanel = new QLabel(ImageViewTabSheet);
  GammaPanel->setFixedHeight(kGammaPanelHeight);
  GammaPanel->setAlignment(Qt::AlignCenter);
  GammaPanel->setMinimumWidth(kSmallestControlWidth);
  GammaPanel->setAutoFillBackground(true);
  GammaPanel->setStyleSheet(QStringLiteral("background: #fff6c8; color: #5a4a00;"));

  PreImage = new ImageView(ImageViewTabSheet);
  OrgFileViewBtn = new QPushButton(ImageViewTabSheet);
  OrgFileViewBtn->hide();
  OrgFileViewBtn->setMinimumWidth(kSmallestControlWidth);

  view_layout->addWidget(ImgPanel);
  view_layout->addWidget(GammaPanel);
  view_layout->addWidget(PreImage, 1);
  view_layout->addWidget(OrgFileViewBtn);
  PageControl2->addTab(ImageViewTabSheet, QStringLiteral("Image View"));

  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({kListPanelWidth, kInitialWidth - kListPanelWidth});
  setCentralWidget(mainPanel);

  CreateMenus();
  CreateEvidenceCommands();
}

QAction* MainWindow::MakeAction(QAction*& slot, void (MainWindow::*handler)()) {
  slot = new QAction(this);
  connect(slot, &QAction::triggered, this, handler);
  return slot;
}

void MainWindow::CreateCommands() {
  MakeAction(ActionExit, &MainWindow::ActionExitExecute)
      ->setIcon(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton, this));
  MakeAction(ActionOpen, &MainWindow::ActionOpenExecute)
      ->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton, this));
  MakeAction(ActionSearchAll, &MainWindow::ActionSearchAllExecute)
      ->setIcon(ThemeIcon("system-search", QStyle::SP_FileDialogContentsView, this));
  MakeAction(ActionBruteForce, &MainWindow::ActionBruteForceExecute)
      ->setIcon(ThemeIcon("drive-harddisk", QStyle::SP_DriveHDIcon, this));
  MakeAction(ActionShowThumb, &MainWindow::ListView2DblClick)
      ->setIcon(ThemeIcon("image-x-generic", QStyle::SP_FileDialogDetailedView, this));
  MakeAction(ActionExtract, &MainWindow::ActionExtractExecute);
  MakeAction(ActionExtractSelected, &MainWindow::ActionExtractSelectedExecute);
  MakeAction(ActionView, &MainWindow::ListView1DblClick);
  MakeAction(ActionOpenWith, &MainWindow::ActionOpenWithExecute);
  MakeAction(ActionOrigView, &MainWindow::ActionOrigViewExecute);
  MakeAction(ActionBestFit, &MainWindow::ActionBestFitExecute);
  MakeAction(ActionActualSize, &MainWindow::ActionActualSizeExecute);
  MakeAction(ActionLeftRotate, &MainWindow::ActionLeftRotateExecute)
      ->setIcon(ThemeIcon("object-rotate-left", QStyle::SP_ArrowLeft, this));
  MakeAction(ActionRightRotate, &MainWindow::ActionRightRotateExecute)
      ->setIcon(ThemeIcon("object-rotate-right", QStyle::SP_ArrowRight, this));
  MakeAction(ActionDesktopIcon, &MainWindow::ActionDesktopIconExecute);
  MakeAction(ActionQuickLaunchIcon, &MainWindow::ActionQuickLaunchIconExecute);
  MakeAction(ActionHelp, &MainWindow::ActionHelpExecute);
  MakeAction(ActionHelpOnline, &MainWindow::ActionHelpOnlineExecute);
  MakeAction(ActionHelpAbout, &MainWindow::ActionHelpAboutExecute);

  // The three checking commands share one handler that tells them apart by
  // their tag.
  const std::pair<QAction**, int> checking[] = {
      {&ActionSelectAll, 1}, {&ActionUnselectAll, 2}, {&ActionInvert, 3}};
  for (const auto& [slot, tag] : checking) {
    QAction* action = new QAction(this);
    action->setData(tag);
    connect(action, &QAction::triggered, this, [this, action] { ActionSelectExecute(action); });
    *slot = action;
  }

  // Best fit and actual size are one choice; best fit is in force at start.
  auto* modes = new QActionGroup(this);
  modes->setExclusive(true);
  for (QAction* mode : {ActionBestFit, ActionActualSize}) {
    mode->setCheckable(true);
    modes->addAction(mode);
  }
  ActionBestFit->setChecked(true);
}

void MainWindow::CreateMenus() {
  File1 = menuBar()->addMenu(QString());
  File1->addAction(ActionOpen);
  File1->addAction(ActionSearchAll);
  File1->addSeparator();
  File1->addAction(ActionBruteForce);
  File1->addSeparator();
  File1->addAction(ActionDesktopIcon);
  File1->addAction(ActionQuickLaunchIcon);
  File1->addSeparator();
  File1->addAction(ActionExit);

  Actions1 = menuBar()->addMenu(QString());
  Actions1->addAction(ActionExtract);
  Actions1->addAction(ActionExtractSelected);
  Actions1->addSeparator();
  Actions1->addAction(ActionSelectAll);
  Actions1->addAction(ActionUnselectAll);
  Actions1->addAction(ActionInvert);
  Actions1->addSeparator();
  Actions1->addAction(ActionShowThumb);
  Actions1->addSeparator();
  Actions1->addAction(ActionView);
  Actions1->addAction(ActionOpenWith);
  Actions1->addSeparator();
  Actions1->addAction(ActionOrigView);

  Help1 = menuBar()->addMenu(QString());
  Help1->addAction(ActionHelp);
  Help1->addAction(ActionHelpOnline);
  Help1->addSeparator();
  Help1->addAction(ActionHelpAbout);

  ListBoxPopupMenu = new QMenu(this);
  ListBoxPopupMenu->addAction(ActionExtract);
  ListBoxPopupMenu->addAction(ActionExtractSelected);
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addAction(ActionSelectAll);
  ListBoxPopupMenu->addAction(ActionUnselectAll);
  ListBoxPopupMenu->addAction(ActionInvert);
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addAction(ActionView);
  ListBoxPopupMenu->addAction(ActionOpenWith);
  ListBoxPopupMenu->addSeparator();
  ListBoxPopupMenu->addAction(ActionOrigView);
}

void MainWindow::ConnectHandlers() {
  errors_.SetChangedCallback([this] { UpdateCommands(); });

  // The view follows the focused row once it is selected: a new focused
  // row is shown when its selection arrives, and a row that was focused
  // before it was selected (focus entering the list) when it is selected.
  connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (ListView1->selectionModel()->isRowSelected(current.row(), {})) FocusedRowChanged();
          });
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) {
            UpdateCommands();
            if (selected.contains(ListView1->currentIndex())) FocusedRowChanged();
          });
  // A change of the focused row's check box redraws the view as well.
  connect(thumbnail_model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& top_left, const QModelIndex& bottom_right) {
            const int focused = FocusedRow();
            if (focused >= top_left.row() && focused <= bottom_right.row()) FocusedRowChanged();
          });
  connect(ListView1->header(), &QHeaderView::sectionClicked, this,
          &MainWindow::ListView1ColumnClick);
  connect(ListView1, &QAbstractItemView::clicked, this, &MainWindow::ListView1Click);
  connect(ListView1, &QAbstractItemView::doubleClicked, this, &MainWindow::ListView1DblClick);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    // The pop-up menu only has something to offer when the list has rows.
    if (thumbnail_model_->rowCount() > 0)
      ListBoxPopupMenu->popup(ListView1->viewport()->mapToGlobal(at));
  });
  connect(ListView2, &QAbstractItemView::doubleClicked, this, &MainWindow::ListView2DblClick);

  connect(BestFitRadio, &QRadioButton::clicked, ActionBestFit, &QAction::trigger);
  connect(ActualSizeRadio, &QRadioButton::clicked, ActionActualSize, &QAction::trigger);
  // The radio buttons follow their commands' states.
  for (auto [action, radio] :
       {std::pair{ActionBestFit, BestFitRadio}, std::pair{ActionActualSize, ActualSizeRadio}}) {
    connect(action, &QAction::changed, radio, [action, radio] {
      radio->setEnabled(action->isEnabled());
      radio->setText(action->text());
      radio->setChecked(action->isChecked());
    });
  }
  connect(OrgFileViewBtn, &QPushButton::clicked, ActionOrigView, &QAction::trigger);
}

}  // namespace glintvane
