// The image pane on its own: a stored picture shown with its dimensions in
// the status line, turned as its row remembers, and bytes that are no
// picture leaving the view empty with one error.
#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "cache_list.h"
#include "gallery_view.h"
#include "image_pane.h"
#include "image_view.h"
#include "part_test.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "window_commands.h"
#include "window_context.h"

namespace glintvane {

class ImagePaneTest : public QObject {
  Q_OBJECT

 private slots:
  void StoredPictureShowsTurnsAndFails();
  void TransparentPartsShowACheckerboard();
  void GalleryChecksAndZooms();
};

void ImagePaneTest::StoredPictureShowsTurnsAndFails() {
  QWidget window;
  WindowContext context(platform::StandardDialogs());
  WindowCommands commands;
  commands.CreateCommands(&window);
  QStatusBar bar(&window);
  StatusLine status(&bar);
  QTabWidget pages(&window);
  auto* page = new QWidget(&pages);
  pages.addTab(page, QString());
  CacheList list(context, &pages, page);
  ImagePane pane(context, list, status, commands, &window);
  pane.PageControl2->resize(400, 400);

  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::darkGreen);
  QByteArray png;
  QBuffer buffer(&png);
  picture.save(&buffer, "PNG");
  ThumbnailRow good;
  good.key = "1";
  good.name = "garden.jpg";
  good.source_kind = SourceKind::kImageStore;
  good.start = context.image_store().Append(
      {reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size())});
  good.length = png.size();
  good.rotation = 1;
  ThumbnailRow bad = good;
  bad.key = "2";
  bad.start = context.image_store().Append(std::vector<uint8_t>(64, 0x41));
  bad.length = 64;
  context.thumbnails().Append(good);
  context.thumbnails().Append(bad);
  list.Refresh();

  list.ShowFirstRow();
  pane.ShowFocusedRow();
  // Shown with the row's stored quarter turn; the text keeps the decoded size.
  QCOMPARE(pane.PreImage->picture().size(), QSize(30, 40));
  QCOMPARE(status.Text(1), QStringLiteral("Image dimension: 30 x 40"));
  QCOMPARE(pane.TabCaption(pane.ImageViewTabSheet), QStringLiteral("1 - garden.jpg"));
  QVERIFY(commands.ActionLeftRotate->isEnabled());
  pane.Rotate(-1);
  QCOMPARE(list.FocusedRecord()->rotation, int8_t{0});

  list.ListView1->setCurrentIndex(list.model()->index(1, 0));
  pane.ShowFocusedRow();
  QVERIFY(pane.PreImage->picture().isNull());
  QCOMPARE(status.Text(1), QString());
  QVERIFY(!commands.ActionLeftRotate->isEnabled());
  QCOMPARE(context.errors().entries().size(), size_t{1});
}

void ImagePaneTest::TransparentPartsShowACheckerboard() {
  ImageView view;
  view.resize(64, 64);
  view.SetStretch(false);
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  view.SetPicture(icon);
  QImage shown(view.size(), QImage::Format_RGB32);
  shown.fill(Qt::black);
  view.render(&shown);
  // Two neighbouring squares of the board, one grey, one white.
  const QRect at = view.PictureRect();
  const QColor first = shown.pixelColor(at.topLeft() + QPoint(2, 2));
  const QColor second = shown.pixelColor(at.topLeft() + QPoint(10, 2));
  QVERIFY2(first != second, qPrintable(first.name() + second.name()));
  for (const QColor& colour : {first, second})
    QVERIFY(colour == QColor(0xcc, 0xcc, 0xcc) || colour == QColor(Qt::white));
  // An opaque picture is drawn as it is.
  QImage opaque(32, 32, QImage::Format_RGB32);
  opaque.fill(Qt::darkBlue);
  view.SetPicture(opaque);
  view.render(&shown);
  QCOMPARE(shown.pixelColor(at.topLeft() + QPoint(10, 2)), QColor(Qt::darkBlue));
}

void ImagePaneTest::GalleryChecksAndZooms() {
  QWidget window;
  window.resize(600, 500);
  WindowContext context(platform::StandardDialogs());
  WindowCommands commands;
  commands.CreateCommands(&window);
  QStatusBar bar(&window);
  StatusLine status(&bar);
  QTabWidget pages(&window);
  auto* page = new QWidget(&pages);
  pages.addTab(page, QString());
  CacheList list(context, &pages, page);
  ImagePane pane(context, list, status, commands, &window);
  pane.PageControl2->setGeometry(0, 0, 600, 500);
  for (const char* key : {"1", "2", "3"}) {
    ThumbnailRow row;
    row.key = key;
    context.thumbnails().Append(row);
  }
  list.Refresh();
  window.show();
  pane.PageControl2->setCurrentWidget(pane.GalleryTabSheet);
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  GalleryView* gallery = pane.Gallery;
  // A click on an item's box checks its row; Space on the current one too.
  const QModelIndex second = list.model()->index(1, 0);
  QTRY_VERIFY(gallery->visualRect(second).isValid());
  QTest::mouseClick(gallery->viewport(), Qt::LeftButton, {},
                    gallery->CheckRect(gallery->visualRect(second)).center());
  QVERIFY(context.thumbnails()[1].checked);
  gallery->setCurrentIndex(list.model()->index(2, 0));
  QTest::keyClick(gallery, Qt::Key_Space);
  QVERIFY(context.thumbnails()[2].checked);
  QVERIFY(!context.thumbnails()[0].checked);
  // The slider sets the icons' size, within its bounds.
  pane.ZoomSlider->setValue(200);
  QCOMPARE(gallery->icon_edge(), 200);
  QCOMPARE(gallery->cached_icons(), 0);
  QTRY_VERIFY(gallery->visualRect(second).width() >= 200);
  pane.ZoomSlider->setValue(1000);
  QCOMPARE(gallery->icon_edge(), GalleryView::kLargestEdge);
}

GLINTVANE_PART_TEST(ImagePaneTest);

}  // namespace glintvane
#include "image_pane_test.moc"
