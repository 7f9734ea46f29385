// The folder that copies of thumbnails go to for viewing. A shared /tmp lets
// any local user plant a file or a link under the name we are about to
// write; a folder of our own, mode 0700, does not.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "base/byte_source.h"
#include "cache/thumbnail_list.h"
#include "export/copy_range.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {

// "glintvane-<uid>" under $XDG_RUNTIME_DIR when that is a private folder of
// ours, else under $TMPDIR or /tmp. The folder is used only when it is a real
// directory (not a link), owned by us, with no access for group or others;
// otherwise a fresh one (mkdtemp) is made beside it. Ends with "/".
tl::expected<std::string, IoError> PrivateTempFolder();

// The same under a given parent folder.
tl::expected<std::string, IoError> PrivateTempFolderUnder(const std::string& parent);

struct ViewingCopy {
  bool ok = false;
  std::string path;
};

// Writes a row's image into `folder` (from PrivateTempFolder) under the name
// extraction would give it, replacing a copy left by an earlier view and
// never following a link of that name. A failure is recorded in `errors`.
ViewingCopy WriteViewingCopy(const ThumbnailList& list, const ImageStore& store,
                             const ThumbnailRow& row, const std::string& folder, ErrorList& errors);

}  // namespace glintvane
