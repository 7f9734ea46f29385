#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

#include "part_test.h"

namespace glintvane {

std::map<std::string, PartTestFactory>& PartTests() {
  static std::map<std::string, PartTestFactory> tests;
  return tests;
}

void ClearTestSettings() {
  QSettings settings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane"));
  settings.clear();
  settings.sync();
}

StartOptions EnglishStart(platform::Dialogs* dialogs) {
  StartOptions options;
  options.language_folders = {QStringLiteral(GLINTVANE_LANG_DIR)};
  options.system_language = QStringLiteral("ENU");
  options.dialogs = dialogs;
  return options;
}

}  // namespace glintvane

// window_parts_test <Class> [Qt Test arguments]; without a class, every one.
int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) QStandardPaths::setTestModeEnabled(true);
  const auto& tests = glintvane::PartTests();
  if (argc > 1 && argv[1][0] != '-') {
    const auto found = tests.find(argv[1]);
    if (found == tests.end()) {
      std::fprintf(stderr, "no test class %s\n", argv[1]);
      return 2;
    }
    argv[1] = argv[0];
    const std::unique_ptr<QObject> test = found->second();
    return QTest::qExec(test.get(), argc - 1, argv + 1);
  }
  int failed = 0;
  for (const auto& [name, make] : tests) {
    const std::unique_ptr<QObject> test = make();
    failed += QTest::qExec(test.get(), argc, argv);
  }
  return failed;
}
