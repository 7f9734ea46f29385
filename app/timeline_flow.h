// File > Export Timeline: the times of the open list or of every found
// cache (each cache file's own times, recycle-bin deletions, the thumbnails'
// catalog times, with their tags and notes) as a body file for mactime, a
// CSV for timeline viewers or JSON lines, gathered and written on the worker.
#pragma once

#include <QObject>
#include <QString>

#include "export/timeline.h"

namespace glintvane {

struct WindowParts;

class TimelineFlow : public QObject {
  Q_OBJECT

 public:
  explicit TimelineFlow(const WindowParts& parts);

  // ActionExportTimelineExecute: which list, then the file and its format.
  void ExportTimeline();
  // Writes the timeline of the open list, or of the found caches, to
  // `path`; false (the reason shown) when it could not be written.
  bool Export(bool found_caches, const QString& path, TimelineFormat format);

 private:
  const WindowParts& parts_;
};

}  // namespace glintvane
