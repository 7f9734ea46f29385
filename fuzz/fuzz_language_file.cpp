// Language files sit beside the program, where anyone may edit or replace
// them: any bytes must read into the text table without harm.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "texts/ui_texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  glintvane::UiTexts texts;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const int replaced = texts.ReadLanguageLines(in);
  if (replaced < 0 || replaced > glintvane::kUiTextCount) __builtin_trap();
  return 0;
}
