#include "timeline_flow.h"

#include <QFileInfo>
#include <QWidget>

#include "cache/thumbs_reader.h"
#include "case_flow.h"
#include "evidence/evidence_open.h"
#include "evidence/evidence_times.h"
#include "export/copy_range.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {

TimelineFlow::TimelineFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

void TimelineFlow::ExportTimeline() {
  WindowContext& context = *parts_.context;
  if (parts_.work->IsWorking()) return;
  const bool has_list = !context.thumbnails().empty();
  const bool has_found = !context.found_caches().empty();
  if (!has_list && !has_found) return;
  platform::Dialogs& dialogs = context.dialogs();
  const QString title = context.UiText(kTextExportTimeline).remove(QStringLiteral("..."));
  bool found = has_found && !has_list;
  if (has_list && has_found) {
    const int chosen =
        dialogs.ChooseItem(parts_.window, title, context.UiText(kTextTimelineOf),
                           {context.UiText(kTextOpenList), context.UiText(kTextFoundCaches)}, 0);
    if (chosen < 0) return;
    found = chosen == 1;
  }
  const TimelineFormat formats[] = {TimelineFormat::kBodyfile, TimelineFormat::kCsv,
                                    TimelineFormat::kJsonl};
  const QStringList filters{context.UiText(kTextBodyFiles) + QStringLiteral(" (*.body)"),
                            context.UiText(kTextCsvFiles) + QStringLiteral(" (*.csv)"),
                            context.UiText(kTextJsonLinesFiles) + QStringLiteral(" (*.jsonl)")};
  int filter = 0;
  QString path = dialogs.ChooseSaveFile(parts_.window, title, filters, &filter);
  if (path.isEmpty()) return;
  const TimelineFormat format = formats[std::clamp(filter, 0, 2)];
  if (QFileInfo(path).suffix().isEmpty())
    path += QString::fromUtf8(TimelineExtension(format).data(),
                              static_cast<qsizetype>(TimelineExtension(format).size()));
  Export(found, path, format);
}

bool TimelineFlow::Export(bool found_caches, const QString& path, TimelineFormat format) {
  WindowContext& context = *parts_.context;
  const std::string open_file = context.open_file().toStdString();
  const ThumbnailList& list = context.thumbnails();
  // A copy: the worker walks it while the window may redraw the panel.
  const FoundCacheList found = context.found_caches();
  CaseFlow& case_flow = *parts_.case_flow;
  const std::string output = path.toStdString();
  WriteOutcome write;
  parts_.work->ResetElapsed();
  parts_.work->Run([&](std::stop_token stop) {
    std::vector<TimelineEvent> events;
    const auto record_of = [&found](const std::string& cache) -> const CacheFileRecord* {
      const int64_t at = found.IndexOfPath(cache);
      return at < 0 ? nullptr : &found[static_cast<size_t>(at)];
    };
    if (!found_caches) {
      AddCacheEvents(events, TimelineCacheAt(open_file, record_of(open_file)));
      for (size_t i = 0; i < list.size(); ++i) {
        const ThumbnailRow row = list.RowCopy(i);
        AddRowEvents(events, open_file, row, context.MarksOf(row.key));
      }
    } else {
      for (const CacheFileRecord& record : found.rows()) {
        if (stop.stop_requested()) break;
        AddCacheEvents(events, TimelineCacheAt(record.path, &record));
        ThumbnailList rows;
        ImageStore store;
        ErrorList errors;
        CacheReadOptions options;
        OpenImages images;
        ReadCacheAt(record.location, images,
                    CacheReadTarget{rows, store, errors, context.texts(), nullptr, stop}, options);
        // The open list's marks are the window's own; another cache's come
        // from the case, found by its evidence.
        std::map<std::string, RowMarks> marks;
        if (record.path != open_file && case_flow.is_open()) {
          const EvidenceKey key = case_flow.KeyOf(record.path, false, stop);
          if (!key.empty()) marks = case_flow.case_file()->Marks(key);
        }
        for (size_t i = 0; i < rows.size(); ++i) {
          const ThumbnailRow row = rows.RowCopy(i);
          const RowMarks* row_marks = nullptr;
          if (record.path == open_file) {
            row_marks = context.MarksOf(row.key);
          } else if (auto it = marks.find(row.key); it != marks.end()) {
            row_marks = &it->second;
          }
          AddRowEvents(events, record.path, row, row_marks);
        }
      }
    }
    // A stopped walk writes nothing: half a timeline reads like a whole one.
    if (stop.stop_requested()) return;
    SortTimeline(events);
    const std::string text = BuildTimeline(format, events);
    std::vector<FileId> inputs;
    if (auto id = FileIdOf(open_file)) inputs.push_back(*id);
    write = WriteBytesFile(output, {reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                           OutputMode::kReplace, inputs);
  });
  if (parts_.work->stopped()) {
    parts_.work->ShowCancelled();
    parts_.work->AfterWork();
    return false;
  }
  parts_.work->AfterWork();
  if (!write.ok) {
    context.dialogs().ShowMessage(parts_.window, platform::MessageKind::kError,
                                  context.UiText(kTextFatalError) + QStringLiteral("!\n") +
                                      context.UiText(kTextFile) + QStringLiteral(":\n") + path +
                                      QStringLiteral("\n") + QString::fromStdString(write.detail));
    return false;
  }
  parts_.status->SetText(0, [&context, path] {
    return context.UiText(kTextExportTimeline).remove(QStringLiteral("...")) +
           QStringLiteral(": ") + path;
  });
  return true;
}

}  // namespace glintvane
