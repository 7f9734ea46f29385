// What the main window takes from its surroundings. The defaults are the
// real desktop; tests and tools point them elsewhere.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace glintvane {

namespace platform {
class Dialogs;
}

struct StartOptions {
  QStringList language_folders;          // empty: platform::Desktop::LanguageFolders()
  QString system_language;               // empty: the user's locale as a Windows abbreviation
  platform::Dialogs* dialogs = nullptr;  // null: the platform's standard dialogs
  // null: the browser. Receives the web addresses Online Support and the
  // About box open.
  std::function<void(const QString&)> open_address;
};

}  // namespace glintvane
