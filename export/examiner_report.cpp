#include "export/examiner_report.h"

#include <algorithm>

#include "export/html_report.h"

namespace glintvane {
namespace {

std::string Escaped(std::string_view text) {
  return HtmlEscape(text);
}

// "2004-08-15T23:33:20Z" as "2004-08-15 23:33:20 UTC".
std::string UtcText(std::string_view iso) {
  std::string text(iso);
  if (text.size() == 20 && text[10] == 'T' && text.back() == 'Z') {
    text[10] = ' ';
    text.pop_back();
    text += " UTC";
  }
  return text;
}

std::string UtcText(const std::optional<int64_t>& seconds) {
  return seconds ? UtcText(UnixSecondsUtcIso(*seconds)) : std::string();
}

std::string Replace(std::string text, std::string_view marker, std::string_view value) {
  const size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, marker.size(), value);
  return text;
}

// Rows of label and value; a row whose value is empty is left out.
class Facts {
 public:
  explicit Facts(std::string& out) : out_(out) {
    out_ += "<table class=\"facts\" cellspacing=\"0\" cellpadding=\"2\">\n";
  }
  ~Facts() { out_ += "</table>\n"; }
  void Add(std::string_view label, std::string_view value, bool mono = false) {
    if (value.empty()) return;
    out_ += "<tr><td class=\"label\" valign=\"top\">" + Escaped(label) + "</td><td";
    out_ += mono ? " class=\"mono\">" : ">";
    out_ += Escaped(value) + "</td></tr>\n";
  }

 private:
  std::string& out_;
};

std::string JoinTagTexts(const std::vector<std::string>& tags, const UiTexts& texts) {
  std::string joined;
  for (const std::string& tag : tags) {
    if (!joined.empty()) joined += ", ";
    joined += TagText(tag, texts);
  }
  return joined;
}

std::string Origin(const ExaminerReport& report, const ReportEntry& entry, const UiTexts& texts) {
  const ReportEvidence& evidence = report.evidence;
  std::vector<std::string> parts;
  if (entry.offset) {
    parts.push_back(texts[kTextOffset] + " " + std::to_string(*entry.offset) +
                    (entry.offset_in.empty() ? std::string() : " (" + entry.offset_in + ")"));
  }
  if (evidence.partition > 0) {
    parts.push_back(texts[kTextPartition] + " " + std::to_string(evidence.partition));
  }
  if (evidence.deleted)
    parts.push_back(texts[kTextDeleted] + " (" + texts[kTextDeletedEntry] + ")");
  if (evidence.recycled) {
    parts.push_back(texts[kTextRecycled] +
                    (evidence.original.empty() ? std::string() : ": " + evidence.original));
  }
  if (entry.recovered) parts.push_back(texts[kTextRecovered]);
  if (entry.carved) parts.push_back(texts[kTextCarved]);
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : "; ") + part;
  return joined;
}

// The picture's size on the page: its own, or smaller to fit the edge.
void ShownSize(const ReportEntry& entry, int& width, int& height) {
  width = entry.width;
  height = entry.height;
  if (width <= 0 || height <= 0) {
    width = height = 0;
    return;
  }
  const int longest = std::max(width, height);
  if (longest <= kReportPictureEdge) return;
  width = std::max(1, static_cast<int>(int64_t{width} * kReportPictureEdge / longest));
  height = std::max(1, static_cast<int>(int64_t{height} * kReportPictureEdge / longest));
}

void AppendEntry(std::string& out, const ExaminerReport& report, const ReportEntry& entry,
                 const UiTexts& texts) {
  out += "<table class=\"entry\" width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">";
  out += "<tr><td class=\"picture\" width=\"" + std::to_string(kReportPictureEdge + 12) +
         "\" valign=\"top\" align=\"center\">";
  if (!entry.image_file.empty()) {
    int width = 0;
    int height = 0;
    ShownSize(entry, width, height);
    out +=
        "<img src=\"" + UrlEncodePath(entry.image_file) + "\" alt=\"" + Escaped(entry.name) + "\"";
    if (width > 0) {
      out += " width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\"";
    }
    out += ">";
  }
  out += "</td><td valign=\"top\">\n";
  out += "<p class=\"entry-title\"><b>" + std::to_string(entry.number) + ". " +
         Escaped(entry.name.empty() ? entry.key : entry.name) + "</b></p>\n";
  {
    Facts facts(out);
    facts.Add(texts[kTextNumber], entry.key);
    facts.Add(texts[kTextOriginalName], entry.name);
    facts.Add(texts[kTextOriginalPath], entry.original_path);
    facts.Add(texts[kTextModified], UtcText(entry.time_utc));
    facts.Add(texts[kTextSize], entry.length > 0 ? std::to_string(entry.length) : std::string());
    facts.Add(texts[kTextDimensions],
              entry.width > 0 && entry.height > 0
                  ? std::to_string(entry.width) + " x " + std::to_string(entry.height)
                  : std::string());
    facts.Add(texts[kTextKind], entry.kind);
    facts.Add(texts[kTextOrigin], Origin(report, entry, texts));
    facts.Add(texts[kTextFile], entry.image_file);
    facts.Add(texts[kTextTags], JoinTagTexts(entry.tags, texts));
    facts.Add(texts[kTextNote], entry.note);
  }
  // The digests across the whole width: a SHA-256 stays on one line, where
  // a reader can copy it and pdftotext finds it whole.
  out += "</td></tr><tr><td colspan=\"2\">\n";
  {
    Facts facts(out);
    facts.Add("MD5", entry.md5, true);
    facts.Add("SHA-256", entry.sha256, true);
  }
  out += "</td></tr></table>\n";
}

}  // namespace

std::optional<PaperSize> PaperSizeNamed(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "a4") return PaperSize::kA4;
  if (lower == "letter") return PaperSize::kLetter;
  return std::nullopt;
}

std::string_view PaperSizeName(PaperSize paper) {
  return paper == PaperSize::kLetter ? "Letter" : "A4";
}

std::string TagText(std::string_view tag, const UiTexts& texts) {
  if (tag == kTagRelevant) return texts[kTextRelevant];
  if (tag == kTagReview) return texts[kTextReview];
  if (tag == kTagIgnore) return texts[kTextIgnore];
  return std::string(tag);
}

std::string ReportPageHeading(const ExaminerReport& report, const UiTexts& texts) {
  std::string heading;
  const auto add = [&heading](const std::string& part) {
    if (part.empty()) return;
    if (!heading.empty()) heading += " \xC2\xB7 ";  // a middle dot
    heading += part;
  };
  if (!report.case_info.case_number.empty())
    add(Replace(texts[kTextCaseLabel], "%1", report.case_info.case_number));
  add(texts[kTextExaminerReport]);
  add(report.case_info.examiner);
  return heading;
}

std::string BuildExaminerReportHtml(const ExaminerReport& report, const UiTexts& texts) {
  std::string out;
  out.reserve(2048 + report.entries.size() * 2048);
  out += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" +
         Escaped(ReportPageHeading(report, texts)) +
         "</title>\n<style>\n"
         "body { font-family: sans-serif; font-size: 10pt; }\n"
         "h1 { font-size: 16pt; }\n"
         "h2 { font-size: 12pt; margin-top: 14px; }\n"
         "table.facts td { padding: 1px 6px 1px 0; }\n"
         "td.label { font-weight: bold; white-space: nowrap; }\n"
         ".mono { font-family: monospace; font-size: 9pt; }\n"
         "table.entry { margin-top: 8px; border-collapse: collapse; page-break-inside: avoid; }\n"
         "</style></head><body>\n";
  out += "<h1>" + Escaped(texts[kTextExaminerReport]) + "</h1>\n";
  {
    Facts facts(out);
    facts.Add(texts[kTextCaseNumber], report.case_info.case_number);
    facts.Add(texts[kTextExaminer], report.case_info.examiner);
  }
  const ReportEvidence& evidence = report.evidence;
  out += "<h2>" + Escaped(texts[kTextEvidence]) + "</h2>\n";
  {
    Facts facts(out);
    facts.Add(texts[kTextFile], evidence.path);
    facts.Add(texts[kTextSize], evidence.size ? std::to_string(*evidence.size) : std::string());
    facts.Add("SHA-256", evidence.sha256, true);
    facts.Add(texts[kTextModified], UtcText(evidence.times.modified));
    facts.Add(texts[kTextAccessed], UtcText(evidence.times.accessed));
    facts.Add(texts[kTextChanged], UtcText(evidence.times.changed));
    facts.Add(texts[kTextCreated], UtcText(evidence.times.created));
    facts.Add(texts[kTextPartition],
              evidence.partition > 0 ? std::to_string(evidence.partition) : std::string());
    facts.Add(texts[kTextDeleted], evidence.deleted ? texts[kTextDeletedEntry] : std::string());
    facts.Add(texts[kTextRecycled],
              evidence.recycled ? (evidence.original.empty() ? texts[kTextYes] : evidence.original)
                                : std::string());
  }
  out += "<h2>" + Escaped(texts[kTextProductName]) + "</h2>\n";
  {
    Facts facts(out);
    facts.Add(texts[kTextVersion], report.version);
    facts.Add(texts[kTextMadeBy], report.made_by, true);
    facts.Add(texts[kTextRunTime], UtcText(report.run_time_utc));
  }
  out += "<h2>" + Escaped(texts[kTextThumbnails]) + ": " + std::to_string(report.entries.size()) +
         "</h2>\n";
  {
    Facts facts(out);
    facts.Add(texts[kTextRows], report.selection);
  }
  for (const ReportEntry& entry : report.entries) AppendEntry(out, report, entry, texts);
  out += "</body></html>\n";
  return out;
}

}  // namespace glintvane
