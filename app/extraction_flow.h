// Extract Checked Files and Extract Selected File: the destination chooser,
// the run on the worker, the report with its CSV and JSON records, and the
// questions at the end.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/extract_run.h"

namespace glintvane {

struct WindowParts;

// What an extraction does beyond writing the checked rows with index.html.
struct ExtractionExtras {
  QString title;  // the chooser's title: the command's caption
  // These rows (list indices) instead of the checked ones.
  std::optional<std::vector<size_t>> rows;
  // The examiner's report, report.html, beside index.html.
  const ExaminerReportInput* examiner = nullptr;
  // Runs on the worker once the rows are written (report.pdf); returns why it
  // failed, "" when it did not.
  std::function<std::string(const ExtractOutcome&)> after;
};

class ExtractionFlow : public QObject {
  Q_OBJECT

 public:
  explicit ExtractionFlow(const WindowParts& parts);

  // ActionExtractExecute: every checked row, then the report.
  void ExtractChecked();
  // The same with `extras`: other rows, the examiner's report.
  void Extract(const ExtractionExtras& extras);
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
