#include "discover/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>

#include "discover/recycle_bin.h"

namespace glintvane {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// One converter per code page and thread: iconv_t keeps shift state, and
// opening one costs more than decoding a path.
struct Converter {
  iconv_t handle = reinterpret_cast<iconv_t>(-1);
  ~Converter() {
    if (handle != reinterpret_cast<iconv_t>(-1)) iconv_close(handle);
  }
};

iconv_t ConverterFor(int code_page) {
  thread_local std::map<int, std::unique_ptr<Converter>> converters;
  auto& slot = converters[code_page];
  if (!slot) {
    slot = std::make_unique<Converter>();
    const std::string name = "CP" + std::to_string(code_page);
    slot->handle = iconv_open("UTF-8", name.c_str());
  }
  return slot->handle;
}

}  // namespace

const std::vector<int>& SupportedCodePages() {
  static const std::vector<int> pages = {874,  932,  936,  949,  950,  1250, 1251,
                                         1252, 1253, 1254, 1255, 1256, 1257, 1258};
  return pages;
}

bool IsSupportedCodePage(int code_page) {
  const auto& pages = SupportedCodePages();
  return std::find(pages.begin(), pages.end(), code_page) != pages.end();
}

std::string CodePageToUtf8(std::string_view bytes, int code_page, bool* ok) {
  // Windows-1252 has its own table: the one used most, and exact about the
  // five bytes it leaves unassigned.
  if (code_page == kDefaultCodePage || !IsSupportedCodePage(code_page)) {
    return Windows1252ToUtf8(bytes, ok);
  }
  const iconv_t cd = ConverterFor(code_page);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Windows1252ToUtf8(bytes, ok);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
  std::string out;
  bool clean = true;
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char buffer[256];
  while (in_left > 0) {
    char* to = buffer;
    size_t to_left = sizeof buffer;
    const size_t r = iconv(cd, &in, &in_left, &to, &to_left);
    out.append(buffer, static_cast<size_t>(to - buffer));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // A byte without a character (EILSEQ), or a lead byte at the end
    // (EINVAL): one replacement character, and on after the byte.
    out += kReplacementUtf8;
    clean = false;
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Pages with combining marks (1255, 1258) hold the last letter back until
  // they know nothing combines with it.
  char* to = buffer;
  size_t to_left = sizeof buffer;
  iconv(cd, nullptr, nullptr, &to, &to_left);
  out.append(buffer, static_cast<size_t>(to - buffer));
  if (ok != nullptr) *ok = clean;
  return out;
}

}  // namespace glintvane
