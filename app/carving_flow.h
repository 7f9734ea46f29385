// Carving (Brute Force Attack): pictures cut out of any file (a swap or
// hibernation file, a file that is no readable cache) or out of the disk
// inside a disk image, as rows of the thumbnail list, on the worker with the
// Cancel button shown.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "platform/dialogs.h"

namespace glintvane {

class ByteSource;
class CarveSource;
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
  // `source` is what was read, when it could be opened; `partial` when the
  // scan recorded why it does not cover everything.
  void ReportScanOutcome(const QString& path, bool ok, CarveSource* source = nullptr,
                         bool partial = false);

 private:
  // Appends the carved rows (numbered from 0) to the thumbnail list,
  // numbered on from the highest number already listed; `image_bytes`
  // (null for a file carved as it lies) is what they are read from.
  void AppendCarvedRows(ThumbnailList& carved, const std::shared_ptr<ByteSource>& image_bytes);
  void ShowScannedFileDetails(const QString& path, CarveSource* source);

  const WindowParts& parts_;
};

}  // namespace glintvane
