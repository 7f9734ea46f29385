#include "cache/gdiplus_status.h"

#include <array>

namespace glintvane {

std::string_view GdiplusStatusText(int status) {
  static constexpr std::array<std::string_view, 21> kTexts = {
      "",
      "Generic Error",
      "Invalid Parameter",
      "Out Of Memory",
      "Object Busy",
      "Insufficient Buffer",
      "Not Implemented",
      "Win32 Error",
      "Wrong State",
      "Aborted",
      "File Not Found",
      "Value Overflow",
      "Access Denied",
      "Unknown Image Format",
      "Font Family Not Found",
      "Font Style Not Found",
      "Not True Type Font",
      "Unsupported Gdiplus Version",
      "Gdiplus Not Initialized",
      "Property Not Found",
      "Property Not Supported",
  };
  if (status < 0 || status >= static_cast<int>(kTexts.size())) return {};
  return kTexts[static_cast<size_t>(status)];
}

}  // namespace glintvane
