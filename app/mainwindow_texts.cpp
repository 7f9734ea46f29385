// The UI texts in the window: ApplyTexts and the Language menu.
#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>

#include "mainwindow.h"
#include "platform/desktop.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// English and at most this many language files: a folder full of stray
// files must not make a menu taller than the screen.
constexpr int kMaxLanguageFiles = 99;

// Where a Language item loads its texts from: {folder, file name}, or
// {"", "en"} for the built-in English.
QStringList ItemSource(const QAction* item) {
  return item->data().toStringList();
}

}  // namespace

void MainWindow::ApplyTexts() {
  setWindowTitle(UiText(kTextProductName));
  thumbnail_model_->SetCaption(0, UiText(kTextNumber));
  thumbnail_model_->SetCaption(1, UiText(kTextOriginalName));
  thumbnail_model_->SetCaption(2, UiText(kTextModified));
  found_model_->setHorizontalHeaderLabels(
      {UiText(kTextFile), UiText(kTextSize),
       UiText(kTextModified) + column_joiner_ + UiText(kTextDeleted), UiText(kTextLocation)});
  ListView2->setToolTip(UiText(kTextDoubleClickHint));

  File1->setTitle(UiText(kTextFile));
  SetTabCaption(FileInfoTabSheet, UiText(kTextFileDetails));
  // Tabs that show no file yet speak the chosen language too.
  if (thumbnails_.empty()) {
    SetTabCaption(mainTabSheet, UiText(kTextFile));
    SetTabCaption(ImageViewTabSheet, UiText(kTextImageView));
  }
  Actions1->setTitle(UiText(kTextActions));
  Help1->setTitle(UiText(kTextHelp));

  const std::pair<QAction*, int> same_text[] = {
      {ActionExit, kTextExit},
      {ActionOpen, kTextOpen},
      {ActionBestFit, kTextBestFit},
      {ActionActualSize, kTextActualSize},
      {ActionLeftRotate, kTextRotateLeft},
      {ActionRightRotate, kTextRotateRight},
      {ActionDesktopIcon, kTextDesktopIcon},
      {ActionQuickLaunchIcon, kTextQuickLaunchIcon},
      {ActionExtract, kTextExtractChecked},
      {ActionView, kTextOpenSelected},
      {ActionInvert, kTextInvertSelection},
      {ActionSelectAll, kTextSelectAll},
      {ActionHelp, kTextHelpCommand},
      {ActionHelpOnline, kTextOnlineSupport},
      {ActionHelpAbout, kTextAbout},
      {ActionUnselectAll, kTextUnselectAll},
      {ActionExtractSelected, kTextExtractSelected},
      {ActionOpenWith, kTextOpenSelectedWith},
      {ActionShowThumb, kTextThumbsDbShow},
      {ActionOrigView, kTextOriginalFileView},
      {ActionBruteForce, kTextBruteForceAttack},
  };
  for (const auto& [action, text] : same_text) {
    action->setText(UiText(text));
    action->setToolTip(UiText(text));
  }
  ActionSearchAll->setText(UiText(kTextFileLocator));
  ActionSearchAll->setToolTip(UiText(kTextCollectAllHint));
  OrgFileViewBtn->setText(UiText(kTextOriginalFileView));
  OrgFileViewBtn->setToolTip(UiText(kTextOriginalFileView));
  GammaPanel->setText(UiText(kTextWhiteImageHint));
  if (LangItem != nullptr) LangItem->setTitle(UiText(kTextLanguage));
  ApplyDesktopTexts();
}

void MainWindow::BuildLanguageMenu() {
  const QStringList folders = options_.language_folders.isEmpty()
                                  ? platform::Desktop::LanguageFolders()
                                  : options_.language_folders;
  // Every "*.lang" file, by name without regard to case; a name found
  // beside the program hides the same name in the data folder.
  QList<QFileInfo> files;
  QStringList seen;
  for (const QString& folder : folders) {
    const QFileInfoList listed =
        QDir(folder).entryInfoList({QStringLiteral("*.lang")}, QDir::Files, QDir::NoSort);
    for (const QFileInfo& file : listed) {
      if (seen.contains(file.fileName(), Qt::CaseInsensitive)) continue;
      seen << file.fileName();
      files << file;
    }
  }
  if (files.isEmpty()) {
    texts_.ResetToDefaults();
    return;
  }
  std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
    return a.fileName().compare(b.fileName(), Qt::CaseInsensitive) < 0;
  });

  LangItem = new QMenu(UiText(kTextLanguage), this);
  LangItem->setObjectName(QStringLiteral("LangItem"));
  language_group_ = new QActionGroup(LangItem);
  language_group_->setExclusive(true);
  auto add_item = [this](const QString& caption, const QString& key, const QStringList& source) {
    auto* item = new QAction(caption, LangItem);
    item->setObjectName(QStringLiteral("LangItem_") + key);
    item->setCheckable(true);
    item->setData(source);
    language_group_->addAction(item);
    LangItem->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { LangClick(item); });
    return item;
  };

  QString english = QString::fromStdString(LanguageNameOf("ENU"));
  if (english.isEmpty()) english = QStringLiteral("English");
  QAction* chosen = add_item(english, QStringLiteral("ENU"), {QString(), QStringLiteral("en")});

  int listed = 0;
  for (const QFileInfo& file : files) {
    if (listed == kMaxLanguageFiles) break;
    const QString name = file.fileName();
    const QString key = name.left(name.lastIndexOf(QLatin1Char('.')));
    QString caption = QString::fromStdString(LanguageNameOf(key.toStdString()));
    // Files named after no known language are not offered.
    if (caption.isEmpty()) continue;
    if (key.toUpper() == QLatin1String("ENU")) caption += QStringLiteral(" - 2");
    QAction* item = add_item(caption, key, {file.absolutePath(), name});
    ++listed;
    if (key.toUpper() == current_language_.toUpper()) chosen = item;
  }

  // After File and Actions, before Help.
  menuBar()->insertMenu(Help1->menuAction(), LangItem);
  LangClick(chosen);
}

void MainWindow::LangClick(QAction* item) {
  if (item == nullptr) return;
  const QStringList source = ItemSource(item);
  const QString folder = source.value(0);
  const QString file = source.value(1);
  LoadLanguage(texts_, file.toStdString(), folder.toStdString());
  ApplyTexts();
  item->setChecked(true);
  // The stored key is the file name without its extension: "en" or "DEU".
  const int dot = file.lastIndexOf(QLatin1Char('.'));
  RegistryString(dot < 0 ? file : file.left(dot), QStringLiteral("Language"),
                 QStringLiteral("write"));
}

}  // namespace glintvane
