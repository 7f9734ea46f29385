#include "evidence_flow.h"

#include <QStandardItemModel>
#include <QTreeView>
#include <QWidget>

#include "base/error_codes.h"
#include "evidence/evidence_search.h"
#include "locator_panel.h"
#include "open_flow.h"
#include "platform/dialogs.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {

QString DiskImageFilter(const WindowContext& context) {
  return context.UiText(kTextDiskImages) +
         QStringLiteral(
             " (*.E01 *.e01 *.dd *.raw *.img *.001 *.bin *.vmdk *.vhd *.vhdx *.qcow2 "
             "*.qcow *.aff)");
}

EvidenceFlow::EvidenceFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

void EvidenceFlow::Open() {
  WindowContext& context = *parts_.context;
  const QStringList filters{DiskImageFilter(context),
                            context.UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = context.dialogs().ChooseOpenFile(parts_.window, filters);
  if (path.isEmpty()) return;
  parts_.window->repaint();
  OpenImage(path);
}

void EvidenceFlow::OpenImage(const QString& path) {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  LocatorPanel& locator = *parts_.locator;
  locator.ClearFoundCaches();
  locator.ShowPanel();
  // On the worker like a folder walk: the rows show as they are found, and
  // Cancel or Escape stops it.
  EvidenceSearchOutcome outcome;
  const std::string local_path = path.toStdString();
  OpenImages& images = context.open_images();
  locator.RunWalk([&](FoundCacheList& list, const SearchOptions& options) {
    outcome = SearchEvidenceImage(list, images, local_path, options);
  });
  const size_t deleted_rows = outcome.deleted_rows;
  const qint64 seconds = parts_.work->elapsed_ms() / 1000;

  context.errors().Clear();
  if (!outcome.opened)
    context.AddError(outcome.error_code, path, QString::fromStdString(outcome.error));
  for (const EvidenceVolumeReport& volume : outcome.volumes) {
    if (!volume.error.empty())
      context.AddError(kErrNoFileSystem, path, QString::fromStdString(volume.error));
    if (!volume.shadow_copies_error.empty())
      context.AddError(kErrShadowCopy, path, QString::fromStdString(volume.shadow_copies_error));
    for (const ShadowCopyReport& store : volume.shadow_copies) {
      const QString where =
          path + QStringLiteral("#p%1:s%2").arg(volume.partition).arg(store.store.number);
      if (!store.error.empty())
        context.AddError(store.error_code, where, QString::fromStdString(store.error));
      if (store.unreadable_sectors > 0)
        context.AddError(kErrUnreadableSectors, where, QString::number(store.unreadable_sectors));
    }
  }
  for (const std::string& note : outcome.notes)
    context.AddError(kErrImageRecycleIndex, path, QString::fromStdString(note));
  if (outcome.unreadable_sectors > 0)
    context.AddError(kErrUnreadableSectors, path, QString::number(outcome.unreadable_sectors));
  if (!context.errors().empty()) parts_.open->ShowErrorList(path);
  locator.SetCount([&context, &locator, counts = locator.CountCaches(), deleted_rows, seconds] {
    return locator.CountText(counts) + QStringLiteral(" (") + QString::number(deleted_rows) +
           QStringLiteral(" ") + context.UiText(kTextDeletedCount) + QStringLiteral("). ") +
           context.UiText(kTextTime) + QStringLiteral(": ") + QString::number(seconds) +
           QStringLiteral(" ") + context.UiText(kTextSec);
  });
  if (locator.model()->rowCount() > 0) {
    locator.ListView2->setCurrentIndex(locator.model()->index(0, 0));
    locator.ListView2->setFocus();
  }
  emit context.CommandsChanged();
  parts_.work->AfterWork();
}

}  // namespace glintvane
