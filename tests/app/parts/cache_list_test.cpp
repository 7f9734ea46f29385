// The thumbnail list on its own: the keys it takes, times written again in
// another clock, and one error for a sort over unreadable values.
#include <QAction>
#include <QBrush>
#include <QHeaderView>
#include <QMenu>
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
  void ColumnsFollowTheKindAndAreRememberedPerKind();
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
  QCOMPARE(context.errors().entries().size(), size_t{1});
  QVERIFY(QString::fromStdString(context.errors().Lines(context.texts())[2])
              .contains(QStringLiteral("Number")));
  // Unreadable values sort first, the numbers after them in order.
  QCOMPARE(list.model()->data(list.model()->index(2, 0), Qt::DisplayRole).toString(),
           QStringLiteral("1"));
  QCOMPARE(list.model()->Caption(0), QStringLiteral("Number v"));
}

void CacheListTest::ColumnsFollowTheKindAndAreRememberedPerKind() {
  WindowContext context(platform::StandardDialogs());
  QTabWidget pages;
  auto* page = new QWidget(&pages);
  pages.addTab(page, QString());
  CacheList list(context, &pages, page);
  QCOMPARE(list.VisibleColumns(), QList<int>({kColumnNumber, kColumnName, kColumnModified}));
  const auto fill = [&](const std::function<void(ThumbnailRow&)>& make) {
    context.thumbnails().Clear();
    list.Refresh();
    ThumbnailRow row;
    row.key = "9f1c2d3e4a5b6c7d";
    make(row);
    context.thumbnails().Append(row);
    list.Refresh();
    list.FitToRows();
  };
  const auto cell = [&](int column) {
    return list.model()->data(list.model()->index(0, column), Qt::DisplayRole).toString();
  };
  const auto thumbcache = [](ThumbnailRow& row) {
    row.thumbcache = true;
    row.kind = ImageKind::kBmp;
    row.width = 32;
    row.height = 24;
    row.length = 3126;
    row.entry_offset = 24;
    row.indexed = 1;
    row.checksum_ok = false;
    row.data_checksum = 0xABCDEF;
  };
  fill(thumbcache);
  QCOMPARE(list.kind(), ListKind::kThumbcache);
  QVERIFY(list.VisibleColumns().contains(kColumnIndexed));
  QVERIFY(!list.VisibleColumns().contains(kColumnModified));
  QCOMPARE(cell(kColumnKind), QStringLiteral("BMP"));
  QCOMPARE(cell(kColumnDimensions), QStringLiteral("32 x 24"));
  QCOMPARE(cell(kColumnOffset), QStringLiteral("24"));
  QCOMPARE(cell(kColumnIndexed), QStringLiteral("Yes"));
  QCOMPARE(cell(kColumnHeaderChecksum), QStringLiteral("does not match"));
  QCOMPARE(cell(kColumnDataChecksum), QStringLiteral("0000000000abcdef"));

  // The header's menu hides a column; the choice is the thumbcache kind's.
  QMenu menu;
  list.FillColumnMenu(&menu);
  for (QAction* item : menu.actions()) {
    if (item->text() == QStringLiteral("Offset")) item->trigger();
  }
  QVERIFY(!list.VisibleColumns().contains(kColumnOffset));
  fill([](ThumbnailRow& row) {
    row.carved = true;
    row.start = 4096;
    row.complete = true;
    row.carve_kind = CarveKind::kExif;
    row.decodes = DecodeCheck::kFails;
  });
  QCOMPARE(list.kind(), ListKind::kCarved);
  QVERIFY(list.VisibleColumns().contains(kColumnOffset));
  QCOMPARE(cell(kColumnOffset), QStringLiteral("4096"));
  QCOMPARE(cell(kColumnEndFound), QStringLiteral("Yes"));
  // What a carved row is and whether it decodes are columns of their own,
  // and a row that does not decode is grey.
  QVERIFY(list.VisibleColumns().contains(kColumnKind));
  QVERIFY(list.VisibleColumns().contains(kColumnDecodes));
  QCOMPARE(cell(kColumnKind), QStringLiteral("JPEG (Exif)"));
  QCOMPARE(cell(kColumnDecodes), QStringLiteral("No"));
  QCOMPARE(list.model()->data(list.model()->index(0, 0), Qt::ForegroundRole).value<QBrush>(),
           QBrush(Qt::gray));
  fill(thumbcache);
  QVERIFY(!list.VisibleColumns().contains(kColumnOffset));
  // The Number column holds the check boxes and stays.
  list.SetColumnVisible(kColumnNumber, false);
  QVERIFY(list.VisibleColumns().contains(kColumnNumber));
}

GLINTVANE_PART_TEST(CacheListTest);

}  // namespace glintvane
#include "cache_list_test.moc"
