// Construction, first showing, the settings, the Exit command and the end.
#include "mainwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeView>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "image_view.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/settings.h"
#include "status_progress.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// The version a first installation records; a later run keeps what the
// first one stored.
constexpr char kVersionText[] = "ver. 1.2";
// The user guide, an HTML document beside the program.
constexpr char kHelpFileName[] = "Glintvane.html";
constexpr char kWebAddress[] = "https://www.corvanta.example/glintvane";

}  // namespace

MainWindow::MainWindow(StartOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      dialogs_(options_.dialogs != nullptr ? options_.dialogs : &platform::StandardDialogs()) {
  // The widgets first: the steps below set their texts and states.
  CreateComponents();
  AllDbPanel->hide();

  texts_.ResetToDefaults();
  version_text_ = QString::fromLatin1(kVersionText);
  program_directory_ = platform::Desktop::ProgramDirectory();

  temporary_folder_ = platform::Desktop::TemporaryFolder();
  column_joiner_ = QStringLiteral(" - ");

  // The user's language, as the desktop reports it; the stored choice of an
  // earlier run replaces it.
  current_language_ = options_.system_language.isEmpty()
                          ? platform::Desktop::UserLanguageAbbreviation()
                          : options_.system_language;
  const QString group = platform::Settings::Group();
  if (platform::Settings::GroupExists(group)) {
    current_language_ = RegistryString({}, QStringLiteral("Language"), QStringLiteral("read"));
    version_text_ = RegistryString({}, QStringLiteral("Version"), QStringLiteral("read"));
  } else {
    RegistryString(current_language_, QStringLiteral("Language"), QStringLiteral("write"));
    RegistryString(version_text_, QStringLiteral("Version"), QStringLiteral("write"));
  }
  date_time_format_ = DefaultDateTimeFormat();
  help_file_name_ = QString::fromLatin1(kHelpFileName);

  // Creation: the working page is in front, the hint panel waits for a
  // carved list, the columns get their captions.
  GammaPanel->hide();
  PageControl1->setCurrentWidget(mainTabSheet);
  thumbnail_model_->SetCaption(0, UiText(kTextNumber));
  thumbnail_model_->SetCaption(1, UiText(kTextOriginalName));
  thumbnail_model_->SetCaption(2, UiText(kTextModified));
  SetTabCaption(ImageViewTabSheet, UiText(kTextImageView));
  SetTabCaption(mainTabSheet, UiText(kTextFile));
  SetTabVisible(FileInfoTabSheet, false);
  ConnectHandlers();
  SetUpDesktop();
  CreateWorkControls();
}

MainWindow::~MainWindow() {
  // The lists are torn down without showing anything on the way.
  list_view1_change_attached_ = false;
  resize_attached_ = false;
  progress_.reset();
  image_store_.Clear();
  thumbnails_.Clear();
  found_caches_.Clear();
}

QString MainWindow::UiText(int index) const {
  return QString::fromStdString(texts_[index]);
}

QString MainWindow::StatusPanelText(int panel) const {
  return panel == 0 || panel == 1 ? status_panel_[panel]->text() : QString();
}

void MainWindow::SetStatusPanel(int panel, const QString& text) {
  status_panel_[panel]->setText(text);
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
  web_address_ = QString::fromLatin1(kWebAddress);
  ApplyTexts();
  BuildLanguageMenu();
  UpdateCommands();
  UpdateImageView(3);
  // The list columns are laid out once, at the window's real size.
  FormResize();
  RestoreRememberedState();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (resize_attached_) FormResize();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Exit while work runs stops the work first; the window closes as soon as
  // the work has ended (AfterWork).
  if (IsWorking()) {
    close_pending_ = true;
    work_->RequestStop();
    event->ignore();
    return;
  }
  if (busy_) {
    close_pending_ = true;
    event->ignore();
    return;
  }
  SaveRememberedState();
  QMainWindow::closeEvent(event);
}

void MainWindow::ActionExitExecute() {
  // Tearing the lists down must not redraw the view or lay out columns.
  resize_attached_ = false;
  list_view1_change_attached_ = false;
  close();
}

QString MainWindow::RegistryString(const QString& value, const QString& name, const QString& mode) {
  QString error;
  const QString result =
      platform::Settings::RegistryString(platform::Settings::Group(), value, name, mode, &error);
  if (!error.isEmpty()) {
    AddError(kErrException, open_file_, error);
    return {};
  }
  return result;
}

void MainWindow::AddError(int code, const QString& context, const QString& detail) {
  errors_.AddError(code, context.toStdString(), detail.toStdString(), texts_);
}

}  // namespace glintvane
