#include "carving_flow.h"

#include <QFileInfo>
#include <QTreeView>
#include <QWidget>

#include <charconv>
#include <memory>
#include <new>
#include <optional>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache_list.h"
#include "carve/carve_scan.h"
#include "carve/carve_verify.h"
#include "carve_kinds_dialog.h"
#include "evidence/carve_source.h"
#include "evidence/evidence_image.h"
#include "evidence_flow.h"
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
      DiskImageFilter(context), context.UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = context.dialogs().ChooseOpenFile(parts_.window, filters);
  if (path.isEmpty()) return;
  // Which kinds of picture to carve: the last choice is offered again. Only
  // a disk image has file systems whose unallocated space can be chosen.
  const bool disk_image = LooksLikeEvidenceImage(path.toStdString());
  const std::optional<CarveChoice> choice =
      context.dialogs().ChooseCarveKinds(parts_.window, CarveChoice{LoadCarveKinds()}, disk_image);
  if (!choice) return;
  SaveCarveKinds(choice->kinds);

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
  CarveFile(path, *choice);
  open.EndListWork();
}

void CarvingFlow::CarveFile(const QString& path, const CarveChoice& choice) {
  WindowContext& context = *parts_.context;
  CarveResult result;
  ThumbnailList carved;
  ErrorList errors;
  std::shared_ptr<CarveSource> source;
  const std::string local_path = path.toStdString();
  const UiTexts& texts = context.texts();
  ProgressSink* progress = parts_.work->progress();
  parts_.work->Run([&](std::stop_token stop) {
    try {
      // What the command line carves: the disk inside a container or a
      // split image, or the unallocated space of an image's file systems;
      // any other file as it lies.
      auto opened = OpenCarveSource(local_path, {.unallocated = choice.unallocated});
      if (!opened) {
        errors.AddError(opened.error().code, local_path, opened.error().detail);
        return;
      }
      source = std::move(*opened);
      CarveTarget target{carved, errors, texts, progress, stop};
      target.kinds = choice.kinds;
      result = source->Scan(target);
      // Each picture found is decoded on the worker too, from the bytes it
      // was carved from; a stopped scan keeps its rows unchecked.
      ByteSource* bytes = source->bytes();
      if (!stop.stop_requested() && bytes != nullptr) {
        CheckCarvedRows(carved, 0, *bytes, stop, progress);
      }
    } catch (const std::bad_alloc& e) {
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::bad_alloc: ") + e.what());
    }
  });
  // Rows carved from inside an image are read through it when they are
  // viewed, opened or extracted: the list keeps the image open for them.
  std::shared_ptr<ByteSource> image_bytes;
  if (source && source->kind() != CarveSource::Kind::kFile && source->bytes() != nullptr) {
    image_bytes = std::shared_ptr<ByteSource>(source, source->bytes());
  }
  AppendCarvedRows(carved, image_bytes);
  const size_t errors_before = context.errors().entries().size();
  context.errors().Append(errors);
  if (source) {
    // What keeps the scan from covering the evidence makes it partial.
    for (const std::string& reason : source->incomplete())
      context.AddError(kErrPlatform, path, QString::fromStdString(reason));
    if (const uint64_t sectors = source->unreadable_sectors(); sectors > 0)
      context.AddError(kErrRead, path, context.UiText(kTextScanUnreadableSectors).arg(sectors));
  }
  if (result.finished) context.SetCarvedList(true);
  // A cancelled scan keeps its rows and says so in the status bar; there is
  // no outcome to ask about.
  if (parts_.work->stopped()) return;
  ReportScanOutcome(path, result.finished && !context.thumbnails().empty(), source.get(),
                    context.errors().entries().size() > errors_before);
}

void CarvingFlow::AppendCarvedRows(ThumbnailList& carved,
                                   const std::shared_ptr<ByteSource>& image_bytes) {
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
      row.source = list.AddSource(carved.Source(row.source), image_bytes);
    }
    list.Append(std::move(row));
  }
  carved.Clear();
}

void CarvingFlow::ReportScanOutcome(const QString& path, bool ok, CarveSource* source,
                                    bool partial) {
  WindowContext& context = *parts_.context;
  if (ok) {
    parts_.locator->SelectOrAddFoundCache(FileLocation{path.toStdString()});
    ShowScannedFileDetails(path, source);
    // A partial scan (unreadable sectors, a disk cut short) says why under
    // its details.
    if (partial) parts_.info->ShowErrorLines();
  } else if (context.errors().empty()) {
    context.dialogs().ShowMessage(parts_.window, platform::MessageKind::kConfirmation,
                                  context.UiText(kTextSorry));
  } else {
    parts_.open->ShowErrorList(path);
  }
}

void CarvingFlow::ShowScannedFileDetails(const QString& path, CarveSource* source) {
  WindowContext& context = *parts_.context;
  parts_.info->Clear();
  const QFileInfo file(path);
  std::vector<std::string> details{
      (context.UiText(kTextFileName) + QStringLiteral(": ") + FilePart(path)).toStdString(),
      (context.UiText(kTextDirectoryName) + QStringLiteral(": ") + FolderPart(path)).toStdString(),
      (context.UiText(kTextSize) + QStringLiteral(": ") + QString::number(file.size()))
          .toStdString()};
  // What was read when it was not the file as it lies.
  if (source != nullptr && source->kind() == CarveSource::Kind::kImage) {
    details.push_back(context.UiText(kTextCarvedDisk)
                          .arg(QString::fromStdString(source->format()))
                          .arg(source->source_size())
                          .toStdString());
  } else if (source != nullptr && source->kind() == CarveSource::Kind::kUnallocated) {
    details.push_back(
        context.UiText(kTextCarvedUnallocated).arg(source->bytes()->Size()).toStdString());
    for (const std::string& note : source->notes()) details.push_back(note);
  }
  parts_.info->ShowFileDetails(details);
}

}  // namespace glintvane
