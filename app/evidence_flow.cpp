#include "evidence_flow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
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

namespace glintvane {
namespace {

// The status line follows the walk at this pace; repainting per folder would
// cost more than the walk.
constexpr qint64 kRepaintMs = 100;

class EvidenceWalkProgress final : public SearchProgressSink {
 public:
  explicit EvidenceWalkProgress(QLabel* panel) : panel_(panel) { clock_.start(); }
  void OnFolder(uint64_t folder_count, std::string_view name) override {
    if (clock_.elapsed() < kRepaintMs) return;
    clock_.restart();
    panel_->setText(QString::number(folder_count) + QStringLiteral("  ") +
                    QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QLabel* panel_;
  QElapsedTimer clock_;
};

}  // namespace

EvidenceFlow::EvidenceFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

void EvidenceFlow::Open() {
  WindowContext& context = *parts_.context;
  const QStringList filters{context.UiText(kTextDiskImages) +
                                QStringLiteral(" (*.E01 *.e01 *.dd *.raw *.img *.001 *.bin)"),
                            context.UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = context.dialogs().ChooseOpenFile(parts_.window, filters);
  if (path.isEmpty()) return;
  parts_.window->repaint();
  OpenImage(path);
}

void EvidenceFlow::OpenImage(const QString& path) {
  WindowContext& context = *parts_.context;
  LocatorPanel& locator = *parts_.locator;
  locator.AllDbPanel->show();
  locator.ClearFoundCaches();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QElapsedTimer clock;
  clock.start();
  FoundCacheList found;
  EvidenceWalkProgress progress(locator.Panel2);
  SearchOptions options;
  options.date_time_format = context.DateTimePattern();
  options.progress = &progress;
  const EvidenceSearchOutcome outcome = SearchEvidenceImage(found, path.toStdString(), options);
  size_t deleted_rows = 0;
  for (const CacheFileRecord& record : found.rows()) locator.AddFoundCacheRow(record);
  deleted_rows = outcome.deleted_rows;
  QApplication::restoreOverrideCursor();

  context.errors().Clear();
  if (!outcome.opened) context.AddError(kErrPlatform, path, QString::fromStdString(outcome.error));
  for (const EvidenceVolumeReport& volume : outcome.volumes) {
    if (!volume.error.empty())
      context.AddError(kErrPlatform, path, QString::fromStdString(volume.error));
  }
  for (const std::string& note : outcome.notes)
    context.AddError(kErrPlatform, path, QString::fromStdString(note));
  if (outcome.unreadable_sectors > 0) {
    context.AddError(kErrRead, path,
                     context.UiText(kTextUnreadableSectors).arg(outcome.unreadable_sectors));
  }
  if (!context.errors().empty()) parts_.open->ShowErrorList(path);
  locator.SetCount(
      context.UiText(kTextThumbsDbFiles) + QStringLiteral(": ") +
      QString::number(context.found_caches().size()) + QStringLiteral(" (") +
      QString::number(deleted_rows) + QStringLiteral(" ") + context.UiText(kTextDeletedCount) +
      QStringLiteral("). ") + context.UiText(kTextTime) + QStringLiteral(": ") +
      QString::number(clock.elapsed() / 1000) + QStringLiteral(" ") + context.UiText(kTextSec));
  if (locator.model()->rowCount() > 0) {
    locator.ListView2->setCurrentIndex(locator.model()->index(0, 0));
    locator.ListView2->setFocus();
  }
  emit context.CommandsChanged();
}

}  // namespace glintvane
