#include "window_texts.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QTranslator>

#include <algorithm>

#include "platform/desktop.h"
#include "window_context.h"

namespace glintvane {
namespace {

// English and at most this many language files: a folder full of stray
// files must not make a menu taller than the screen.
constexpr int kMaxLanguageFiles = 99;
constexpr int kKeyStart = 9;  // the key in an item's name, after "LangItem_"

// Where a Language item loads its texts from: {folder, file name}, or
// {"", "en"} for the built-in English.
QStringList ItemSource(const QAction* item) {
  return item->data().toStringList();
}

}  // namespace

WindowTexts::WindowTexts(WindowContext& context, QStringList folders, QWidget* window)
    : QObject(window), context_(context), folders_(std::move(folders)), window_(window) {}

void WindowTexts::BuildLanguageMenu(QMenuBar* bar, QAction* before) {
  const QStringList folders = folders_.isEmpty() ? platform::Desktop::LanguageFolders() : folders_;
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
    context_.texts().ResetToDefaults();
    return;
  }
  std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
    return a.fileName().compare(b.fileName(), Qt::CaseInsensitive) < 0;
  });

  LangItem = new QMenu(context_.UiText(kTextLanguage), window_);
  LangItem->setObjectName(QStringLiteral("LangItem"));
  group_ = new QActionGroup(LangItem);
  group_->setExclusive(true);
  auto add_item = [this](const QString& caption, const QString& key, const QStringList& source) {
    auto* item = new QAction(caption, LangItem);
    item->setObjectName(QStringLiteral("LangItem_") + key);
    item->setCheckable(true);
    item->setData(source);
    group_->addAction(item);
    LangItem->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { LangClick(item); });
    return item;
  };

  // Each language is named in itself, so that a person finds their own
  // whatever language the window speaks now.
  QAction* chosen = add_item(QString::fromStdString(NativeLanguageNameOf("ENU")),
                             QStringLiteral("ENU"), {QString(), QStringLiteral("en")});
  int listed = 0;
  for (const QFileInfo& file : files) {
    if (listed == kMaxLanguageFiles) break;
    const QString name = file.fileName();
    const QString key = name.left(name.lastIndexOf(QLatin1Char('.')));
    QString caption = QString::fromStdString(NativeLanguageNameOf(key.toStdString()));
    // Files named after no known language are not offered.
    if (caption.isEmpty()) continue;
    if (key.toUpper() == QLatin1String("ENU")) caption += QStringLiteral(" - 2");
    QAction* item = add_item(caption, key, {file.absolutePath(), name});
    ++listed;
    if (key.toUpper() == current_language_.toUpper()) chosen = item;
  }
  // Two files of one language (German of Germany and of Switzerland) are
  // told apart by their country, also named in itself.
  const QList<QAction*> items = LangItem->actions();
  for (QAction* item : items) {
    const auto same = std::count_if(items.begin(), items.end(), [item](const QAction* other) {
      return other->text() == item->text();
    });
    if (same < 2) continue;
    const QString key = item->objectName().mid(kKeyStart);
    const QLocale locale(QString::fromStdString(LanguageTagOf(key.toStdString())));
    item->setProperty("territory", locale.nativeTerritoryName());
  }
  for (QAction* item : items) {
    const QString territory = item->property("territory").toString();
    if (!territory.isEmpty()) item->setText(item->text() + QStringLiteral(" (") + territory + ')');
  }

  // After File and Actions, before Help.
  bar->insertMenu(before, LangItem);
  LangClick(chosen);
}

void WindowTexts::LangClick(QAction* item) {
  if (item == nullptr) return;
  const QStringList source = ItemSource(item);
  const QString folder = source.value(0);
  const QString file = source.value(1);
  LoadLanguage(context_.texts(), file.toStdString(), folder.toStdString());
  item->setChecked(true);
  LoadQtTranslations(item->objectName().mid(kKeyStart));
  emit context_.TextsChanged();
  // The stored key is the file name without its extension: "en" or "DEU".
  const int dot = file.lastIndexOf(QLatin1Char('.'));
  context_.RegistryString(dot < 0 ? file : file.left(dot), QStringLiteral("Language"),
                          QStringLiteral("write"));
}

void WindowTexts::LoadQtTranslations(const QString& key) {
  // Qt's own dialogs (the file choosers) speak the language too where the
  // system has Qt's translations.
  if (qt_translator_ != nullptr) {
    QCoreApplication::removeTranslator(qt_translator_);
    delete qt_translator_;
    qt_translator_ = nullptr;
  }
  const QString tag = QString::fromStdString(LanguageTagOf(key.toStdString()));
  if (tag.isEmpty() || tag.startsWith(QLatin1String("en"))) return;
  auto* translator = new QTranslator(this);
  if (translator->load(QLocale(tag), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
    qt_translator_ = translator;
  } else {
    delete translator;
  }
}

QString WindowTexts::CheckedLanguage() const {
  if (group_ == nullptr || group_->checkedAction() == nullptr) return QStringLiteral("ENU");
  return group_->checkedAction()->objectName().mid(kKeyStart);
}

}  // namespace glintvane
