#include "report_flow.h"

#include <QFileInfo>
#include <QLocale>
#include <QWidget>

#include "cache_list.h"
#include "case_flow.h"
#include "evidence/evidence_identity.h"
#include "evidence/evidence_open.h"
#include "extraction_flow.h"
#include "platform/dialogs.h"
#include "report/report_pdf.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

constexpr char kPaperValue[] = "ReportPaper";

}  // namespace

ReportFlow::ReportFlow(const WindowParts& parts, ExtractionFlow& extraction)
    : QObject(parts.window), parts_(parts), extraction_(extraction) {}

PaperSize ReportFlow::paper() const {
  const QString stored =
      parts_.context->RegistryString({}, QString::fromLatin1(kPaperValue), QStringLiteral("read"));
  if (const auto named = PaperSizeNamed(stored.toStdString())) return *named;
  // Letter where the desktop's country measures in inches.
  return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? PaperSize::kLetter
                                                                            : PaperSize::kA4;
}

void ReportFlow::ExaminerReport() {
  WindowContext& context = *parts_.context;
  if (parts_.work->IsWorking() || context.thumbnails().empty()) return;
  // The checked rows, or the rows of a tag that some row carries.
  QStringList items{context.UiText(kTextCheckedRows)};
  std::vector<std::string> tags{std::string()};
  for (const std::string& name : context.tag_names()) {
    const bool used = std::any_of(context.marks().begin(), context.marks().end(),
                                  [&](const auto& entry) { return entry.second.Has(name); });
    if (!used) continue;
    items << context.UiText(kTextRowsTagged).arg(context.TagText(name));
    tags.push_back(name);
  }
  const QString title = context.UiText(kTextExaminerReportCommand).remove(QStringLiteral("..."));
  platform::Dialogs& dialogs = context.dialogs();
  const int rows = dialogs.ChooseItem(parts_.window, title, context.UiText(kTextReportRows), items,
                                      parts_.list->CheckedCount() > 0 || items.size() == 1 ? 0 : 1);
  if (rows < 0) return;
  const PaperSize before = paper();
  const int chosen_paper = dialogs.ChooseItem(parts_.window, title, context.UiText(kTextPaperSize),
                                              {QStringLiteral("A4"), QStringLiteral("Letter")},
                                              before == PaperSize::kLetter ? 1 : 0);
  if (chosen_paper < 0) return;
  const PaperSize paper = chosen_paper == 1 ? PaperSize::kLetter : PaperSize::kA4;
  context.RegistryString(QString::fromUtf8(PaperSizeName(paper).data()),
                         QString::fromLatin1(kPaperValue), QStringLiteral("write"));
  Write(tags[static_cast<size_t>(rows)], paper);
}

ReportEvidence ReportFlow::Evidence() const {
  WindowContext& context = *parts_.context;
  ReportEvidence evidence;
  evidence.path = context.open_file().toStdString();
  const CaseFlow& case_flow = *parts_.case_flow;
  if (!case_flow.evidence().empty()) {
    evidence.sha256 = case_flow.evidence().sha256;
    evidence.size = case_flow.evidence_size();
  }
  // A cache inside a disk image: the image file's times, and where the
  // cache lay in it as the image's search found it.
  const EvidenceLocation where = EvidenceLocationOfText(evidence.path);
  if (const ImageFileLocation* inside = InImage(where)) {
    evidence.times = ReadFileTimes(inside->image);
    evidence.partition = inside->partition;
  }
  const int64_t found = context.found_caches().IndexOfPath(evidence.path);
  if (found >= 0) {
    const CacheFileRecord& record = context.found_caches()[static_cast<size_t>(found)];
    evidence.deleted = record.entry_deleted;
    evidence.recycled = record.recycled;
    if (record.recycled) evidence.original = record.name;
  }
  return evidence;
}

void ReportFlow::Write(const std::string& tag, PaperSize paper) {
  WindowContext& context = *parts_.context;
  ExtractionExtras extras;
  extras.title = context.UiText(kTextExaminerReportCommand).remove(QStringLiteral("..."));
  if (!tag.empty()) {
    std::vector<size_t> rows;
    const ThumbnailList& list = context.thumbnails();
    for (size_t i = 0; i < list.size(); ++i) {
      const RowMarks* marks = context.MarksOf(list[i].key);
      if (marks != nullptr && marks->Has(tag)) rows.push_back(i);
    }
    extras.rows = std::move(rows);
  }
  ExaminerReportInput input;
  if (const CaseFile* file = parts_.case_flow->case_file()) input.case_info = file->info();
  input.evidence = Evidence();
  input.made_by = context.UiText(kTextTheWindow).toStdString();
  input.selection = (tag.empty() ? context.UiText(kTextCheckedRows)
                                 : context.UiText(kTextRowsTagged).arg(context.TagText(tag)))
                        .toStdString();
  // Read on the worker while the window waits: the marks do not change then.
  input.marks = [&context](const ThumbnailRow& row) { return context.MarksOf(row.key); };
  extras.examiner = &input;
  const UiTexts& texts = context.texts();
  extras.after = [&texts, paper](const ExtractOutcome& outcome) -> std::string {
    if (!outcome.examiner_report || !outcome.examiner_html_written) return {};
    const std::string folder =
        outcome.examiner_html_path.substr(0, outcome.examiner_html_path.rfind('/') + 1);
    const PdfOutcome pdf =
        WriteExaminerReportPdf(*outcome.examiner_report, texts, folder,
                               folder + std::string(kExaminerReportPdfName), paper);
    return pdf.ok ? std::string() : pdf.error;
  };
  extraction_.Extract(extras);
}

}  // namespace glintvane
