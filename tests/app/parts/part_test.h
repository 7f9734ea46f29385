// The Qt Test classes of the window's parts share one program: each class
// registers itself under its name, and ctest runs each by that name
// (window_parts_test CacheListTest), so every part has a test of its own
// without a link step of its own.
#pragma once

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "start_options.h"

namespace glintvane {

using PartTestFactory = std::function<std::unique_ptr<QObject>()>;

std::map<std::string, PartTestFactory>& PartTests();

template <typename T>
struct RegisterPartTest {
  explicit RegisterPartTest(const char* name) {
    PartTests()[name] = [] { return std::make_unique<T>(); };
  }
};

// Settings go below the test's own config folder, and start empty.
void ClearTestSettings();

// A window in English with the source tree's language files, asking
// `dialogs` its questions.
StartOptions EnglishStart(platform::Dialogs* dialogs);

}  // namespace glintvane

#define GLINTVANE_PART_TEST(Class) \
  static const ::glintvane::RegisterPartTest<Class> register_##Class(#Class)
