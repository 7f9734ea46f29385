// Extract Checked Files and Extract Selected File: the destination chooser
// (opened where the last extraction went), the run on the worker thread, the
// report with its CSV and JSON records, and the questions at the end.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTreeView>

#include "base/windows_path.h"
#include "export/extract_run.h"
#include "mainwindow.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

constexpr char kExtractFolderValue[] = "ExtractFolder";

}  // namespace

// The destination D, ending in "/": the chooser opens at the folder chosen
// last (kept in the settings), else at the open file's folder. A typed
// folder that does not exist is made after asking. "" when cancelled.
static QString ChooseDestination(MainWindow& window, platform::Dialogs& dialogs,
                                 const QString& remembered, const QString& open_file,
                                 const QString& title) {
  QString start = remembered;
  if (start.isEmpty() || !QFileInfo(start).isDir())
    start = QString::fromStdString(std::string(LocalFolderPart(open_file.toStdString())));
  QString chosen = dialogs.ChooseFolderFrom(&window, title, start);
  if (chosen.isEmpty()) return {};
  if (!QFileInfo(chosen).isDir()) {
    if (!dialogs.AskYesNo(&window, QStringLiteral("Create folder?\n") + chosen, 0)) return {};
    if (!QDir().mkpath(chosen)) {
      dialogs.ShowMessage(&window, platform::MessageKind::kError,
                          QStringLiteral("Cannot create folder:\n") + chosen);
      return {};
    }
  }
  if (!chosen.endsWith(QLatin1Char('/'))) chosen += QLatin1Char('/');
  return chosen;
}

void MainWindow::ActionExtractExecute() {
  if (IsWorking() || thumbnails_.empty()) return;
  if (extract_folder_.isEmpty())
    extract_folder_ = RegistryString({}, QString::fromLatin1(kExtractFolderValue), "read");
  const QString destination =
      ChooseDestination(*this, dialogs(), extract_folder_, open_file_, UiText(kTextExtractChecked));
  if (destination.isEmpty()) return;
  extract_folder_ = destination;
  RegistryString(destination, QString::fromLatin1(kExtractFolderValue), "write");

  int checked = 0;
  for (size_t i = 0; i < thumbnails_.size(); ++i) checked += thumbnails_[i].checked ? 1 : 0;
  if (checked == 0) return;

  // The worker reads the lists (the window only draws them meanwhile) and
  // writes its lines into a list of its own.
  ExtractOptions options;
  options.destination = destination.toStdString();
  options.open_file = open_file_.toStdString();
  ExtractOutcome outcome;
  ErrorList lines;
  work_ms_ = 0;
  RunWork([&](std::stop_token stop) {
    options.stop = stop;
    outcome = ::glintvane::ActionExtract(thumbnails_, image_store_, options, lines, texts_);
  });
  errors_.Clear();
  for (const std::string& line : lines.lines()) errors_.AddLine(line);
  SetStatusPanel(0, QStringLiteral("%1 %2. %3: %4")
                        .arg(work_ms_ / 1000)
                        .arg(UiText(kTextSec), UiText(kTextFiles))
                        .arg(outcome.written.size()));
  SetStatusPanel(1, UiText(kTextExtractedTo) + QStringLiteral(": ") + destination);
  if (work_stopped_) ShowCancelled();
  UpdateCommands();

  if (outcome.abandoned) {
    dialogs().ShowMessage(
        this, platform::MessageKind::kError,
        UiText(kTextFatalError) + QStringLiteral("!\n") + UiText(kTextFile) +
            QStringLiteral(":\n") +
            QString::fromStdString(outcome.failed.empty() ? outcome.report_path
                                                          : outcome.failed.back()));
  } else if (!outcome.report_written) {
    dialogs().ShowMessage(this, platform::MessageKind::kError,
                          UiText(kTextFatalError) + QStringLiteral("!\n") + UiText(kTextFile) +
                              QStringLiteral(":\n") + QString::fromStdString(outcome.report_path));
  }
  if (outcome.report_written && !close_pending_) {
    if (dialogs().AskYesNo(this, UiText(kTextRunHtmlFile), 0))
      platform::Desktop::OpenWithDesktop(QString::fromStdString(outcome.report_path));
    repaint();
    if (dialogs().AskYesNo(this, UiText(kTextOpenDestinationFolder), 0))
      platform::Desktop::OpenWithDesktop(destination);
    repaint();
  }
  AfterWork();
}

void MainWindow::ActionExtractSelectedExecute() {
  if (IsWorking()) return;
  if (extract_folder_.isEmpty())
    extract_folder_ = RegistryString({}, QString::fromLatin1(kExtractFolderValue), "read");
  // The chooser comes first, even when no row is highlighted.
  const QString destination = ChooseDestination(*this, dialogs(), extract_folder_, open_file_,
                                                UiText(kTextExtractSelected));
  if (destination.isEmpty()) return;
  extract_folder_ = destination;
  RegistryString(destination, QString::fromLatin1(kExtractFolderValue), "write");
  if (thumbnails_.empty() || !ListView1->selectionModel()->hasSelection()) return;
  const ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow());
  if (row == nullptr) return;
  size_t index = 0;
  while (index < thumbnails_.size() && &thumbnails_[index] != row) ++index;
  if (index == thumbnails_.size()) return;

  // One row is written at once; no worker is needed for it.
  const ExtractSelectedOutcome outcome = ::glintvane::ActionExtractSelected(
      thumbnails_, image_store_, index, destination.toStdString(), errors_, texts_);
  if (!outcome.attempted) return;
  dialogs().ShowMessage(this,
                        outcome.message_is_error ? platform::MessageKind::kError
                                                 : platform::MessageKind::kInformation,
                        QString::fromStdString(outcome.message));
  if (!outcome.written) return;
  if (dialogs().AskYesNo(this, UiText(kTextOpenDestinationFolder), 0))
    platform::Desktop::OpenWithDesktop(destination);
  repaint();
}

}  // namespace glintvane
