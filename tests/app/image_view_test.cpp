// The display rule of the image view: where a picture lands in the view.
#include <QTest>

#include "image_view.h"

namespace glintvane {

class ImageViewTest : public QObject {
  Q_OBJECT

 private slots:
  void DisplayRect_data();
  void DisplayRect();
};

void ImageViewTest::DisplayRect_data() {
  QTest::addColumn<int>("w");
  QTest::addColumn<int>("h");
  QTest::addColumn<int>("cw");
  QTest::addColumn<int>("ch");
  QTest::addColumn<bool>("stretch");
  QTest::addColumn<QRect>("expected");
  // Best fit enlarges a small landscape picture to the view's width...
  QTest::newRow("160x120 best fit in 400x400")
      << 160 << 120 << 400 << 400 << true << QRect(0, 50, 400, 300);
  // ...and to its height when the view is wide.
  QTest::newRow("160x120 best fit in 800x300")
      << 160 << 120 << 800 << 300 << true << QRect(200, 0, 400, 300);
  // Actual size draws it pixel for pixel, centred.
  QTest::newRow("160x120 actual size")
      << 160 << 120 << 400 << 400 << false << QRect(120, 140, 160, 120);
  // A portrait picture fills the height, width truncated (90 * 300/160).
  QTest::newRow("90x160 best fit") << 90 << 160 << 400 << 300 << true << QRect(116, 0, 168, 300);
  // Too large for the view: reduced in both modes.
  QTest::newRow("1000x500 actual size, too wide")
      << 1000 << 500 << 400 << 400 << false << QRect(0, 100, 400, 200);
  QTest::newRow("300x600 actual size, too high")
      << 300 << 600 << 400 << 300 << false << QRect(125, 0, 150, 300);
  // A square picture counts as portrait (w <= h).
  QTest::newRow("100x100 best fit in 300x200")
      << 100 << 100 << 300 << 200 << true << QRect(50, 0, 200, 200);
  QTest::newRow("no picture") << 0 << 0 << 300 << 200 << true << QRect();
}

void ImageViewTest::DisplayRect() {
  QFETCH(int, w);
  QFETCH(int, h);
  QFETCH(int, cw);
  QFETCH(int, ch);
  QFETCH(bool, stretch);
  QFETCH(QRect, expected);
  QCOMPARE(glintvane::DisplayRect(w, h, cw, ch, stretch), expected);
}

}  // namespace glintvane

QTEST_MAIN(glintvane::ImageViewTest)
#include "image_view_test.moc"
