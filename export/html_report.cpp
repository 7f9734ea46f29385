#include "export/html_report.h"

#include <sys/stat.h>

#include <cstdio>

#include "base/windows_path.h"

namespace glintvane {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, format, value);
  out += buffer;
}

}  // namespace

std::string UrlEncodePath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c) || c == '/') {
      out += ch;
    } else {
      AppendEscape(out, "%%%02X", c);
    }
  }
  return out;
}

std::string JsStringEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // U+2028 and U+2029 (E2 80 A8/A9) end a string literal in older engines.
    if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
         static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      AppendEscape(out, "\\u%04X",
                   static_cast<unsigned char>(text[i + 2]) == 0xA8 ? 0x2028 : 0x2029);
      i += 2;
    } else if (c >= 0x80 || IsUnreserved(c) || c == ' ' || c == ',' || c == ':') {
      out += static_cast<char>(c);
    } else {
      AppendEscape(out, "\\x%02X", c);
    }
  }
  return out;
}

std::string BuildReportHeader(const UiTexts& texts, std::string_view open_file, int checked,
                              std::string_view destination, const ReportFacts* facts) {
  std::string h;
  h += "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"";
  h += "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">";
  // Names are UTF-8; the declaration comes first so that a browser knows
  // before it reads any of them.
  h += "<HTML><HEAD><meta charset=\"utf-8\">";
  if (facts != nullptr) {
    h += "<meta name=\"generator\" content=\"Glintvane " + HtmlEscape(facts->version) + "\">";
  }
  h += "<TITLE>";
  h += texts[kTextExtractionReport];
  h += "</TITLE>";
  h += "<STYLE type=text/css>";
  h += "tr {vertical-align: middle;}";
  h += "td {align: center;}";
  h += "td img {background-color: #fff;border: 2px solid #a9a9a9;margin: 2px 2px 2px 2px;padding: "
       "2px;}";
  h += ".img-yes img {";
  h += "background-color: #fff;border: 2px solid #6699FF;margin: 4px 6px 6px 6px;padding: 3px;}";
  h += "</STYLE>";
  h += "</HEAD><BODY>";
  h += "<CENTER><H2>";
  h += texts[kTextExtractionReport];
  h += "</H2></CENTER>";
  h += "<DIV ALIGN='CENTER'>";
  h += "<TABLE CELLSPACING=0 CELLPADDING=0 BORDER=0><TR><TD>&nbsp;</TD></TR>";
  h += "<TR><TD><P><B>";
  h += texts[kTextFile] + ": " + HtmlEscape(open_file);
  h += "<BR>&nbsp;</B></P></TD></TR>";
  if (facts != nullptr) {
    h += "<TR><TD><P>";
    if (facts->source_known) {
      h += texts[kTextSize] + ": " + std::to_string(facts->source_size) + " bytes<BR>";
      h += "SHA-256: " + HtmlEscape(facts->source_sha256) + "<BR>";
    }
    h += texts[kTextVersion] + ": Glintvane " + HtmlEscape(facts->version) + "<BR>";
    h += texts[kTextTime] + " (UTC): " + HtmlEscape(facts->run_time_utc);
    h += "<BR>&nbsp;</P></TD></TR>";
  }
  h += "</TABLE>";
  h += "<HR ALIGN='CENTER' WIDTH='80%'>";
  h += "<TABLE CELLSPACING=0 CELLPADDING=0 BORDER=0><TR><TD>&nbsp;</TD></TR>";
  h += "<TR><TD><P><B>";
  h += texts[kTextThumbnails] + ": " + std::to_string(checked) + ". " + texts[kTextExtractedTo] +
       " " + HtmlEscape(destination);
  h += "</B></P></TD></TR>";
  h += "<TR><TD>&nbsp;</TD></TR></TABLE>";
  h += "<HR ALIGN='CENTER' WIDTH='80%'>";
  h += "<TABLE CELLSPACING=0 CELLPADDING=2 BORDER=0>";
  return h;
}

namespace {

bool FileExists(std::string_view path) {
  struct stat st {};
  return stat(std::string(path).c_str(), &st) == 0;
}

}  // namespace

std::string BuildReportCell(int k, std::string_view output_path, std::string_view original_path,
                            std::string_view alt) {
  const bool linked = !original_path.empty() && FileExists(original_path);
  std::string c;
  if (k % kReportColumns == 1) c += "<TR>";
  c += "<TD>";
  if (linked) {
    const std::string_view target = LocalFolderPart(output_path) == LocalFolderPart(original_path)
                                        ? LocalFilePart(original_path)
                                        : original_path;
    c += "<div class=\"img-yes\"><a href=\"";
    c += UrlEncodePath(target);
    c += "\" target=\"_BLANK\" onmouseover=\"window.status='";
    c += HtmlEscape(JsStringEscape(alt));
    c += "'; return true;\" onmouseout=\"window.status=''; return true;\">";
  }
  c +=
      "<IMG SRC='" + UrlEncodePath(LocalFilePart(output_path)) + "' ALT='" + HtmlEscape(alt) + "'>";
  if (linked) c += "</a></div>";
  c += "</TD>";
  if (k % kReportColumns == 0) c += "</TR>";
  return c;
}

std::string BuildReportFiller(int k) {
  const int used = k % kReportColumns;
  if (used == 0) return {};
  std::string f;
  for (int i = used; i < kReportColumns; ++i) f += "<TD>&nbsp;</TD>";
  f += "</TR>";
  return f;
}

std::string BuildReportFooter() {
  return "</TABLE><HR ALIGN='CENTER' WIDTH='80%'></DIV></BODY></HTML>";
}

std::string JoinReportLines(const std::vector<std::string>& lines) {
  std::string page;
  for (const std::string& line : lines) {
    page += line;
    page += "\r\n";
  }
  return page;
}

}  // namespace glintvane
