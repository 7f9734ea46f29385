// Opening: no question stands over a frozen list or a stale status line,
// the question about the errors can be answered once and for all, and a
// folder named at start is searched for its caches.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include "cache_list.h"
#include "file_info_pane.h"
#include "mainwindow.h"
#include "part_test.h"
#include "settings_dialog.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

// Notes what the window looked like whenever it asked.
class WatchingDialogs final : public ScriptedDialogs {
 public:
  bool AskYesNo(QWidget* parent, const QString& text, int help_context) override {
    if (window != nullptr) {
      frozen << !window->list()->ListView1->updatesEnabled();
      status << window->status()->Text(0);
    }
    return ScriptedDialogs::AskYesNo(parent, text, help_context);
  }
  MainWindow* window = nullptr;
  QList<bool> frozen;
  QStringList status;
};

}  // namespace

class OpenFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void QuestionsComeAfterTheListIsDrawnAndCanBeAnsweredOnce();
  void FolderNamedAtStartIsSearched();
  void SearchIndexChosenByHandNamesTheRowsAndTellsWhere();
};

void OpenFlowTest::QuestionsComeAfterTheListIsDrawnAndCanBeAnsweredOnce() {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("photo.db"));
  QVERIFY(QImage(32, 24, QImage::Format_RGB32).save(path, "JPG"));
  WatchingDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  dialogs.window = &window;
  window.show();

  // No to the errors, ticking "Don't ask again"; no carving.
  dialogs.answers = QQueue<bool>({false, false});
  dialogs.remember = QQueue<bool>({true});
  window.OpenThumbnailFile(path);
  QCOMPARE(dialogs.questions.size(), 2);
  QCOMPARE(dialogs.frozen, QList<bool>({false, false}));
  QCOMPARE(dialogs.status,
           QStringList({QStringLiteral("0 sec. Files: 0"), QStringLiteral("0 sec. Files: 0")}));
  QCOMPARE(window.context().answer(Question::kSeeErrorDetails), QuestionAnswer::kNo);

  // Next time only carving is offered; the errors wait in File Info.
  dialogs.questions.clear();
  window.OpenThumbnailFile(path);
  QCOMPARE(dialogs.questions.size(), 1);
  QVERIFY(dialogs.questions[0].startsWith(QStringLiteral("Brute Force Attack?")));

  // Settings give the question back.
  WindowSettings settings;
  window.context().ApplySettings(settings);
  dialogs.questions.clear();
  window.OpenThumbnailFile(path);
  QCOMPARE(dialogs.questions.size(), 2);
}

void OpenFlowTest::FolderNamedAtStartIsSearched() {
  QTemporaryDir folder;
  QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("photos")));
  QVERIFY(QFile::copy(kSample, folder.filePath(QStringLiteral("photos/Thumbs.db"))));
  WatchingDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenStartFiles({folder.path()});
  QVERIFY(dialogs.questions.isEmpty());
  QCOMPARE(window.found_caches().size(), size_t{1});
  QCOMPARE(window.OpenFilePath(), folder.filePath(QStringLiteral("photos/Thumbs.db")));
  QVERIFY(window.list()->RowCount() > 0);
  QVERIFY(window.status()->Text(0).endsWith(QStringLiteral("Files: 13")));
}

void OpenFlowTest::SearchIndexChosenByHandNamesTheRowsAndTellsWhere() {
  const QString corpus = QStringLiteral(GLINTVANE_CORPUS_DIR "/real");
  const QString cache = corpus + QStringLiteral("/thumbcache/win10-b/thumbcache_48.db");
  const QString index = corpus + QStringLiteral("/search-index/win10-b/Windows.edb");
  WatchingDialogs dialogs;
  MainWindow window(EnglishStart(&dialogs));
  window.show();
  // Outside a profile's folders no index is looked for: hashes for names.
  window.OpenThumbnailFile(cache);
  CacheList& list = *window.list();
  QCOMPARE(list.kind(), ListKind::kThumbcache);

  // Chosen by hand: the open cache is read again, named by it.
  dialogs.open_file = index;
  window.ActionChooseSearchIndexExecute();
  QVERIFY(dialogs.questions.isEmpty());
  QCOMPARE(window.context().search_index(), index);
  QCOMPARE(list.kind(), ListKind::kNamedThumbcache);
  QVERIFY(list.VisibleColumns().contains(kColumnOriginalPath));
  int targets = -1;
  int unnamed = -1;  // a row the index does not know
  for (int row = 0; row < list.RowCount(); ++row) {
    if (list.model()->RowAt(row)->key == "14689f01a6e63900") targets = row;
    if (list.model()->RowAt(row)->key == "798dd1b2ce3b2ddd") unnamed = row;
  }
  QVERIFY(targets >= 0 && unnamed >= 0);
  const auto cell = [&](int column) {
    return list.model()->data(list.model()->index(targets, column), Qt::DisplayRole).toString();
  };
  QCOMPARE(cell(kColumnName), QStringLiteral("Targets"));
  QCOMPARE(cell(kColumnOriginalPath), QStringLiteral("C:\\Users\\AndrewRathbun\\Desktop\\Targets"));
  QVERIFY(!cell(kColumnModified).isEmpty());
  const QString details = window.info()->RichEdit1->toPlainText();
  QVERIFY2(details.contains(QStringLiteral("Search index: ") + index), qPrintable(details));
  QVERIFY2(details.contains(QStringLiteral("Rows named by the search index: 2 / 5")),
           qPrintable(details));
  // The focused row's path joins the File Details, and leaves with it.
  list.ListView1->setCurrentIndex(list.model()->index(targets, 0));
  QVERIFY(window.info()->RichEdit1->toPlainText().contains(
      QStringLiteral("Original path: C:\\Users\\AndrewRathbun\\Desktop\\Targets")));
  list.ListView1->setCurrentIndex(list.model()->index(unnamed, 0));
  QVERIFY(!window.info()->RichEdit1->toPlainText().contains(QStringLiteral("Original path")));
}

GLINTVANE_PART_TEST(OpenFlowTest);

}  // namespace glintvane

#include "open_flow_test.moc"
