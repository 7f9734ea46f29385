// Examiner's Report from the window: the rows of a tag (not the checked
// ones) go into index.html, report.html and report.pdf, on the paper chosen.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "mainwindow.h"
#include "part_test.h"
#include "report_flow.h"
#include "row_tags.h"
#include "test_dialogs.h"

namespace glintvane {
namespace {

const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

QString Text(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class ReportFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void RowsOfATagGoIntoBothReports();
};

void ReportFlowTest::RowsOfATagGoIntoBothReports() {
  QTemporaryDir out;
  ScriptedDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(kSample);
  ThumbnailList& list = window.thumbnails();
  list[1].checked = true;
  list[4].checked = true;
  window.tags()->ToggleTag("Relevant");
  list[1].checked = false;
  list[4].checked = false;
  list[7].checked = true;  // checked, not tagged: not in the report

  dialogs.choices = QQueue<int>({1, 1});  // the tag's rows, on Letter
  dialogs.folder = out.path();
  window.ActionExaminerReport->trigger();
  QCOMPARE(dialogs.item_lists.first(),
           QStringList({QStringLiteral("Checked rows"), QStringLiteral("Rows tagged Relevant")}));
  QCOMPARE(window.report()->paper(), PaperSize::kLetter);
  const QString html = Text(out.filePath(QStringLiteral("report.html")));
  QVERIFY(html.contains(QString::fromStdString(list[1].name)));
  QVERIFY(html.contains(QString::fromStdString(list[4].name)));
  QVERIFY(!html.contains(QString::fromStdString(list[7].name)));
  QVERIFY(html.contains(QStringLiteral("Rows tagged Relevant")));
  QVERIFY(html.contains(QStringLiteral("the Glintvane window")));
  QVERIFY(QFile::exists(out.filePath(QStringLiteral("index.html"))));
  QFile pdf(out.filePath(QStringLiteral("report.pdf")));
  QVERIFY(pdf.open(QIODevice::ReadOnly));
  QVERIFY(pdf.read(5) == "%PDF-");
  QVERIFY(dialogs.messages.isEmpty());
  QCOMPARE(QDir(out.path()).entryList({QStringLiteral("*_thmb.*")}, QDir::Files).size(), 2);
}

GLINTVANE_PART_TEST(ReportFlowTest);

}  // namespace glintvane

#include "report_flow_test.moc"
