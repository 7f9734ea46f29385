// Extract Checked Files and Extract Selected File: the destination chooser,
// the run on the worker, the report with its CSV and JSON records, and the
// questions at the end.
#pragma once

#include <QObject>
#include <QString>

namespace glintvane {

struct WindowParts;

class ExtractionFlow : public QObject {
  Q_OBJECT

 public:
  explicit ExtractionFlow(const WindowParts& parts);

  // ActionExtractExecute: every checked row, then the report.
  void ExtractChecked();
  // ActionExtractSelectedExecute: the highlighted row.
  void ExtractSelected();

  // The folder offered last.
  QString folder() const { return folder_; }
  // Where the chooser opens: the folder chosen last, else the home folder,
  // never the folder of the file the list shows.
  QString StartFolder();

 private:
  // The destination, ending in "/"; "" when cancelled.
  QString ChooseDestination(const QString& title);

  const WindowParts& parts_;
  QString folder_;
};

}  // namespace glintvane
