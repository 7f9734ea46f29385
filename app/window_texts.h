// The window's languages: the Language menu built from the language files
// found, the choice at start (the stored one, else the user's own), loading
// a language into the text table and keeping the choice.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QTranslator;
class QWidget;

namespace glintvane {

class WindowContext;

class WindowTexts : public QObject {
  Q_OBJECT

 public:
  // `folders`: where language files are looked for (empty: the desktop's).
  WindowTexts(WindowContext& context, QStringList folders, QWidget* window);

  // The Language submenu (LangItem); null until built, or when no language
  // file was found.
  QMenu* LangItem = nullptr;

  // The language key in force at start: the stored "Language" value, or the
  // user's locale as a Windows abbreviation.
  const QString& current_language() const { return current_language_; }
  void SetCurrentLanguage(const QString& key) { current_language_ = key; }

  // BuildLanguageMenu: one item for English and one per usable language
  // file, put into `bar` before `before`; the current language is chosen.
  void BuildLanguageMenu(QMenuBar* bar, QAction* before);
  // LangClick: loads the item's texts, stores the choice, and tells the
  // window (TextsChanged).
  void LangClick(QAction* item);
  // The key of the checked item ("ENU" for the built-in English).
  QString CheckedLanguage() const;

 private:
  void LoadQtTranslations(const QString& key);

  WindowContext& context_;
  QStringList folders_;
  QWidget* window_;
  QString current_language_;
  QActionGroup* group_ = nullptr;
  QTranslator* qt_translator_ = nullptr;
};

}  // namespace glintvane
