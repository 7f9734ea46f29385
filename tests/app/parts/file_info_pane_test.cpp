// The File Info page: details as bullets, errors indented, and a caption
// that says which of the two it shows in the language chosen later.
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>

#include "file_info_pane.h"
#include "part_test.h"
#include "platform/dialogs.h"
#include "window_context.h"

namespace glintvane {

class FileInfoPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void DetailsAndErrorsKeepTheirCaption();
};

void FileInfoPaneTest::DetailsAndErrorsKeepTheirCaption() {
  WindowContext context(platform::StandardDialogs());
  QTabWidget pages;
  FileInfoPane info(context, &pages);
  QVERIFY(!info.IsTabVisible());
  info.ShowFileDetails({"File Name: Thumbs.db", "Thumbnails: 3"});
  QCOMPARE(info.Caption(), QStringLiteral("File Details"));
  const QTextDocument* document = info.RichEdit1->document();
  QCOMPARE(document->blockCount(), 4);
  QVERIFY(document->findBlockByNumber(1).textList() != nullptr);
  QVERIFY(document->firstBlock().textList() == nullptr);

  info.Clear();
  context.AddError(504, QStringLiteral("/x/Thumbs.db"), {});
  info.ShowErrorLines();
  QCOMPARE(info.Caption(), QStringLiteral("Errors List"));
  QVERIFY(document->findBlockByNumber(1).blockFormat().leftMargin() > 0);
  // Another language: the caption still names the errors, and the entries
  // are written again, in its words.
  context.texts().Set(kTextErrorsList, "Fehlerliste");
  context.texts().Set(kTextFatalError, "Schwerer Fehler");
  context.texts().Set(kTextFileLengthError, "Fehler in der Dateilänge");
  info.ApplyTexts();
  QCOMPARE(info.Caption(), QStringLiteral("Fehlerliste"));
  const QString shown = info.RichEdit1->toPlainText();
  QVERIFY2(shown.contains(QStringLiteral("Schwerer Fehler!")), qPrintable(shown));
  QVERIFY(shown.contains(QStringLiteral("Fehler in der Dateilänge")));
  QVERIFY(!shown.contains(QStringLiteral("Fatal error")));
  QCOMPARE(document->findBlockByNumber(1).text(), QStringLiteral("Schwerer Fehler!"));
}

GLINTVANE_PART_TEST(FileInfoPaneTest);

}  // namespace glintvane
#include "file_info_pane_test.moc"
