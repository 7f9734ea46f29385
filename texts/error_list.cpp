#include "texts/error_list.h"

namespace glintvane {
namespace {

// The fixed detail text of a structural finding, or -1 for codes whose
// detail comes from the caller.
int FixedDetailText(int code) {
  switch (code) {
    case 501:
      return kTextHeaderSignatureError;
    case 502:
      return kTextMissingEndOfFile;
    case 503:
      return kTextUnrecognizedHeader;
    case 504:
      return kTextFileLengthError;
    case 505:
      return kTextHeaderError;
    case 506:
      return kTextLengthError;
    case 507:
      return kTextDocumentTooSmall;
    default:
      return -1;
  }
}

}  // namespace

void ErrorList::AddError(int code, std::string_view context, std::string_view detail,
                         const UiTexts& texts) {
  lines_.push_back(texts[kTextFatalError] + "!");
  lines_.emplace_back(context);
  const int fixed = FixedDetailText(code);
  if (fixed >= 0) {
    lines_.push_back(texts[kTextDetails] + ": " + texts[fixed]);
  } else if (!detail.empty()) {
    lines_.push_back(texts[kTextDetails] + ": " + std::string(detail));
  }
  lines_.emplace_back(kErrorSeparator);
  if (changed_) changed_();
}

void ErrorList::AddWarning(std::string_view context, std::string_view detail,
                           const UiTexts& texts) {
  lines_.push_back(texts[kTextWarning] + "!");
  lines_.emplace_back(context);
  if (!detail.empty()) lines_.push_back(texts[kTextDetails] + ": " + std::string(detail));
  lines_.emplace_back(kErrorSeparator);
  if (changed_) changed_();
}

}  // namespace glintvane
