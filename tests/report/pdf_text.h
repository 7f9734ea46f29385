// The text layer of a PDF as pdftotext (poppler-utils) reads it: what a
// reader of the report can search and copy.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace glintvane::testing {

inline bool HavePdfToText() {
  return std::system("command -v pdftotext >/dev/null 2>&1") == 0;
}

// The text of every page, each page ended by a form feed; pdftotext's own
// complaints are part of it.
inline std::string PdfText(const std::string& pdf) {
  std::string text;
  FILE* pipe = ::popen(("pdftotext -enc UTF-8 '" + pdf + "' - 2>&1").c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ::pclose(pipe);
  return text;
}

}  // namespace glintvane::testing
