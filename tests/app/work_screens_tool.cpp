// Not a test and not shipped: pictures of the window at work for docs/ and
// the guide, taken under Xvfb from the sample the build makes:
//   xvfb-run -a glintvane_work_screens <build>/sample <docs folder>
// File Locator over the sample tree with a recycle bin added, a thumbcache
// file opened from it, an extraction just finished, and the Open With
// chooser.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

#include "cache_list.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "platform/app_chooser.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "window_texts.h"
#include "work_controller.h"

namespace {

class Answers final : public glintvane::platform::Dialogs {
 public:
  void ShowMessage(QWidget*, glintvane::platform::MessageKind, const QString&) override {}
  bool AskYesNo(QWidget*, const QString&, int) override { return false; }
  QString ChooseOpenFile(QWidget*, const QStringList&) override { return {}; }
  QString ChooseFolder(QWidget*, const QString&) override { return folder; }
  QString folder;
};

void Settle() {
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <sample folder> <docs>\n", argv[0]);
    return 2;
  }
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
    QIcon::setThemeName(QStringLiteral("Adwaita"));
  const QDir sample(QString::fromLocal8Bit(argv[1]));
  const QDir docs(QString::fromLocal8Bit(argv[2]));
  const QDir guide(docs.filePath(QStringLiteral("guide/images")));

  QTemporaryDir work;
  QDir tree(work.filePath(QStringLiteral("evidence")));
  const QString explorer = QStringLiteral("Users/eve/AppData/Local/Microsoft/Windows/Explorer");
  const QString search_index =
      QStringLiteral("ProgramData/Microsoft/Search/Data/Applications/Windows");
  for (const QString& folder :
       {explorer, search_index, QStringLiteral("Users/eve/Pictures/Holiday 2004"),
        QStringLiteral("RECYCLER/S-1-5-21-1004")}) {
    tree.mkpath(folder);
  }
  const QDir from(sample.filePath(QStringLiteral("evidence")));
  for (const QString& file : {explorer + QStringLiteral("/thumbcache_96.db"),
                              search_index + QStringLiteral("/Windows.db"),
                              QStringLiteral("Users/eve/Pictures/Holiday 2004/Thumbs.db")}) {
    QFile::copy(from.filePath(file), tree.filePath(file));
  }
  QFile::copy(sample.filePath(QStringLiteral("Thumbs.db")),
              tree.filePath(QStringLiteral("RECYCLER/S-1-5-21-1004/DC4.db")));
  // INFO2: one record of 800 bytes for C:\Documents\Holiday\Thumbs.db,
  // index 4 on drive C, deleted 14 March 2008 10:20:30 UTC.
  QByteArray index(20 + 800, '\0');
  index[12] = static_cast<char>(0x20);
  index[13] = static_cast<char>(0x03);
  const QByteArray original("C:\\Documents\\Holiday\\Thumbs.db");
  index.replace(20, original.size(), original);
  index[16 + 264] = 4;
  index[16 + 268] = 2;
  const quint64 deleted = 128499264300000000ULL;
  for (int i = 0; i < 8; ++i) index[16 + 272 + i] = static_cast<char>((deleted >> (8 * i)) & 0xFF);
  QFile info(tree.filePath(QStringLiteral("RECYCLER/S-1-5-21-1004/INFO2")));
  info.open(QIODevice::WriteOnly);
  info.write(index);
  info.close();

  Answers answers;
  glintvane::StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.language_folders = {QStringLiteral(GLINTVANE_LANG_DIR)};
  options.dialogs = &answers;
  glintvane::MainWindow window(options);
  window.resize(960, 640);
  window.show();
  Settle();

  answers.folder = tree.path();
  window.ActionSearchAllExecute();
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(2, 0));
  Settle();
  bool ok = window.grab().save(docs.filePath(QStringLiteral("file-locator.png")));
  ok = window.grab().save(guide.filePath(QStringLiteral("locator.png"))) && ok;

  window.OpenThumbnailFile(tree.filePath(explorer + QStringLiteral("/thumbcache_96.db")));
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(1, 0));
  // The list wide enough for the names, times and paths the index gave.
  const QList<int> panes = window.Splitter1->sizes();
  window.Splitter1->setSizes({680, 280});
  for (int column = 0; column < glintvane::ThumbnailModel::kColumnCount; ++column)
    window.list()->ListView1->resizeColumnToContents(column);
  Settle();
  ok = window.grab().save(guide.filePath(QStringLiteral("thumbcache.png"))) && ok;
  window.Splitter1->setSizes(panes);
  window.OpenThumbnailFile(
      tree.filePath(QStringLiteral("Users/eve/Pictures/Holiday 2004/Thumbs.db")));
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(3, 0));
  Settle();

  window.ActionSelectAll->trigger();
  answers.folder = work.filePath(QStringLiteral("extracted"));
  QDir().mkpath(answers.folder);
  window.ActionExtractExecute();
  Settle();
  ok = window.grab().save(docs.filePath(QStringLiteral("extraction-finished.png"))) && ok;

  const QString copy = work.filePath(QStringLiteral("IMG_0001_thmb.jpg"));
  QFile::copy(
      QDir(answers.folder).entryInfoList({QStringLiteral("*_thmb.jpg")}).value(0).filePath(), copy);
  glintvane::platform::AppChooserDialog chooser(copy, &window);
  chooser.show();
  Settle();
  ok = chooser.grab().save(docs.filePath(QStringLiteral("open-with-chooser.png"))) && ok;
  std::printf("%s\n", ok ? "saved" : "could not save");
  return ok ? 0 : 1;
}
