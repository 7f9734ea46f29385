// Help with no browser to show the guide says so and names the guide's
// place; with no guide at all it says that.
#include <QTest>

#include "desktop_integration.h"
#include "mainwindow.h"
#include "part_test.h"
#include "test_dialogs.h"

namespace glintvane {

class DesktopIntegrationTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void HelpWithoutABrowserNamesTheGuide();
};

void DesktopIntegrationTest::HelpWithoutABrowserNamesTheGuide() {
  ScriptedDialogs dialogs;
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.dialogs = &dialogs;
  MainWindow window(options);
  const QString guide = QStringLiteral("/usr/share/glintvane/guide/index.html");
  QStringList shown;
  bool browser = false;
  window.desktop()->SetGuide(guide, [&](const QString& path) {
    shown << path;
    return browser;
  });
  window.ActionHelp->trigger();
  QCOMPARE(shown, QStringList{guide});
  QCOMPARE(dialogs.messages.size(), 1);
  QVERIFY(dialogs.messages[0].startsWith(QStringLiteral("No program was found")));
  QVERIFY(dialogs.messages[0].endsWith(QStringLiteral("\n") + guide));
  browser = true;
  window.ActionHelp->trigger();
  QCOMPARE(dialogs.messages.size(), 1);
}

GLINTVANE_PART_TEST(DesktopIntegrationTest);

}  // namespace glintvane

#include "desktop_integration_test.moc"
