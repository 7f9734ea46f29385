#include "carving_flow.h"

#include <QFileInfo>
#include <QTreeView>
#include <QWidget>

#include <charconv>
#include <new>
#include <optional>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache_list.h"
#include "carve/carve_scan.h"
#include "file_info_pane.h"
#include "locator_panel.h"
#include "open_flow.h"
#include "platform/dialogs.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

constexpr int kClearListHelpContext = 2;

// The highest row number of the list, or nullopt when no row has a number.
std::optional<int64_t> HighestRowNumber(const ThumbnailList& list) {
  std::optional<int64_t> highest;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& key = list[i].key;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), value);
    if (error != std::errc() || end != key.data() + key.size()) continue;
    if (!highest || value > *highest) highest = value;
  }
  return highest;
}

QString FilePart(const QString& path) {
  return QString::fromStdString(std::string(LocalFilePart(path.toStdString())));
}

QString FolderPart(const QString& path) {
  return QString::fromStdString(std::string(LocalFolderPart(path.toStdString())));
}

}  // namespace

CarvingFlow::CarvingFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

void CarvingFlow::BruteForce() {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  context.SetCarvedList(false);
  const QStringList filters{
      context.UiText(kTextThumbnailCacheFiles) + QStringLiteral(" (*.db *.DB)"),
      context.UiText(kTextSwapAndHibernationFiles) +
          QStringLiteral(" (pagefile.sys win386.swp hiber*.sys swapfile.sys)"),
      context.UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = context.dialogs().ChooseOpenFile(parts_.window, filters);
  if (path.isEmpty()) return;

  // Asked before the list is frozen, so the question never stands over a
  // list that is not drawn.
  OpenFlow& open = *parts_.open;
  parts_.work->SetBusy(true);
  const bool clear = !context.thumbnails().empty() &&
                     context.dialogs().AskYesNo(parts_.window, context.UiText(kTextClearList),
                                                kClearListHelpContext);
  open.BeginWithFile(path);
  if (clear) open.ClearList();
  parts_.window->repaint();
  open.FreezeList();
  CarveFile(path);
  open.EndListWork();
}

void CarvingFlow::CarveFile(const QString& path) {
  WindowContext& context = *parts_.context;
  CarveResult result;
  ThumbnailList carved;
  ErrorList errors;
  const std::string local_path = path.toStdString();
  const UiTexts& texts = context.texts();
  ProgressSink* progress = parts_.work->progress();
  parts_.work->Run([&](std::stop_token stop) {
    try {
      result = ScanFileForImages(local_path, CarveTarget{carved, errors, texts, progress, stop});
    } catch (const std::bad_alloc& e) {
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::bad_alloc: ") + e.what());
    }
  });
  AppendCarvedRows(carved);
  context.errors().Append(errors);
  if (result.finished) context.SetCarvedList(true);
  // A cancelled scan keeps its rows and says so in the status bar; there is
  // no outcome to ask about.
  if (parts_.work->stopped()) return;
  ReportScanOutcome(path, result.finished && !context.thumbnails().empty());
}

void CarvingFlow::AppendCarvedRows(ThumbnailList& carved) {
  // Carved rows go on from the highest number listed, so a list of rows 1
  // to 500 gets 501 next, never a second 500.
  ThumbnailList& list = parts_.context->thumbnails();
  const std::optional<int64_t> highest = HighestRowNumber(list);
  const int64_t first =
      std::max<int64_t>(static_cast<int64_t>(list.size()), highest ? *highest + 1 : 0);
  for (size_t i = 0; i < carved.size(); ++i) {
    ThumbnailRow row = std::move(carved[i]);
    row.key = std::to_string(first + static_cast<int64_t>(i));
    if (row.source_kind == SourceKind::kOpenFile) {
      row.source = list.AddSource(carved.Source(row.source));
    }
    list.Append(std::move(row));
  }
  carved.Clear();
}

void CarvingFlow::ReportScanOutcome(const QString& path, bool ok) {
  WindowContext& context = *parts_.context;
  if (ok) {
    parts_.locator->SelectOrAddFoundCache(FileLocation{path.toStdString()});
    ShowScannedFileDetails(path);
  } else if (context.errors().empty()) {
    context.dialogs().ShowMessage(parts_.window, platform::MessageKind::kConfirmation,
                                  context.UiText(kTextSorry));
  } else {
    parts_.open->ShowErrorList(path);
  }
}

void CarvingFlow::ShowScannedFileDetails(const QString& path) {
  WindowContext& context = *parts_.context;
  parts_.info->Clear();
  const QFileInfo file(path);
  parts_.info->ShowFileDetails(
      {(context.UiText(kTextFileName) + QStringLiteral(": ") + FilePart(path)).toStdString(),
       (context.UiText(kTextDirectoryName) + QStringLiteral(": ") + FolderPart(path)).toStdString(),
       (context.UiText(kTextSize) + QStringLiteral(": ") + QString::number(file.size()))
           .toStdString()});
}

}  // namespace glintvane
