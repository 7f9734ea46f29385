// The commands of the main window, by the names the program's description
// gives them. They are made here with their icons, keys and check states;
// the main window wires them to its handlers and puts them in its menus and
// tool bar, and the parts enable and check the ones they govern.
#pragma once

class QAction;
class QWidget;

namespace glintvane {

class WindowContext;

struct WindowCommands {
  QAction* ActionExit = nullptr;
  QAction* ActionOpen = nullptr;
  QAction* ActionOpenEvidence = nullptr;
  QAction* ActionSearchAll = nullptr;
  QAction* ActionBruteForce = nullptr;
  QAction* ActionShowThumb = nullptr;
  QAction* ActionExtract = nullptr;
  QAction* ActionExtractSelected = nullptr;
  QAction* ActionView = nullptr;
  QAction* ActionOpenWith = nullptr;
  QAction* ActionOrigView = nullptr;
  QAction* ActionBestFit = nullptr;
  QAction* ActionActualSize = nullptr;
  QAction* ActionLeftRotate = nullptr;
  QAction* ActionRightRotate = nullptr;
  QAction* ActionSelectAll = nullptr;    // tag 1
  QAction* ActionUnselectAll = nullptr;  // tag 2
  QAction* ActionInvert = nullptr;       // tag 3
  QAction* ActionDesktopIcon = nullptr;
  QAction* ActionQuickLaunchIcon = nullptr;
  QAction* ActionHelp = nullptr;
  QAction* ActionHelpOnline = nullptr;
  QAction* ActionHelpAbout = nullptr;
  QAction* ActionShowGallery = nullptr;  // brings the image view or the gallery forward
  QAction* ActionUtcTimes = nullptr;     // times shown in UTC instead of local time
  QAction* ActionSettings = nullptr;
  QAction* ActionNewCase = nullptr;
  QAction* ActionOpenCase = nullptr;
  QAction* ActionCloseCase = nullptr;
  QAction* ActionExaminerReport = nullptr;  // extraction with report.html and report.pdf
  QAction* ActionExportTimeline = nullptr;
  QAction* ActionChooseSearchIndex =
      nullptr;  // the Windows Search index that names thumbcache rows

  // Makes every command, owned by `window`, its keys active wherever the
  // focus is in it.
  void CreateCommands(QWidget* window);
  // Captions and hints in the context's language.
  void ApplyCommandTexts(const WindowContext& context);
  // While work runs, everything that would change a list or read one the
  // worker fills waits; Exit stays and stops the work first.
  void SetCommandsForWork(bool working);
};

}  // namespace glintvane
