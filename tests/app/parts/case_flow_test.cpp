// The case in the window: tags come back when the same evidence is opened
// again from another path (and tags made before the case was opened join
// it); a case file the program cannot use is named and left as it was.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include "cache_list.h"
#include "case_flow.h"
#include "mainwindow.h"
#include "part_test.h"
#include "row_tags.h"
#include "test_dialogs.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

StartOptions Options(ScriptedDialogs& dialogs) {
  StartOptions options = EnglishStart(&dialogs);
  return options;
}

// Opens `path` and waits until the case has hashed it and brought its marks.
bool OpenBound(MainWindow& window, const QString& path) {
  QSignalSpy bound(window.case_flow(), &CaseFlow::EvidenceBound);
  window.OpenThumbnailFile(path);
  return bound.wait();
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class CaseFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void TagsComeBackFromAnotherPath();
  void NewCaseAsksAndRefusedCaseIsLeftAlone();
};

void CaseFlowTest::TagsComeBackFromAnotherPath() {
  QTemporaryDir root;
  const QString first = root.filePath(QStringLiteral("first/Thumbs.db"));
  const QString second = root.filePath(QStringLiteral("copy/renamed.db"));
  QVERIFY(QDir(root.path()).mkpath(QStringLiteral("first")));
  QVERIFY(QDir(root.path()).mkpath(QStringLiteral("copy")));
  QVERIFY(QFile::copy(kSample, first));
  QVERIFY(QFile::copy(kSample, second));
  const QString case_folder = root.filePath(QStringLiteral("case"));
  QVERIFY(QDir(root.path()).mkpath(QStringLiteral("case")));
  ScriptedDialogs dialogs;
  {
    MainWindow window(Options(dialogs));
    window.show();
    QVERIFY(window.case_flow()->CreateCase(case_folder, {"E. Examiner", "2024-017", {}}));
    QVERIFY(window.windowTitle().contains(QStringLiteral("Case 2024-017")));
    QVERIFY(OpenBound(window, first));
    window.list()->ShowFirstRow();
    window.tags()->ToggleTag("Relevant");
    dialogs.texts = QQueue<QString>({QStringLiteral("on the desk")});
    window.tags()->EditNote();
  }
  MainWindow window(Options(dialogs));
  window.show();
  // Made with no case open, kept when the case opens.
  window.OpenThumbnailFile(second);
  window.list()->ShowFirstRow();
  const std::string key = window.list()->FocusedRecord()->key;
  window.thumbnails()[5].checked = true;
  const std::string later = window.thumbnails()[5].key;
  window.tags()->ToggleTag("Review");
  QSignalSpy bound(window.case_flow(), &CaseFlow::EvidenceBound);
  QVERIFY(window.case_flow()->OpenCaseAt(case_folder));
  QCOMPARE(bound.size(), 1);
  const WindowContext& context = window.context();
  QVERIFY(context.MarksOf(key) != nullptr);
  QVERIFY(context.MarksOf(key)->Has("Relevant"));
  QCOMPARE(context.MarksOf(key)->note, std::string("on the desk"));
  QVERIFY(context.MarksOf(later)->Has("Review"));
  // The case keeps what this window added, for the next opening anywhere.
  auto reopened = CaseFile::Open(case_folder.toStdString(), true);
  QVERIFY(reopened);
  QVERIFY((*reopened)->Marks(window.case_flow()->evidence()).at(later).Has("Review"));
  // One piece of evidence, opened from two paths.
  const std::vector<EvidenceRecord> evidence = (*reopened)->Evidence();
  QCOMPARE(evidence.size(), size_t{2});
  QCOMPARE(evidence[0].sha256, evidence[1].sha256);
  // Opened again, nothing is hashed twice and the marks are there.
  QVERIFY(OpenBound(window, first));
  QVERIFY(context.MarksOf(key)->Has("Relevant"));
  window.case_flow()->CloseCase();
  QVERIFY(!window.ActionCloseCase->isEnabled());
  QVERIFY(!window.windowTitle().contains(QStringLiteral("2024-017")));
}

void CaseFlowTest::NewCaseAsksAndRefusedCaseIsLeftAlone() {
  QTemporaryDir root;
  ScriptedDialogs dialogs;
  MainWindow window(Options(dialogs));
  window.show();
  // New Case: a new folder (made after asking), the examiner, the number.
  dialogs.folder = root.filePath(QStringLiteral("case 1"));
  dialogs.answers = QQueue<bool>({true});
  dialogs.texts = QQueue<QString>({QStringLiteral("A. Examiner"), QStringLiteral(" 17 ")});
  window.ActionNewCase->trigger();
  QVERIFY(window.case_flow()->is_open());
  QCOMPARE(window.case_flow()->case_file()->info().case_number, std::string("17"));
  QVERIFY(QFile::exists(dialogs.folder + QStringLiteral("/glintvane-case.sqlite")));
  // The same folder again: the case there is offered, not replaced.
  const QByteArray before_again = Bytes(dialogs.folder + QStringLiteral("/glintvane-case.sqlite"));
  dialogs.answers = QQueue<bool>({false});
  window.ActionNewCase->trigger();
  QVERIFY(dialogs.questions.last().startsWith(window.UiText(kTextCaseExists)));
  QCOMPARE(Bytes(dialogs.folder + QStringLiteral("/glintvane-case.sqlite")), before_again);

  // A case file of a newer format: refused with the reason, untouched.
  const QString newer = root.filePath(QStringLiteral("newer.sqlite"));
  QVERIFY(CaseFile::Create(newer.toStdString(), {"x", "1", {}}));
  sqlite3* db = nullptr;
  QCOMPARE(sqlite3_open(newer.toUtf8().constData(), &db), SQLITE_OK);
  QCOMPARE(sqlite3_exec(db, "PRAGMA user_version = 3", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const QByteArray before = Bytes(newer);
  window.case_flow()->CloseCase();
  QVERIFY(!window.case_flow()->OpenCaseAt(newer));
  QVERIFY(!window.case_flow()->is_open());
  const QString message = dialogs.messages.last();
  QVERIFY(message.contains(newer));
  QVERIFY(message.contains(QStringLiteral("newer version")));
  QVERIFY(message.contains(QStringLiteral("format 3")));
  QVERIFY(message.contains(window.UiText(kTextCaseLeftAlone)));
  QCOMPARE(Bytes(newer), before);
}

GLINTVANE_PART_TEST(CaseFlowTest);

}  // namespace glintvane

#include "case_flow_test.moc"
