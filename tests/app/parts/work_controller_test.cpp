// The work controller: a run that is cancelled, says so, and lets a close
// asked for meanwhile go on once it has ended.
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <condition_variable>
#include <mutex>

#include "part_test.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "window_context.h"
#include "work_controller.h"

namespace glintvane {

class WorkControllerTest : public QObject {
  Q_OBJECT

 private slots:
  void CancelStopsTheRunAndCloseWaitsForIt();
};

void WorkControllerTest::CancelStopsTheRunAndCloseWaitsForIt() {
  QWidget window;
  QStatusBar bar(&window);
  StatusLine status(&bar);
  WindowContext context(platform::StandardDialogs());
  WorkController work(context, status, &window);
  QCOMPARE(status.cancel_button()->text(), QStringLiteral("Cancel"));
  QSignalSpy working(&work, &WorkController::WorkingChanged);
  QSignalSpy close(&work, &WorkController::CloseRequested);
  status.SetText(0, QStringLiteral("0 sec. Files: 3"));

  bool cancel_shown = false;
  bool close_allowed = true;
  // The work runs until it is told to stop: nothing here waits for time.
  QTimer::singleShot(0, &window, [&] {
    cancel_shown = !status.cancel_button()->isHidden();
    close_allowed = work.AllowClose();  // Exit while working stops the work
  });
  const bool done = work.Run([](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait(lock, stop, [] { return false; });
  });
  QVERIFY(!done);
  QVERIFY(work.stopped());
  QVERIFY(cancel_shown);
  QVERIFY(!close_allowed);
  QVERIFY(status.cancel_button()->isHidden());
  QCOMPARE(working.size(), 2);
  QCOMPARE(working[0][0].toBool(), true);
  QCOMPARE(working[1][0].toBool(), false);
  work.ShowCancelled();
  QCOMPARE(status.Text(0), QStringLiteral("0 sec. Files: 3. Cancelled"));
  QCOMPARE(close.size(), 0);
  work.AfterWork();
  QCOMPARE(close.size(), 1);
  QVERIFY(work.AllowClose());
}

GLINTVANE_PART_TEST(WorkControllerTest);

}  // namespace glintvane
#include "work_controller_test.moc"
