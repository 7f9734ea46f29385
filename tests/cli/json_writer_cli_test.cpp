// The command line's one JSON writer, tested on its own: its strings must be
// byte for byte those of the nlohmann documents beside them, whatever a name
// holds, and what it streams must arrive whole across its pieces.
#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace glintvane::cli {
namespace {

std::string Nlohmann(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Written(const std::function<void(JsonWriter&)>& write, JsonWriter::Style style) {
  std::FILE* file = std::tmpfile();
  {
    JsonWriter out(style, file);
    write(out);
  }
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
  std::fclose(file);
  return text;
}

TEST(JsonWriter, StringsAreThoseOfNlohmann) {
  std::string every_control;
  for (int c = 0; c < 0x20; ++c) every_control += static_cast<char>(c);
  const std::vector<std::string> texts = {"",
                                          "plain",
                                          "quote \" and \\ backslash",
                                          every_control,
                                          "del \x7f",
                                          "caf\xc3\xa9 \xe2\x80\xae",
                                          "\xf0\x9f\x98\x80 emoji",
                                          "bad \xff byte",
                                          "cut \xe2\x82",
                                          "overlong \xc0\xaf",
                                          "surrogate \xed\xa0\x80",
                                          "past \xf4\x90\x80\x80",
                                          std::string("nul \0 inside", 13)};
  for (const std::string& text : texts) EXPECT_EQ(JsonString(text), Nlohmann(text)) << text;
}

TEST(JsonWriter, StreamsWholeAcrossPiecesAndTwinsNamesThatAreNotUtf8) {
  const std::string long_text(kJsonChunk + 7, 'a');
  const std::string written = Written(
      [&](JsonWriter& out) {
        out.Raw("{").TextField("path", "a\xff", ",").Raw(",").Key("n").Number(int64_t{-5});
        for (int i = 0; i < 3; ++i) out.Raw(",").Key("t").String(long_text);
        out.Raw(",").Key("u").Number(uint64_t{18446744073709551615u}).Raw("}");
      },
      JsonWriter::Style::kCompact);
  const auto parsed = nlohmann::json::parse(written);
  EXPECT_EQ(parsed["path_hex"], "61ff");
  EXPECT_EQ(parsed["path"], "a\xef\xbf\xbd");
  EXPECT_EQ(parsed["n"], -5);
  EXPECT_EQ(parsed["u"].get<uint64_t>(), 18446744073709551615u);
  EXPECT_EQ(parsed["t"], long_text);

  EXPECT_EQ(Written([](JsonWriter& out) { out.Key("k").Bool(true); }, JsonWriter::Style::kSpaced),
            "\"k\": true");
  // A head dropped before anything was written leaves no trace.
  EXPECT_EQ(Written([](JsonWriter& out) { out.Raw("{\"rows\": [").Discard(); },
                    JsonWriter::Style::kSpaced),
            "");
}

}  // namespace
}  // namespace glintvane::cli
