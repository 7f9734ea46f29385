#include "export/shell_open.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/export/export_fixture.h"

namespace glintvane {
namespace {

constexpr ShellOpenHandler kDefault = ShellOpenHandler::kDefault;
constexpr ShellOpenHandler kChooser = ShellOpenHandler::kChooser;

TEST(ShellOpenFile, RunnableTypesGoToTheChooser) {
  const ShellFileFacts plain;
  for (const char* path : {"/o/x.js", "/o/x.Js", "/o/X.JS", "/o/run.sh", "/o/app.desktop",
                           "/o/setup.EXE", "/o/a.b.py", "C:\\dir\\evil.vbs", "/o/t.AppImage"}) {
    EXPECT_EQ(ShellOpenFile(path, plain), kChooser) << path;
  }
  for (const char* path : {"/o/photo_thmb.jpg", "/o/a_thmb.png", "/o/index.html", "/o/README",
                           "/o/x.js.jpg", "/o/dir.sh/photo.jpg", "C:\\dir.js\\photo.jpg"}) {
    EXPECT_EQ(ShellOpenFile(path, plain), kDefault) << path;
  }
  EXPECT_EQ(ShellOpenFile("/o/photo.jpg", ShellFileFacts{true, false}), kChooser);
  EXPECT_EQ(ShellOpenFile("/o/photo.jpg", ShellFileFacts{false, true}), kChooser);
}

TEST(ShellOpenFile, LooksAtTheFileItself) {
  testing::ScratchFolder scratch;
  const std::string picture = scratch.path() + "photo.jpg";
  const std::string script = scratch.path() + "notes";
  testing::WriteBytes(picture, {0xFF, 0xD8, 0xFF});
  testing::WriteBytes(script, {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h'});

  EXPECT_EQ(ShellOpenFile(picture, ReadShellFileFacts(picture)), kDefault);
  EXPECT_EQ(ShellOpenFile(script, ReadShellFileFacts(script)), kChooser);
  chmod(picture.c_str(), 0755);
  EXPECT_TRUE(ReadShellFileFacts(picture).executable);
  EXPECT_EQ(ShellOpenFile(picture, ReadShellFileFacts(picture)), kChooser);
  EXPECT_FALSE(ReadShellFileFacts(scratch.path() + "missing").executable);
}

}  // namespace
}  // namespace glintvane
