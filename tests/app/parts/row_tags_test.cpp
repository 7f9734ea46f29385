// Tags and notes in the list: tagging acts on the checked rows (or the
// highlighted one), the Tags column and the gallery show them, and the
// filter shows only the rows of a tag, following the tags as they change.
#include <QAction>
#include <QComboBox>
#include <QTest>
#include <QTreeView>

#include "cache_list.h"
#include "gallery_view.h"
#include "image_pane.h"
#include "mainwindow.h"
#include "part_test.h"
#include "row_tags.h"
#include "test_dialogs.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

void Check(MainWindow& window, const std::string& key, bool checked) {
  ThumbnailList& list = window.thumbnails();
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].key == key) list[i].checked = checked;
  }
}

}  // namespace

class RowTagsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void TagsFilterTheListAndFollowChanges();
};

void RowTagsTest::TagsFilterTheListAndFollowChanges() {
  ScriptedDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(kSample);
  CacheList& list = *window.list();
  RowTags& tags = *window.tags();
  QCOMPARE(list.RowCount(), 13);
  QVERIFY(list.ListView1->isColumnHidden(kColumnTags));
  WindowContext& context = window.context();

  // Nothing checked: the highlighted row (the first) is tagged.
  const std::string first = list.FocusedRecord()->key;
  tags.ToggleTag("Relevant");
  QVERIFY(context.MarksOf(first)->Has("Relevant"));
  QVERIFY(!list.ListView1->isColumnHidden(kColumnTags));
  // Checked rows are tagged together; a tag all of them have comes off.
  Check(window, "3", true);
  Check(window, "4", true);
  tags.ToggleTag("Review");
  QCOMPARE(tags.Targets(), (std::vector<std::string>{"3", "4"}));
  QVERIFY(context.MarksOf("3")->Has("Review") && context.MarksOf("4")->Has("Review"));
  tags.ToggleTag("Review");
  QCOMPARE(context.MarksOf("3"), nullptr);
  tags.ToggleTag("Review");
  // A tag of one's own: a name with the separator is refused, then made.
  dialogs.texts = QQueue<QString>({QStringLiteral("car, red"), QStringLiteral("  Red car ")});
  tags.NewTag();
  QCOMPARE(context.tag_names().size(), size_t{3});
  tags.NewTag();
  QCOMPARE(context.tag_names().back(), std::string("Red car"));
  QCOMPARE(context.MarksOf("4")->tags, (std::vector<std::string>{"Review", "Red car"}));
  const int row4 = [&] {
    for (int r = 0; r < list.RowCount(); ++r)
      if (list.model()->RowAt(r)->key == "4") return r;
    return -1;
  }();
  QCOMPARE(list.model()->index(row4, kColumnTags).data().toString(),
           QStringLiteral("Review, Red car"));
  QVERIFY(tags.TagFilter->findData(QStringLiteral("Red car")) >= 0);

  // The filter: the list and the gallery (one model) show the tag's rows.
  tags.SetFilter("Review");
  QCOMPARE(list.RowCount(), 2);
  QCOMPARE(window.pane()->Gallery->model()->rowCount(), 2);
  QCOMPARE(tags.TagFilter->currentData().toString(), QStringLiteral("Review"));
  QVERIFY(list.FocusedRecord() != nullptr);
  // A row that loses the tag leaves the filtered list at once.
  Check(window, "4", false);
  tags.ToggleTag("Review");
  QCOMPARE(list.RowCount(), 1);
  QCOMPARE(list.model()->RowAt(0)->key, std::string("4"));
  // Select All acts on the rows shown.
  Check(window, "3", false);
  window.ActionSelectAll->trigger();
  QCOMPARE(list.CheckedCount(), 1);
  tags.SetFilter(RowTags::kUntagged);
  QCOMPARE(list.RowCount(), 10);
  tags.SetFilter({});
  QCOMPARE(list.RowCount(), 13);
  QVERIFY(window.ActionExtract->isEnabled());

  // The note of the highlighted row.
  list.ShowFirstRow();
  dialogs.texts = QQueue<QString>({QStringLiteral(" seen in two caches \n")});
  tags.EditNote();
  QCOMPARE(context.MarksOf(first)->note, std::string("seen in two caches"));
  QVERIFY(list.model()
              ->index(0, 0)
              .data(Qt::ToolTipRole)
              .toString()
              .endsWith(QStringLiteral("Note: seen in two caches")));
  // Another file brings its own rows: the marks go with the old ones.
  window.OpenThumbnailFile(kSample);
  QVERIFY(context.marks().empty());
}

GLINTVANE_PART_TEST(RowTagsTest);

}  // namespace glintvane

#include "row_tags_test.moc"
