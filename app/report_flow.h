// Examiner's Report: which rows go in (the checked ones, or those of a tag),
// on which paper, then the extraction of those rows with index.html,
// report.html and report.pdf (Qt's PDF writer, on the worker). The case
// and the evidence's digest come from the case when one is open.
#pragma once

#include <QObject>
#include <QString>

#include <string>

#include "export/examiner_report.h"

namespace glintvane {

class ExtractionFlow;
struct WindowParts;

class ReportFlow : public QObject {
  Q_OBJECT

 public:
  ReportFlow(const WindowParts& parts, ExtractionFlow& extraction);

  // ActionExaminerReportExecute: the questions, then Write.
  void ExaminerReport();
  // The rows of `tag` ("" the checked rows) with the report on `paper`,
  // after the destination chooser.
  void Write(const std::string& tag, PaperSize paper);
  // The paper chosen last, else the one of the desktop's country.
  PaperSize paper() const;

 private:
  // The evidence as the report states it.
  ReportEvidence Evidence() const;

  const WindowParts& parts_;
  ExtractionFlow& extraction_;
};

}  // namespace glintvane
