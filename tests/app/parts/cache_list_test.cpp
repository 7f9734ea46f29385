// The thumbnail list on its own: the keys it takes, times written again in
// another clock, and one error for a sort over unreadable values.
#include <QHeaderView>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "cache_list.h"
#include "part_test.h"
#include "platform/dialogs.h"
#include "thumbnail_model.h"
#include "window_context.h"

namespace glintvane {
namespace {

// 2004-08-19 12:01:45 UTC.
constexpr uint64_t kFileTime = 127373905050000000ULL;

}  // namespace

class CacheListTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void SpaceChecksAndEnterOpens();
  void TimesFollowTheClockAndNameIt();
  void UnreadableSortIsOneError();
};

void CacheListTest::SpaceChecksAndEnterOpens() {
  WindowContext context(platform::StandardDialogs());
  QTabWidget pages;
  auto* page = new QWidget(&pages);
  pages.addTab(page, QString());
  CacheList list(context, &pages, page);
  for (const char* key : {"1", "2"}) {
    ThumbnailRow row;
    row.key = key;
    context.thumbnails().Append(row);
  }
  list.Refresh();
  pages.show();
  list.ListView1->setFocus();
  list.ListView1->setCurrentIndex(list.model()->index(1, 0));
  QSignalSpy enter(&list, &CacheList::EnterPressed);
  QTest::keyClick(list.ListView1, Qt::Key_Space);
  QVERIFY(context.thumbnails()[1].checked);
  QCOMPARE(list.CheckedCount(), 1);
  QTest::keyClick(list.ListView1, Qt::Key_Return);
  QCOMPARE(enter.size(), 1);
}

void CacheListTest::TimesFollowTheClockAndNameIt() {
  WindowContext context(platform::StandardDialogs());
  QTabWidget pages;
  auto* page = new QWidget(&pages);
  pages.addTab(page, QString());
  CacheList list(context, &pages, page);
  ThumbnailRow row;
  row.key = "1";
  row.filetime = kFileTime;
  row.time_text = "written by the reader";
  context.thumbnails().Append(row);
  list.Refresh();
  context.SetTimeStyle({TimeZoneChoice::kUtc, true});
  QCOMPARE(list.model()->data(list.model()->index(0, 2), Qt::DisplayRole).toString(),
           QStringLiteral("2004-08-19 12:01:45"));
  QCOMPARE(list.model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
           QStringLiteral("Modified (UTC)"));
}

void CacheListTest::UnreadableSortIsOneError() {
  WindowContext context(platform::StandardDialogs());
  QTabWidget pages;
  auto* page = new QWidget(&pages);
  pages.addTab(page, QString());
  CacheList list(context, &pages, page);
  for (const char* key : {"3", "x", "1", "y"}) {
    ThumbnailRow row;
    row.key = key;
    context.thumbnails().Append(row);
  }
  list.Refresh();
  list.ColumnClick(0);
  QCOMPARE(context.errors().size(), 4U);  // one entry: heading, context, detail, separator
  QVERIFY(QString::fromStdString(context.errors().lines()[2]).contains(QStringLiteral("Number")));
  // Unreadable values sort first, the numbers after them in order.
  QCOMPARE(list.model()->data(list.model()->index(2, 0), Qt::DisplayRole).toString(),
           QStringLiteral("1"));
  QCOMPARE(list.model()->Caption(0), QStringLiteral("Number v"));
}

GLINTVANE_PART_TEST(CacheListTest);

}  // namespace glintvane
#include "cache_list_test.moc"
