#include "base/windows_path.h"

#include <algorithm>
#include <cctype>

namespace glintvane {
namespace {

// The folders between a profile and its thumbcache files, and between a
// volume and its search index.
constexpr std::string_view kExplorerFolders = "/AppData/Local/Microsoft/Windows/Explorer/";
constexpr std::string_view kSearchIndexFolder =
    "ProgramData/Microsoft/Search/Data/Applications/Windows/";

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

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

std::string SearchIndexFolderFor(std::string_view cache_path) {
  const std::string_view folder = LocalFolderPart(cache_path);
  if (folder.size() < kExplorerFolders.size() ||
      !SameLetters(folder.substr(folder.size() - kExplorerFolders.size()), kExplorerFolders)) {
    return {};
  }
  // <volume>/Users/<user>: the user's folder is one name, below "Users".
  const std::string_view profile = folder.substr(0, folder.size() - kExplorerFolders.size());
  const size_t user = profile.rfind('/');
  if (user == std::string_view::npos || user + 1 == profile.size()) return {};
  const std::string_view users = profile.substr(0, user);
  // A relative path may start with "Users" itself.
  const size_t users_at = users.rfind('/');
  const size_t name_at = users_at == std::string_view::npos ? 0 : users_at + 1;
  if (!SameLetters(users.substr(name_at), "Users")) return {};
  return std::string(users.substr(0, name_at)) + std::string(kSearchIndexFolder);
}

bool IsSearchIndexName(std::string_view name) {
  return SameLetters(name, "Windows.edb") || SameLetters(name, "Windows.db");
}

}  // namespace glintvane
