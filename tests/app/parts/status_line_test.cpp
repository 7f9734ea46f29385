// The status line: texts written again in a new language, and the progress
// bar that takes panel 1's place without covering the Cancel button.
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "part_test.h"
#include "status_line.h"

namespace glintvane {

class StatusLineTest : public QObject {
  Q_OBJECT

 private slots:
  void TextsMadeByFunctionsFollowTheLanguage();
  void ProgressTakesPanelOnesPlaceBesideCancel();
};

void StatusLineTest::TextsMadeByFunctionsFollowTheLanguage() {
  QStatusBar bar;
  StatusLine status(&bar);
  QString word = QStringLiteral("Files");
  status.SetText(0, [&word] { return word + QStringLiteral(": 3"); });
  status.SetText(1, QStringLiteral("/data/Thumbs.db"));
  word = QStringLiteral("Dateien");
  status.Retranslate();
  QCOMPARE(status.Text(0), QStringLiteral("Dateien: 3"));
  QCOMPARE(status.Text(1), QStringLiteral("/data/Thumbs.db"));
  // A longer text built on a fixed one keeps it.
  const auto before = status.Maker(1);
  status.SetText(1, [before] { return before() + QStringLiteral(". Cancelled"); });
  status.Retranslate();
  QCOMPARE(status.Text(1), QStringLiteral("/data/Thumbs.db. Cancelled"));
}

void StatusLineTest::ProgressTakesPanelOnesPlaceBesideCancel() {
  QMainWindow window;
  window.resize(743, 592);
  StatusLine status(window.statusBar());
  status.cancel_button()->setText(QStringLiteral("Cancel"));
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  status.ShowProgress(true);
  status.ShowCancel(true);
  status.SetProgress(150);  // past the end shows as full
  QTRY_VERIFY(status.cancel_button()->isVisible() && status.progress_bar()->isVisible());
  QTRY_VERIFY(!status.progress_bar()->geometry().intersects(status.cancel_button()->geometry()));
  QCOMPARE(status.progress_bar()->value(), 100);
  // The button is what a click at its middle reaches.
  const QPoint middle = status.cancel_button()->geometry().center();
  QCOMPARE(window.statusBar()->childAt(middle), status.cancel_button());
  status.ShowProgress(false);
  status.ShowCancel(false);
  QVERIFY(!status.progress_bar()->isVisible() && !status.cancel_button()->isVisible());
}

GLINTVANE_PART_TEST(StatusLineTest);

}  // namespace glintvane
#include "status_line_test.moc"
