#include "export/html_report.h"

#include <gtest/gtest.h>

#include "tests/export/export_fixture.h"

namespace glintvane {
namespace {

using testing::ScratchFolder;

TEST(ReportEscaping, NothingInsertedCanEndItsContext) {
  EXPECT_EQ(HtmlEscape("<a href=\"x\">'&'</a>"),
            "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(UrlEncodePath("/a b/c'd\"<#?%.jpg"), "/a%20b/c%27d%22%3C%23%3F%25.jpg");
  EXPECT_EQ(UrlEncodePath("javascript:alert(1)"), "javascript%3Aalert%281%29");
  EXPECT_EQ(UrlEncodePath("\xC3\xA9t\xC3\xA9.jpg"), "%C3%A9t%C3%A9.jpg");
  // The attribute is unescaped before the script runs, so an HTML entity
  // would not protect the string: quotes must be script escapes.
  EXPECT_EQ(JsStringEscape("x'; alert(1); '\\\"<>&"),
            "x\\x27\\x3B alert\\x281\\x29\\x3B \\x27\\x5C\\x22\\x3C\\x3E\\x26");
  EXPECT_EQ(JsStringEscape("a\nb\xE2\x80\xA8"
                           "c\xC3\xA9"),
            "a\\x0Ab\\u2028c\xC3\xA9");
}

TEST(ReportCell, LinksAnExistingOriginalAndEscapesEverything) {
  ScratchFolder scratch;
  const std::string folder = scratch.Sub("src");
  testing::WriteBytes(folder + "a'b.jpg", {1});
  const std::string alt = "a'b.jpg. Modified: 2004-08-17 12:21:45";

  // Original in the report's own folder: linked by bare name.
  EXPECT_EQ(BuildReportCell(1, folder + "a'b_thmb.jpg", folder + "a'b.jpg", alt),
            "<TR><TD><div class=\"img-yes\"><a href=\"a%27b.jpg\" target=\"_BLANK\" "
            "onmouseover=\"window.status='a\\x27b.jpg. Modified: 2004-08-17 12:21:45'; return "
            "true;\" onmouseout=\"window.status=''; return true;\"><IMG SRC='a%27b_thmb.jpg' "
            "ALT='a&#39;b.jpg. Modified: 2004-08-17 12:21:45'></a></div></TD>");
  // Elsewhere: linked by full path.
  const std::string cell = BuildReportCell(5, "/out/a'b_thmb.jpg", folder + "a'b.jpg", alt);
  EXPECT_NE(cell.find("<a href=\"" + UrlEncodePath(folder) + "a%27b.jpg\""), std::string::npos);
  EXPECT_EQ(cell.substr(0, 4), "<TD>");
  EXPECT_EQ(cell.substr(cell.size() - 10), "</TD></TR>");
  // No file there, or nothing to look for: a plain image.
  EXPECT_EQ(BuildReportCell(2, "/out/<script>_thmb.jpg", folder + "gone.jpg", "<script>. M: "),
            "<TD><IMG SRC='%3Cscript%3E_thmb.jpg' ALT='&lt;script&gt;. M: '></TD>");
  EXPECT_EQ(BuildReportCell(3, "/out/7_thmb.jpg", "", "---. M: ---"),
            "<TD><IMG SRC='7_thmb.jpg' ALT='---. M: ---'></TD>");
}

TEST(ReportPieces, HeadFillerAndTail) {
  UiTexts texts;
  const std::string head = BuildReportHeader(texts, "/cases/<b>/Thumbs.db", 7, "/out/");
  EXPECT_TRUE(head.starts_with(
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"\"http://www.w3.org/TR/"
      "xhtml1/DTD/xhtml1-strict.dtd\"><HTML><HEAD><meta charset=\"utf-8\"><TITLE>Thumbnails "
      "extraction report</TITLE>"))
      << head;
  EXPECT_NE(head.find("<TR><TD><P><B>File: /cases/&lt;b&gt;/Thumbs.db<BR>&nbsp;</B></P></TD></TR>"
                      "</TABLE>"),
            std::string::npos);
  EXPECT_NE(head.find("<TR><TD><P><B>Thumbnails: 7. Extracted to /out/</B></P></TD></TR>"),
            std::string::npos);
  EXPECT_TRUE(
      head.ends_with("<HR ALIGN='CENTER' WIDTH='80%'><TABLE CELLSPACING=0 CELLPADDING=2 "
                     "BORDER=0>"));

  ReportFacts facts;
  facts.source_known = true;
  facts.source_size = 12345;
  facts.source_sha256 = "ab12";
  facts.version = "9.8.7";
  facts.run_time_utc = "2026-01-02T03:04:05Z";
  const std::string full = BuildReportHeader(texts, "/c/Thumbs.db", 1, "/o/", &facts);
  EXPECT_NE(full.find("Size: 12345 bytes<BR>SHA-256: ab12<BR>Version: Glintvane 9.8.7<BR>"
                      "Time (UTC): 2026-01-02T03:04:05Z"),
            std::string::npos);
  EXPECT_NE(full.find("<meta name=\"generator\" content=\"Glintvane 9.8.7\">"), std::string::npos);

  EXPECT_EQ(BuildReportFiller(7), "<TD>&nbsp;</TD><TD>&nbsp;</TD><TD>&nbsp;</TD></TR>");
  EXPECT_EQ(BuildReportFiller(4), "<TD>&nbsp;</TD></TR>");
  EXPECT_EQ(BuildReportFiller(0), "");
  EXPECT_EQ(BuildReportFiller(10), "");
  EXPECT_EQ(BuildReportFooter(), "</TABLE><HR ALIGN='CENTER' WIDTH='80%'></DIV></BODY></HTML>");
  EXPECT_EQ(JoinReportLines({"a", "b"}), "a\r\nb\r\n");
}

}  // namespace
}  // namespace glintvane
