// Extraction: the chooser opens where the last extraction went or in the
// home folder, never beside the evidence; it takes a new folder's name; the
// questions at the end can be answered once and for all.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "extraction_flow.h"
#include "mainwindow.h"
#include "part_test.h"
#include "platform/dialogs.h"
#include "test_dialogs.h"

namespace glintvane {
namespace {

const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

}  // namespace

class ExtractionFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void ChooserStartsAwayFromTheEvidence();
  void ChooserTakesANewFolderName();
  void QuestionsAtTheEndCanBeAnsweredOnce();
};

void ExtractionFlowTest::ChooserStartsAwayFromTheEvidence() {
  QTemporaryDir evidence;
  const QString cache = evidence.filePath(QStringLiteral("Thumbs.db"));
  QVERIFY(QFile::copy(kSample, cache));
  ScriptedDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(cache);
  window.ActionExtractSelectedExecute();  // cancelled: the chooser answers ""
  QCOMPARE(dialogs.folder_starts.last(), QDir::homePath());
  // A folder chosen before is offered again, unless it is the evidence's.
  window.RegistryString(evidence.path(), QStringLiteral("ExtractFolder"), QStringLiteral("write"));
  MainWindow again(options);
  again.OpenThumbnailFile(cache);
  QCOMPARE(again.extraction()->StartFolder(), QDir::homePath());
  QTemporaryDir out;
  again.RegistryString(out.path(), QStringLiteral("ExtractFolder"), QStringLiteral("write"));
  MainWindow third(options);
  third.OpenThumbnailFile(cache);
  QCOMPARE(third.extraction()->StartFolder(), out.path());
}

void ExtractionFlowTest::ChooserTakesANewFolderName() {
  QTemporaryDir root;
  QVERIFY(QDir(root.path()).mkdir(QStringLiteral("old")));
  for (const QString& name : {QStringLiteral("fresh"), QStringLiteral("old")}) {
    platform::FolderChooser chooser(nullptr, QStringLiteral("Extract"), root.path());
    auto* edit = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit != nullptr);
    edit->setText(name);
    chooser.accept();
    QCOMPARE(chooser.result(), int(QDialog::Accepted));
    QCOMPARE(chooser.chosen(), QDir(root.path()).filePath(name));
  }
}

void ExtractionFlowTest::QuestionsAtTheEndCanBeAnsweredOnce() {
  QTemporaryDir out;
  ScriptedDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(kSample);
  window.ActionSelectAll->trigger();
  dialogs.folder = out.path();
  dialogs.answers = QQueue<bool>({false, false});
  dialogs.remember = QQueue<bool>({true, true});
  window.ActionExtractExecute();
  QCOMPARE(dialogs.questions.size(), 2);
  dialogs.questions.clear();
  window.ActionExtractExecute();
  QVERIFY(dialogs.questions.isEmpty());
  QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("index.html"))));
}

GLINTVANE_PART_TEST(ExtractionFlowTest);

}  // namespace glintvane

#include "extraction_flow_test.moc"
