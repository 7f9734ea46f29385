// Windows ANSI code pages, for the 8-bit texts of Windows files (recycle-bin
// index paths). A machine wrote them in its own code page, which the file
// does not record: Windows-1252 unless the examiner knows better.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace glintvane {

inline constexpr int kDefaultCodePage = 1252;

// The code pages that can be decoded: 874, 1250 to 1258 and the East Asian
// double-byte pages 932, 936, 949 and 950.
const std::vector<int>& SupportedCodePages();
bool IsSupportedCodePage(int code_page);

// Decodes `bytes` from the code page to UTF-8. Always succeeds: a byte or
// sequence without a character comes out as U+FFFD and turns `ok` (when
// given) false. An unsupported code page decodes as Windows-1252.
std::string CodePageToUtf8(std::string_view bytes, int code_page, bool* ok = nullptr);

}  // namespace glintvane
