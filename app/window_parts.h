// The parts of the main window, for the flows that work across several of
// them: the main window makes every part and hands this round. A flow keeps
// the reference and uses the parts it needs; none of them owns another.
#pragma once

class QWidget;

namespace glintvane {

class CacheList;
class CarvingFlow;
class CaseFlow;
class EvidenceFlow;
class ExtractionFlow;
class FileInfoPane;
class ImagePane;
class LocatorPanel;
class OpenFlow;
class RowTags;
class StatusLine;
class WindowContext;
class WorkController;
struct WindowCommands;

struct WindowParts {
  QWidget* window = nullptr;  // the owner of the questions and choosers
  WindowContext* context = nullptr;
  WindowCommands* commands = nullptr;
  StatusLine* status = nullptr;
  WorkController* work = nullptr;
  CacheList* list = nullptr;
  FileInfoPane* info = nullptr;
  ImagePane* pane = nullptr;
  LocatorPanel* locator = nullptr;
  OpenFlow* open = nullptr;
  CarvingFlow* carving = nullptr;
  EvidenceFlow* evidence = nullptr;
  CaseFlow* case_flow = nullptr;
  RowTags* tags = nullptr;
};

}  // namespace glintvane
