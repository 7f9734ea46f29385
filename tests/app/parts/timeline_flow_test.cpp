// Export Timeline from the window: the open list's times with its tags, in
// the format the save dialog's filter names.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "mainwindow.h"
#include "part_test.h"
#include "row_tags.h"
#include "test_dialogs.h"
#include "timeline_flow.h"

namespace glintvane {
namespace {

const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);

QStringList Lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class TimelineFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void OpenListTimesWithTags();
};

void TimelineFlowTest::OpenListTimesWithTags() {
  QTemporaryDir out;
  ScriptedDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(kSample);
  window.thumbnails()[0].checked = true;
  window.tags()->ToggleTag("Review");

  // No found caches: the open list without asking; JSON lines by the filter.
  dialogs.save_file = out.filePath(QStringLiteral("times"));
  dialogs.save_filter = 2;
  window.ActionExportTimeline->trigger();
  QVERIFY(dialogs.item_lists.isEmpty());
  const QStringList json = Lines(dialogs.save_file + QStringLiteral(".jsonl"));
  // Twelve catalog times, and the cache file's own times.
  QVERIFY(json.size() >= 12 + 3);
  QCOMPARE(json.filter(QStringLiteral("\"tags\": [\"Review\"]")).size(), 1);

  const QString csv = out.filePath(QStringLiteral("times.csv"));
  QVERIFY(window.timeline()->Export(false, csv, TimelineFormat::kCsv));
  const QStringList lines = Lines(csv);
  QCOMPARE(lines.first().trimmed(),
           QStringLiteral("message,datetime,timestamp_desc,timestamp,source,row_key,tags,note"));
  QCOMPARE(lines.size(), json.size() + 1);
}

GLINTVANE_PART_TEST(TimelineFlowTest);

}  // namespace glintvane

#include "timeline_flow_test.moc"
