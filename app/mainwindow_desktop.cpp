// The window as a citizen of the Linux desktop: launchers for the desktop
// and the application menu, the user guide, online support and the About
// box, keyboard shortcuts for every command, the window's state kept between
// runs, times in UTC, the gallery and the files named at start.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTimeZone>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <exception>

#include "about_box.h"
#include "base/error_codes.h"
#include "gallery_view.h"
#include "image_view.h"
#include "mainwindow.h"
#include "platform/app_paths.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/launchers.h"
#include "platform/settings.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// The few captions the window has beyond the UI text table, in the
// languages the program ships; any other language shows the English ones.
enum ExtraText { kExtraGallery, kExtraUtcTimes, kExtraCount };

struct ExtraTexts {
  const char* language;
  const char* texts[kExtraCount];
};

constexpr ExtraTexts kExtraTexts[] = {
    {"ENU", {"Gallery", "Show Times in UTC"}},
    {"DEU", {"Galerie", "Zeiten in UTC anzeigen"}},
    {"FRA", {"Galerie", "Afficher les heures en UTC"}},
    {"ESN", {"Galer\u00eda", "Mostrar las horas en UTC"}},
    {"ITA", {"Galleria", "Mostra gli orari in UTC"}},
    {"RUS",
     {"\u0413\u0430\u043b\u0435\u0440\u0435\u044f", "\u0412\u0440\u0435\u043c\u044f \u0432 UTC"}},
};

// Names of the remembered values, beside "Language" and "Version".
constexpr char kGeometry[] = "WindowGeometry";
constexpr char kWindowState[] = "WindowState";
constexpr char kSplitter1[] = "Splitter1";
constexpr char kSplitter2[] = "Splitter2";
constexpr char kColumns1[] = "ListView1Columns";
constexpr char kColumns2[] = "ListView2Columns";
constexpr char kViewMode[] = "ViewMode";
constexpr char kImagePage[] = "ImagePage";
constexpr char kTimeZone[] = "TimeZone";

QString Stored(const char* name) {
  QString error;
  return platform::Settings::RegistryString(
      platform::Settings::Group(), {}, QString::fromLatin1(name), QStringLiteral("read"), &error);
}

void Store(const char* name, const QString& value) {
  QString error;
  platform::Settings::RegistryString(platform::Settings::Group(), value, QString::fromLatin1(name),
                                     QStringLiteral("write"), &error);
}

// Binary state (geometry, splitters, headers) kept as text in the store.
QByteArray StoredBytes(const char* name) {
  return QByteArray::fromBase64(Stored(name).toLatin1());
}

void StoreBytes(const char* name, const QByteArray& bytes) {
  Store(name, QString::fromLatin1(bytes.toBase64()));
}

// Hands the key presses of one widget to a function; true eats the key.
class KeyHook : public QObject {
 public:
  KeyHook(QObject* parent, std::function<bool(QKeyEvent*)> hook)
      : QObject(parent), hook_(std::move(hook)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && hook_(static_cast<QKeyEvent*>(event))) return true;
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<bool(QKeyEvent*)> hook_;
};

bool IsEnter(const QKeyEvent* event) {
  return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
         (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

QString ZoneLabel(TimeZoneChoice zone) {
  if (zone == TimeZoneChoice::kUtc) return QStringLiteral("UTC");
  const QByteArray id = QTimeZone::systemTimeZoneId();
  if (!id.isEmpty()) return QString::fromLatin1(id);
  return QTimeZone::systemTimeZone().abbreviation(QDateTime::currentDateTime());
}

}  // namespace

void MainWindow::SetUpDesktop() {
  RegisterWindowResources();
  QIcon icon = QIcon::fromTheme(QStringLiteral("glintvane"));
  if (icon.isNull()) icon = QIcon(QStringLiteral(":/glintvane/icon.png"));
  setWindowIcon(icon);

  // The gallery: a second page beside the image view, over the same rows
  // and the same selection as the list.
  GalleryTabSheet = new QWidget(PageControl2);
  auto* gallery_layout = new QVBoxLayout(GalleryTabSheet);
  gallery_layout->setContentsMargins(0, 0, 0, 0);
  Gallery = new GalleryView(thumbnail_model_, thumbnails_, image_store_, GalleryTabSheet);
  Gallery->setObjectName(QStringLiteral("Gallery"));
  QItemSelectionModel* own = Gallery->selectionModel();
  Gallery->setSelectionModel(ListView1->selectionModel());
  delete own;
  gallery_layout->addWidget(Gallery);
  PageControl2->addTab(GalleryTabSheet, QStringLiteral("Gallery"));
  // Enter or a double click on a picture shows it large.
  connect(Gallery, &QAbstractItemView::activated, this,
          [this] { PageControl2->setCurrentWidget(ImageViewTabSheet); });
  connect(Gallery, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (thumbnail_model_->rowCount() > 0)
      ListBoxPopupMenu->popup(Gallery->viewport()->mapToGlobal(at));
  });
  Gallery->setContextMenuPolicy(Qt::CustomContextMenu);

  ActionShowGallery = new QAction(this);
  connect(ActionShowGallery, &QAction::triggered, this, [this] {
    PageControl2->setCurrentWidget(
        PageControl2->currentWidget() == GalleryTabSheet ? ImageViewTabSheet : GalleryTabSheet);
  });
  ActionUtcTimes = new QAction(this);
  ActionUtcTimes->setCheckable(true);
  connect(ActionUtcTimes, &QAction::triggered, this,
          [this](bool utc) { SetTimeZone(utc ? TimeZoneChoice::kUtc : TimeZoneChoice::kLocal); });
  Actions1->addSeparator();
  Actions1->addAction(ActionShowGallery);
  Actions1->addAction(ActionUtcTimes);

  // The keyboard: the desktop's standard keys where there is one, Ctrl and
  // a letter of the command's name otherwise.
  const std::pair<QAction*, QKeySequence> keys[] = {
      {ActionOpen, QKeySequence::Open},
      {ActionExit, QKeySequence::Quit},
      {ActionHelp, QKeySequence::HelpContents},
      {ActionSelectAll, QKeySequence::SelectAll},
      {ActionUnselectAll, QKeySequence(QStringLiteral("Ctrl+Shift+A"))},
      {ActionInvert, QKeySequence(QStringLiteral("Ctrl+I"))},
      {ActionSearchAll, QKeySequence(QStringLiteral("Ctrl+F"))},
      {ActionBruteForce, QKeySequence(QStringLiteral("Ctrl+B"))},
      {ActionExtract, QKeySequence(QStringLiteral("Ctrl+E"))},
      {ActionExtractSelected, QKeySequence(QStringLiteral("Ctrl+Shift+E"))},
      {ActionOpenWith, QKeySequence(QStringLiteral("Ctrl+Shift+O"))},
      {ActionShowThumb, QKeySequence(QStringLiteral("Ctrl+T"))},
      {ActionOrigView, QKeySequence(QStringLiteral("Ctrl+Shift+V"))},
      {ActionBestFit, QKeySequence(QStringLiteral("Ctrl+Shift+F"))},
      {ActionActualSize, QKeySequence(QStringLiteral("Ctrl+0"))},
      {ActionLeftRotate, QKeySequence(QStringLiteral("Ctrl+L"))},
      {ActionRightRotate, QKeySequence(QStringLiteral("Ctrl+R"))},
      {ActionShowGallery, QKeySequence(QStringLiteral("Ctrl+G"))},
      {ActionUtcTimes, QKeySequence(QStringLiteral("Ctrl+U"))},
  };
  for (const auto& [action, key] : keys) {
    action->setShortcut(key);
    addAction(action);  // active wherever the focus is in the window
  }
  // The rest (launchers, Online Support, About, Language) through the
  // menus: F10 opens the menu bar, the arrows walk it.
  auto* menu_key = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(menu_key, &QShortcut::activated, this, [this] {
    menuBar()->setFocus(Qt::MenuBarFocusReason);
    menuBar()->setActiveAction(File1->menuAction());
  });

  // Space checks or unchecks the highlighted row, in the list and in the
  // gallery; Enter in the list opens the row (in the gallery it shows the
  // picture large).
  auto toggle_check = [this](QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier) return false;
    const QModelIndex current = ListView1->currentIndex();
    if (!current.isValid()) return true;
    const QModelIndex box = thumbnail_model_->index(current.row(), 0);
    const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    thumbnail_model_->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    return true;
  };
  ListView1->installEventFilter(new KeyHook(this, [this, toggle_check](QKeyEvent* event) {
    if (IsEnter(event)) {
      if (ActionView->isEnabled()) ActionView->trigger();
      return true;
    }
    return toggle_check(event);
  }));
  Gallery->installEventFilter(new KeyHook(this, toggle_check));
  // In the found caches: Enter opens the highlighted cache.
  ListView2->installEventFilter(new KeyHook(this, [this](QKeyEvent* event) {
    if (!IsEnter(event)) return false;
    ListView2DblClick();
    return true;
  }));

  const QString zone = Stored(kTimeZone);
  time_zone_ = zone == QLatin1String("UTC") ? TimeZoneChoice::kUtc : TimeZoneChoice::kLocal;
  ActionUtcTimes->setChecked(time_zone_ == TimeZoneChoice::kUtc);
  thumbnail_model_->SetZoneLabel(ZoneLabel(time_zone_));
}

void MainWindow::ApplyDesktopTexts() {
  if (ActionShowGallery == nullptr) return;  // ApplyTexts before SetUpDesktop
  QString language = QStringLiteral("ENU");
  if (language_group_ != nullptr) {
    // A Language item is checked only after the texts are applied; the
    // captions follow it when it is.
    if (!language_group_->property("desktop_texts").toBool()) {
      language_group_->setProperty("desktop_texts", true);
      for (QAction* item : language_group_->actions()) {
        connect(item, &QAction::toggled, this, [this](bool on) {
          if (on) ApplyDesktopTexts();
        });
      }
    }
    if (language_group_->checkedAction() != nullptr)
      language = language_group_->checkedAction()->objectName().mid(9);  // after "LangItem_"
  }
  const ExtraTexts* texts = &kExtraTexts[0];
  for (const ExtraTexts& candidate : kExtraTexts) {
    if (language.compare(QLatin1String(candidate.language), Qt::CaseInsensitive) == 0)
      texts = &candidate;
  }
  const QString gallery = QString::fromUtf8(texts->texts[kExtraGallery]);
  PageControl2->setTabText(PageControl2->indexOf(GalleryTabSheet), gallery);
  ActionShowGallery->setText(gallery);
  ActionUtcTimes->setText(QString::fromUtf8(texts->texts[kExtraUtcTimes]));
  UpdateWindowTitle();
}

void MainWindow::UpdateWindowTitle() {
  const QString product = UiText(kTextProductName);
  if (open_file_.isEmpty()) {
    setWindowTitle(product);
  } else {
    // The file first, as desktop programs name their documents.
    setWindowTitle(QFileInfo(open_file_).fileName() + QStringLiteral(" \u2014 ") + product);
  }
}

void MainWindow::SetTimeZone(TimeZoneChoice zone) {
  time_zone_ = zone;
  if (ActionUtcTimes != nullptr) ActionUtcTimes->setChecked(zone == TimeZoneChoice::kUtc);
  // Rows that know their FILETIME get their text again in the new clock.
  for (size_t i = 0; i < thumbnails_.size(); ++i) {
    ThumbnailRow& row = thumbnails_[i];
    if (row.filetime != 0) row.time_text = FileTimeText(row.filetime, date_time_format_, zone);
  }
  thumbnail_model_->SetZoneLabel(ZoneLabel(zone));
  thumbnail_model_->TimesChanged();
  Store(kTimeZone, zone == TimeZoneChoice::kUtc ? QStringLiteral("UTC") : QStringLiteral("Local"));
}

void MainWindow::SaveRememberedState() {
  StoreBytes(kGeometry, saveGeometry());
  StoreBytes(kWindowState, saveState());
  StoreBytes(kSplitter1, Splitter1->saveState());
  // The found-caches panel is hidden until a search: its size is only worth
  // keeping once the user has seen it.
  if (AllDbPanel->isVisible()) StoreBytes(kSplitter2, Splitter2->saveState());
  StoreBytes(kColumns1, ListView1->header()->saveState());
  StoreBytes(kColumns2, ListView2->header()->saveState());
  Store(kViewMode, PreImage->stretch() ? QStringLiteral("BestFit") : QStringLiteral("ActualSize"));
  Store(kImagePage, PageControl2->currentWidget() == GalleryTabSheet ? QStringLiteral("Gallery")
                                                                     : QStringLiteral("Image"));
}

void MainWindow::RestoreRememberedState() {
  // Anything unreadable is skipped: the window keeps its first-run layout.
  if (const QByteArray geometry = StoredBytes(kGeometry); !geometry.isEmpty())
    restoreGeometry(geometry);
  if (const QByteArray state = StoredBytes(kWindowState); !state.isEmpty()) restoreState(state);
  if (const QByteArray sizes = StoredBytes(kSplitter1); !sizes.isEmpty())
    Splitter1->restoreState(sizes);
  if (const QByteArray sizes = StoredBytes(kSplitter2); !sizes.isEmpty())
    Splitter2->restoreState(sizes);
  if (const QByteArray columns = StoredBytes(kColumns1); !columns.isEmpty())
    ListView1->header()->restoreState(columns);
  if (const QByteArray columns = StoredBytes(kColumns2); !columns.isEmpty())
    ListView2->header()->restoreState(columns);
  if (Stored(kViewMode) == QLatin1String("ActualSize")) {
    PreImage->SetStretch(false);
    ActionActualSize->setChecked(true);
  }
  if (Stored(kImagePage) == QLatin1String("Gallery"))
    PageControl2->setCurrentWidget(GalleryTabSheet);
}

void MainWindow::OpenStartFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (!path.isEmpty()) OpenThumbnailFile(QFileInfo(path).absoluteFilePath());
  }
}

QString MainWindow::LauncherFailureText(bool desktop, const QString& reason) const {
  QString text = UiText(kTextError) + QStringLiteral(": \n") +
                 UiText(desktop ? kTextDesktopIconFailed : kTextQuickLaunchIconFailed);
  if (!reason.isEmpty()) text += QStringLiteral("\n") + reason;
  return text;
}

void MainWindow::CreateLauncher(bool desktop) {
  try {
    const platform::LauncherFields fields =
        platform::ProgramLauncherFields(UiText(kTextProductName));
    // The desktop folder must exist already; the menu folder is made when
    // a fresh account lacks it, as any program installing a menu entry does.
    const QString reason =
        desktop ? platform::WriteLauncher(platform::DesktopFolder(), false, fields, true)
                : platform::WriteLauncher(platform::ApplicationMenuFolder(), true, fields, false);
    if (reason.isEmpty()) {
      dialogs().ShowMessage(this, platform::MessageKind::kInformation,
                            UiText(kTextOperationComplete));
    } else {
      dialogs().ShowMessage(this, platform::MessageKind::kError,
                            LauncherFailureText(desktop, reason));
    }
  } catch (const std::exception& e) {
    AddError(kErrException, open_file_,
             QStringLiteral("std::exception: ") + QString::fromUtf8(e.what()));
    UpdateCommands();
  }
}

void MainWindow::ActionDesktopIconExecute() {
  CreateLauncher(true);
}

void MainWindow::ActionQuickLaunchIconExecute() {
  CreateLauncher(false);
}

void MainWindow::OpenAddress(const QString& address) {
  if (options_.open_address) {
    options_.open_address(address);
  } else {
    platform::Desktop::OpenAddress(address);
  }
}

void MainWindow::ActionHelpExecute() {
  // No guide anywhere: nothing happens, as with any missing help.
  const QString guide = platform::AppPaths::GuideFile();
  if (!guide.isEmpty()) platform::Desktop::OpenWithDesktop(guide);
}

void MainWindow::ActionHelpOnlineExecute() {
  OpenAddress(web_address_);
}

void MainWindow::ActionHelpAboutExecute() {
  AboutBox about(
      web_address_, version_text_, [this](const QString& a) { OpenAddress(a); }, this);
  about.exec();
}

}  // namespace glintvane
