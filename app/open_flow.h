// Opening a thumbnail cache: the Open command, the read on the worker with
// its progress, the File Details or the error list, the offer to carve a
// file that is not a readable cache, and emptying the thumbnail list.
#pragma once

#include <QObject>
#include <QString>

#include "base/evidence_location.h"

namespace glintvane {

struct WindowParts;

class OpenFlow : public QObject {
  Q_OBJECT

 public:
  explicit OpenFlow(const WindowParts& parts);

  // ActionOpenExecute: the open dialog, then the file (a disk image is
  // walked for its caches instead).
  void Open();
  // Before a list with checked rows is replaced by another file: asks, and
  // true when it may go (or nothing is checked).
  bool MayReplaceList();
  // OpenThumbnailFile: reads the file a person named by `path` (a path, or
  // a file inside a disk image in its text form) into the thumbnail list.
  void OpenFile(const QString& path);
  // A disk image is walked for its caches (EvidenceFlow), any other file
  // read as a cache.
  void OpenFileOrImage(const QString& path);
  // The same for a location held as it is (a found cache's row), taken as a
  // copy: the row may go while the file is read.
  void OpenLocation(EvidenceLocation where);
  // ReadThumbnailCache: the read itself; true when the file was read.
  bool ReadLocation(const EvidenceLocation& where);
  // ActionChooseSearchIndexExecute: the open dialog for a Windows.edb or
  // Windows.db, which then names the rows of the thumbcache the list shows
  // (read again) and of every one opened after it.
  void ChooseSearchIndex();
  // ClearThumbnailList: no rows, no picture, no sort state, no errors.
  void ClearList();
  // ShowErrorList: the error lines in File Info, and the question whether
  // to look at them.
  void ShowErrorList(const QString& path);

  // The start of opening or carving a file: errors and File Info emptied,
  // the file recorded as the one the list shows.
  void BeginWithFile(const QString& path);
  // The list frozen, the progress bar shown: a read or a scan is coming.
  void FreezeList();
  // The end of opening or carving a file: progress bar, status text, the
  // list redrawn and its first row shown.
  void EndListWork();

 private:
  const WindowParts& parts_;
};

}  // namespace glintvane
