#include "texts/error_list.h"

#include "base/error_codes.h"

namespace glintvane {
namespace {

// The codes that have a text of their own. A fixed text is the whole detail
// (structural findings); any other frames the caller's detail (disk images).
struct CodeText {
  int code;
  int text;
  bool fixed;
};
constexpr CodeText kCodeTexts[] = {
    {kErrSignature, kTextHeaderSignatureError, true},
    {kErrMissingEnd, kTextMissingEndOfFile, true},
    {kErrHeader, kTextUnrecognizedHeader, true},
    {kErrStreamLength, kTextFileLengthError, true},
    {kErrPayloadKind, kTextHeaderError, true},
    {kErrRawLength, kTextLengthError, true},
    {kErrTooSmall, kTextDocumentTooSmall, true},
    {kErrLengthNotMultiple, kTextLengthNotMultiple512, true},
    {kErrImageOpen, kTextImageOpenError, false},
    {kErrImageIncomplete, kTextImageIncomplete, false},
    {kErrNoPartition, kTextNoPartition, false},
    {kErrNoFileSystem, kTextNoFileSystem, false},
    {kErrImageEntry, kTextImageEntryError, false},
    {kErrUnreadableSectors, kTextSectorsReadAsZeros, false},
    {kErrImageRecycleIndex, kTextRecycleBinOpenError, false},
    {kErrShadowCopy, kTextShadowCopyError, false},
};

const CodeText* TextOf(int code) {
  for (const CodeText& entry : kCodeTexts) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

}  // namespace

void ErrorList::AddError(int code, std::string_view context, std::string_view detail) {
  Add({Severity::kError, code, std::string(context), std::string(detail)});
}

void ErrorList::AddWarning(std::string_view context, std::string_view detail) {
  Add({Severity::kWarning, 0, std::string(context), std::string(detail)});
}

void ErrorList::Add(ErrorEntry entry) {
  entries_.push_back(std::move(entry));
  if (changed_) changed_();
}

void ErrorList::Append(const ErrorList& other) {
  if (other.empty()) return;
  entries_.insert(entries_.end(), other.entries_.begin(), other.entries_.end());
  if (changed_) changed_();
}

std::vector<std::string> ErrorList::Lines(const UiTexts& texts) const {
  std::vector<std::string> lines;
  lines.reserve(4 * entries_.size());
  for (const ErrorEntry& entry : entries_) {
    for (std::string& line : EntryLines(entry, texts)) lines.push_back(std::move(line));
  }
  return lines;
}

std::string EntryDetailText(const ErrorEntry& entry, const UiTexts& texts) {
  const CodeText* own = TextOf(entry.code);
  if (own == nullptr) return entry.detail;
  std::string text = texts[own->text];
  if (own->fixed) return text;
  if (const size_t at = text.find("%1"); at != std::string::npos) {
    return text.replace(at, 2, entry.detail);
  }
  return entry.detail.empty() ? text : text + ": " + entry.detail;
}

std::vector<std::string> EntryLines(const ErrorEntry& entry, const UiTexts& texts) {
  if (entry.code == kMsgRowWritten) {
    return {texts[kTextOperationComplete] + ". " + texts[kTextFile] + ":" + entry.context};
  }
  if (entry.code == kErrRowNotWritten) {
    return {texts[kTextFatalError] + "!\n" + texts[kTextFile] + ":\n" + entry.context};
  }
  std::vector<std::string> lines;
  lines.push_back(texts[entry.severity == Severity::kError ? kTextFatalError : kTextWarning] + "!");
  lines.push_back(entry.context);
  if (const std::string detail = EntryDetailText(entry, texts); !detail.empty()) {
    lines.push_back(texts[kTextDetails] + ": " + detail);
  }
  lines.emplace_back(kErrorSeparator);
  return lines;
}

std::string_view SeverityName(Severity severity) {
  static constexpr std::string_view kNames[] = {"error", "warning", "info"};
  return kNames[static_cast<size_t>(severity)];
}

}  // namespace glintvane
