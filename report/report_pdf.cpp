#include "report/report_pdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <memory>

#include "export/html_report.h"

namespace glintvane {
namespace {

// Dots per inch the page is laid out at: fine enough for print, coarse
// enough that the numbers stay small.
constexpr int kPdfResolution = 300;
// Page margins in millimetres, the heading and the page number inside them.
constexpr double kMarginMm = 15.0;
// Pictures are kept at up to twice the size they are shown at, so that they
// print sharply; a carved picture of 4000 pixels does not go in whole.
constexpr int kPictureStoreEdge = 2 * kReportPictureEdge;
// The heading and the page number, in points.
constexpr double kMarginTextPoints = 8.0;

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void Silent(QtMsgType, const QMessageLogContext&, const QString&) {}

// The application made for the call where there is none (the command line):
// the offscreen platform, whatever QT_QPA_PLATFORM says, for no window is
// shown; and Qt's notes about the session it runs without (no runtime
// folder, no display) kept off the terminal.
class ConsoleGuiApplication {
 public:
  ConsoleGuiApplication() : previous_(qInstallMessageHandler(Silent)), app_(argc_, argv_) {}
  ~ConsoleGuiApplication() { qInstallMessageHandler(previous_); }
  ConsoleGuiApplication(const ConsoleGuiApplication&) = delete;
  ConsoleGuiApplication& operator=(const ConsoleGuiApplication&) = delete;

 private:
  char name_[16] = "glintvane-cli";
  char option_[16] = "-platform";
  char platform_[16] = "offscreen";
  char* argv_[4] = {name_, option_, platform_, nullptr};
  int argc_ = 3;
  QtMessageHandler previous_;
  QGuiApplication app_;
};

// Qt's rich text breaks a table wherever the page ends; a thumbnail's entry
// is one table and should stay on one page. The document is laid out once
// without pages, and every table that would straddle a page end, and fits
// on a page, starts a new page instead.
void KeepTablesWhole(QTextDocument& document, const QSizeF& body) {
  document.setTextWidth(body.width());
  QAbstractTextDocumentLayout* layout = document.documentLayout();
  double shift = 0;  // how far the page breaks chosen so far move what follows
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (table == nullptr) continue;
    const QRectF box = layout->frameBoundingRect(table);
    const double top = box.top() + shift;
    const double bottom = box.bottom() + shift;
    if (box.height() >= body.height()) continue;
    const double page_end = (std::floor(top / body.height()) + 1) * body.height();
    if (bottom <= page_end) continue;
    QTextTableFormat format = table->format();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    table->setFormat(format);
    shift += page_end - top;
  }
}

}  // namespace

PdfOutcome WriteExaminerReportPdf(const ExaminerReport& report, const UiTexts& texts,
                                  const std::string& folder, const std::string& pdf_path,
                                  PaperSize paper, std::span<const FileId> inputs) {
  PdfOutcome outcome;
  std::unique_ptr<ConsoleGuiApplication> application;
  if (QCoreApplication::instance() == nullptr) {
    application = std::make_unique<ConsoleGuiApplication>();
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    outcome.error = "the PDF needs Qt's fonts, which a console application does not load";
    return outcome;
  }

  QTextDocument document;
  // The pictures, decoded once and kept small; their sizes fill in what the
  // rows did not know.
  ExaminerReport shown = report;
  for (ReportEntry& entry : shown.entries) {
    if (entry.image_file.empty()) continue;
    QImageReader reader(Text(folder + entry.image_file));
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
      entry.image_file.clear();  // named in the facts, not shown
      continue;
    }
    if (entry.width <= 0 || entry.height <= 0) {
      entry.width = picture.width();
      entry.height = picture.height();
    }
    if (std::max(picture.width(), picture.height()) > kPictureStoreEdge) {
      picture = picture.scaled(kPictureStoreEdge, kPictureStoreEdge, Qt::KeepAspectRatio,
                               Qt::SmoothTransformation);
    }
    document.addResource(QTextDocument::ImageResource, QUrl(Text(UrlEncodePath(entry.image_file))),
                         picture);
  }

  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  QPdfWriter writer(&bytes);
  writer.setResolution(kPdfResolution);
  writer.setPageLayout(
      QPageLayout(QPageSize(paper == PaperSize::kLetter ? QPageSize::Letter : QPageSize::A4),
                  QPageLayout::Portrait, QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                  QPageLayout::Millimeter));
  writer.setTitle(Text(ReportPageHeading(report, texts)));
  writer.setCreator(QStringLiteral("Glintvane ") + Text(report.version));

  // Sizes in the writer's dots: the text is laid out for the page itself.
  document.documentLayout()->setPaintDevice(&writer);
  document.setHtml(Text(BuildExaminerReportHtml(shown, texts)));
  QFont small_font = document.defaultFont();
  small_font.setPointSizeF(kMarginTextPoints);
  const QRectF page = writer.pageLayout().paintRectPixels(writer.resolution());
  const double line = QFontMetricsF(small_font, &writer).height();
  const double gap = line * 1.5;  // between the heading (or the number) and the text
  const QSizeF body(page.width(), page.height() - 2 * gap);
  KeepTablesWhole(document, body);
  document.setPageSize(body);
  const int pages = document.pageCount();

  QPainter painter;
  if (!painter.begin(&writer)) {
    outcome.error = "the PDF writer could not start";
    return outcome;
  }
  const QString heading = Text(ReportPageHeading(report, texts));
  const QString case_label =
      report.case_info.case_number.empty()
          ? QString()
          : Text(texts[kTextCaseLabel]).arg(Text(report.case_info.case_number));
  for (int p = 0; p < pages; ++p) {
    if (p > 0) writer.newPage();
    painter.setFont(small_font);
    painter.setPen(Qt::darkGray);
    painter.drawText(QRectF(0, 0, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter, heading);
    const QString number = Text(texts[kTextPageOf]).arg(p + 1).arg(pages);
    const QRectF foot(0, page.height() - line, page.width(), line);
    painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, number);
    if (!case_label.isEmpty()) painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, case_label);
    painter.save();
    painter.translate(0, gap - p * body.height());
    const QRectF slice(0, p * body.height(), body.width(), body.height());
    painter.setClipRect(slice);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = slice;
    context.palette.setColor(QPalette::Text, Qt::black);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
  }
  if (!painter.end()) {
    outcome.error = "the PDF writer could not finish";
    return outcome;
  }
  bytes.close();
  const QByteArray& data = bytes.data();
  const WriteOutcome write = WriteBytesFile(
      pdf_path,
      {reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size())},
      OutputMode::kReplace, inputs);
  if (!write.ok) {
    outcome.error = write.detail;
    return outcome;
  }
  outcome.ok = true;
  outcome.pages = pages;
  return outcome;
}

}  // namespace glintvane
