#include "extraction_flow.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include "cache_list.h"
#include "export/extract_run.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

constexpr char kExtractFolderValue[] = "ExtractFolder";

}  // namespace

ExtractionFlow::ExtractionFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

QString ExtractionFlow::ChooseDestination(const QString& title) {
  // A typed folder that does not exist is made after asking.
  WindowContext& context = *parts_.context;
  platform::Dialogs& dialogs = context.dialogs();
  QString chosen = dialogs.ChooseFolderFrom(parts_.window, title, StartFolder());
  if (chosen.isEmpty()) return {};
  if (!QFileInfo(chosen).isDir()) {
    if (!dialogs.AskYesNo(parts_.window,
                          context.UiText(kTextCreateFolder) + QStringLiteral("\n") + chosen, 0))
      return {};
    if (!QDir().mkpath(chosen)) {
      dialogs.ShowMessage(parts_.window, platform::MessageKind::kError,
                          context.UiText(kTextCannotCreateFolder) + QStringLiteral(":\n") + chosen);
      return {};
    }
  }
  if (!chosen.endsWith(QLatin1Char('/'))) chosen += QLatin1Char('/');
  folder_ = chosen;
  context.RegistryString(chosen, QString::fromLatin1(kExtractFolderValue), QStringLiteral("write"));
  return chosen;
}

QString ExtractionFlow::StartFolder() {
  // The folder chosen last (kept in the settings), else the home folder;
  // never the folder of the evidence, where nothing may be written.
  WindowContext& context = *parts_.context;
  if (folder_.isEmpty())
    folder_ = context.RegistryString({}, QString::fromLatin1(kExtractFolderValue),
                                     QStringLiteral("read"));
  const QString evidence_folder = QFileInfo(context.open_file()).absolutePath();
  const QFileInfo remembered(folder_);
  if (!folder_.isEmpty() && remembered.isDir() && !context.open_file().isEmpty() &&
      QDir(remembered.absoluteFilePath()) == QDir(evidence_folder))
    return QDir::homePath();
  return !folder_.isEmpty() && remembered.isDir() ? folder_ : QDir::homePath();
}

void ExtractionFlow::ExtractChecked() {
  WindowContext& context = *parts_.context;
  if (parts_.work->IsWorking() || context.thumbnails().empty()) return;
  const QString destination = ChooseDestination(context.UiText(kTextExtractChecked));
  if (destination.isEmpty()) return;
  if (parts_.list->CheckedCount() == 0) return;

  // The worker reads the lists (the window only draws them meanwhile) and
  // writes its lines into a list of its own.
  ExtractOptions options;
  options.destination = destination.toStdString();
  options.open_file = context.open_file().toStdString();
  ExtractOutcome outcome;
  ErrorList entries;
  const ThumbnailList& list = context.thumbnails();
  const ImageStore& store = context.image_store();
  const UiTexts& texts = context.texts();
  parts_.work->ResetElapsed();
  parts_.work->Run([&](std::stop_token stop) {
    options.stop = stop;
    outcome = ::glintvane::ActionExtract(list, store, options, entries, texts);
  });
  context.errors().Clear();
  context.errors().Append(entries);
  const qint64 seconds = parts_.work->elapsed_ms() / 1000;
  const size_t written = outcome.written.size();
  parts_.status->SetText(0, [&context, seconds, written] {
    return QStringLiteral("%1 %2. %3: %4")
        .arg(seconds)
        .arg(context.UiText(kTextSec), context.UiText(kTextFiles))
        .arg(written);
  });
  parts_.status->SetText(1, [&context, destination] {
    return context.UiText(kTextExtractedTo) + QStringLiteral(": ") + destination;
  });
  if (parts_.work->stopped()) parts_.work->ShowCancelled();
  emit context.CommandsChanged();

  platform::Dialogs& dialogs = context.dialogs();
  const QString failure_heading = context.UiText(kTextFatalError) + QStringLiteral("!\n") +
                                  context.UiText(kTextFile) + QStringLiteral(":\n");
  if (outcome.abandoned) {
    dialogs.ShowMessage(
        parts_.window, platform::MessageKind::kError,
        failure_heading + QString::fromStdString(outcome.failed.empty() ? outcome.report_path
                                                                        : outcome.failed.back()));
  } else if (!outcome.report_written) {
    dialogs.ShowMessage(parts_.window, platform::MessageKind::kError,
                        failure_heading + QString::fromStdString(outcome.report_path));
  }
  if (outcome.report_written && !parts_.work->close_pending()) {
    if (context.Ask(parts_.window, Question::kRunReport, context.UiText(kTextRunHtmlFile)))
      platform::Desktop::OpenWithDesktop(QString::fromStdString(outcome.report_path));
    parts_.window->repaint();
    if (context.Ask(parts_.window, Question::kOpenDestination,
                    context.UiText(kTextOpenDestinationFolder)))
      platform::Desktop::OpenWithDesktop(destination);
    parts_.window->repaint();
  }
  parts_.work->AfterWork();
}

void ExtractionFlow::ExtractSelected() {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  // The chooser comes first, even when no row is highlighted.
  const QString destination = ChooseDestination(context.UiText(kTextExtractSelected));
  if (destination.isEmpty()) return;
  const ThumbnailRow* row = parts_.list->FocusedRecord();
  if (row == nullptr) return;
  ThumbnailList& list = context.thumbnails();
  size_t index = 0;
  while (index < list.size() && &list[index] != row) ++index;
  if (index == list.size()) return;

  // One row is written at once; no worker is needed for it.
  const ExtractSelectedOutcome outcome = ::glintvane::ActionExtractSelected(
      list, context.image_store(), index, destination.toStdString(), context.errors(),
      context.texts());
  if (!outcome.attempted) return;
  platform::Dialogs& dialogs = context.dialogs();
  dialogs.ShowMessage(parts_.window,
                      outcome.message_is_error ? platform::MessageKind::kError
                                               : platform::MessageKind::kInformation,
                      QString::fromStdString(outcome.message));
  if (!outcome.written) return;
  if (context.Ask(parts_.window, Question::kOpenDestination,
                  context.UiText(kTextOpenDestinationFolder)))
    platform::Desktop::OpenWithDesktop(destination);
  parts_.window->repaint();
}

}  // namespace glintvane
