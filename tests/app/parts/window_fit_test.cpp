// Everything fits at the window's first size in every language: no button,
// tab or label shows less than its text, nothing spills into an overflow
// menu. The window is rendered offscreen with the sample cache found by
// File Locator and open, the image view and then the gallery in front.
#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "cache_list.h"
#include "image_pane.h"
#include "mainwindow.h"
#include "part_test.h"
#include "test_dialogs.h"

namespace glintvane {
namespace {

const QString kLangDir = QStringLiteral(GLINTVANE_LANG_DIR);
const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

// What of `window` shows less than its text, in words.
QStringList Cut(QMainWindow& window) {
  QStringList cut;
  const auto shown = [&window](QWidget* widget) { return widget->isVisibleTo(&window); };
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (!shown(button) || button->text().isEmpty()) continue;
    // A button narrower than it asks for draws its caption cut ("Rota...Left").
    if (button->width() < button->sizeHint().width())
      cut << QStringLiteral("button '%1' %2 < %3")
                 .arg(button->text())
                 .arg(button->width())
                 .arg(button->sizeHint().width());
  }
  for (QTabBar* bar : window.findChildren<QTabBar*>()) {
    if (!shown(bar)) continue;
    for (int i = 0; i < bar->count(); ++i) {
      const QString text = bar->tabText(i);
      if (bar->isTabVisible(i) &&
          bar->tabRect(i).width() < bar->fontMetrics().horizontalAdvance(text))
        cut << QStringLiteral("tab '%1'").arg(text);
    }
  }
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (!shown(label) || label->text().isEmpty() || label->wordWrap()) continue;
    if (label->contentsRect().width() < label->fontMetrics().horizontalAdvance(label->text()))
      cut << QStringLiteral("label '%1'").arg(label->text());
  }
  // Tool bar and menu bar items that do not fit go to an overflow button.
  for (QToolButton* more :
       window.findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
    if (shown(more)) cut << QStringLiteral("tool bar overflows");
  for (QToolButton* more : window.menuBar()->findChildren<QToolButton*>())
    if (shown(more)) cut << QStringLiteral("menu bar overflows");
  return cut;
}

}  // namespace

class WindowFitTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void EverythingFitsInEveryLanguage();
};

void WindowFitTest::EverythingFitsInEveryLanguage() {
  for (const QString& language :
       {QStringLiteral("ENU"), QStringLiteral("DEU"), QStringLiteral("ESN"), QStringLiteral("FRA"),
        QStringLiteral("ITA"), QStringLiteral("RUS")}) {
    ClearTestSettings();
    ScriptedDialogs dialogs;
    StartOptions options;
    options.language_folders = {kLangDir};
    options.system_language = language;
    options.dialogs = &dialogs;
    MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(743, 592));
    // File Locator finds the sample and opens it: every tool bar command shows.
    QTemporaryDir folder;
    QVERIFY(QFile::copy(kSample, folder.filePath(QStringLiteral("Thumbs.db"))));
    dialogs.folder = folder.path();
    window.ActionSearchAllExecute();
    QVERIFY(window.list()->RowCount() > 0);
    QVERIFY(window.ActionShowThumb->isVisible());
    for (QWidget* page : {window.pane()->ImageViewTabSheet, window.pane()->GalleryTabSheet}) {
      window.pane()->PageControl2->setCurrentWidget(page);
      QCoreApplication::processEvents();
      const QStringList cut = Cut(window);
      QVERIFY2(cut.isEmpty(),
               qPrintable(language + QStringLiteral(": ") + cut.join(QStringLiteral("; "))));
    }
  }
}

GLINTVANE_PART_TEST(WindowFitTest);

}  // namespace glintvane

#include "window_fit_test.moc"
