// What the window keeps between runs beside the language: its size and
// place, the splitters, the lists' columns, the view mode, the page in
// front of the image pane. A value that cannot be read leaves the first-run
// layout.
#pragma once

class QMainWindow;
class QSplitter;

namespace glintvane {

struct WindowParts;

struct WindowLayout {
  QMainWindow* window = nullptr;
  QSplitter* splitter1 = nullptr;  // the thumbnail list beside the image pane
  QSplitter* splitter2 = nullptr;  // the found caches above them
  const WindowParts* parts = nullptr;
};

void SaveRememberedState(const WindowLayout& layout);
void RestoreRememberedState(const WindowLayout& layout);

}  // namespace glintvane
