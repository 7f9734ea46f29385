// Carving (Brute Force Attack): JPEG pictures cut out of any file (a swap
// or hibernation file, a disk image, a file that is no readable cache) as
// rows of the thumbnail list, on the worker with the Cancel button shown.
#pragma once

#include <QObject>
#include <QString>

#include "platform/dialogs.h"

namespace glintvane {

class ThumbnailList;
struct WindowParts;

class CarvingFlow : public QObject {
  Q_OBJECT

 public:
  explicit CarvingFlow(const WindowParts& parts);

  // ActionBruteForceExecute: the file chooser, the kinds to look for (the
  // last choice offered again), "Clear list?" when the list has rows, then
  // the scan.
  void BruteForce();
  // Scans `path` for the kinds of `choice` and appends what it finds to the
  // list, each picture checked by decoding it; the outcome is reported
  // unless the scan was cancelled.
  void CarveFile(const QString& path, const CarveChoice& choice);
  // ReportScanOutcome: the scanned file's details, "Sorry!" or the errors.
  void ReportScanOutcome(const QString& path, bool ok);

 private:
  // Appends the carved rows (numbered from 0) to the thumbnail list,
  // numbered on from the highest number already listed.
  void AppendCarvedRows(ThumbnailList& carved);
  void ShowScannedFileDetails(const QString& path);

  const WindowParts& parts_;
};

}  // namespace glintvane
