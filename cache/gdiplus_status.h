// The status texts of the image layer. The original program decoded with
// GDI+ and reported its status numbers with these fixed English texts; the
// numbers are kept so that messages read as they always did.
#pragma once

#include <string_view>

namespace glintvane {

inline constexpr int kGdiplusOk = 0;
inline constexpr int kGdiplusGenericError = 1;
inline constexpr int kGdiplusOutOfMemory = 3;
inline constexpr int kGdiplusUnknownImageFormat = 13;

// The text of status 1 to 20; "" for 0 and every other number.
std::string_view GdiplusStatusText(int status);

}  // namespace glintvane
