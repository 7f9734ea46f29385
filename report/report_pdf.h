// report.pdf: the examiner's report (export/examiner_report.h) laid out on A4
// or Letter pages by Qt's own PDF writer, without a browser engine. Every
// page carries the case number and the examiner above and "Page n of N"
// below; the pictures are the files the extraction wrote. The text stays
// text in the PDF, so it can be searched and copied.
//
// This is the one place the command line meets Qt: it needs Qt's fonts and
// painting, and nothing else of Qt reaches the core. Without a running Qt
// application (the command line) one is made for the time of the call, on
// the offscreen platform: no display is needed.
#pragma once

#include <span>
#include <string>

#include "export/copy_range.h"
#include "export/examiner_report.h"
#include "texts/ui_texts.h"

namespace glintvane {

struct PdfOutcome {
  bool ok = false;
  std::string error;  // why the PDF could not be made or written
  int pages = 0;
};

// Lays `report` out and writes it to `pdf_path` (a fresh file renamed into
// place; none of `inputs` is replaced). The pictures are read from
// `folder` (ending in "/"), where report.html names them.
PdfOutcome WriteExaminerReportPdf(const ExaminerReport& report, const UiTexts& texts,
                                  const std::string& folder, const std::string& pdf_path,
                                  PaperSize paper, std::span<const FileId> inputs = {});

}  // namespace glintvane
