#include "base/windows_path.h"

namespace glintvane {

std::string_view WindowsFilePart(std::string_view path) {
  const size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string_view WindowsFolderPart(std::string_view path) {
  const size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? std::string_view{} : path.substr(0, at + 1);
}

std::string_view WindowsExtension(std::string_view file_part) {
  const size_t at = file_part.rfind('.');
  return at == std::string_view::npos ? std::string_view{} : file_part.substr(at);
}

std::string_view LocalFilePart(std::string_view path) {
  const size_t at = path.rfind('/');
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string_view LocalFolderPart(std::string_view path) {
  const size_t at = path.rfind('/');
  return at == std::string_view::npos ? std::string_view{} : path.substr(0, at + 1);
}

}  // namespace glintvane
