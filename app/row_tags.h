// Tags and notes on rows: the Tag menu (the tags offered, a new tag of the
// person's own, removing them), the note of the highlighted row, and the
// bar above the list that shows only the rows of one tag. Tagging acts on
// the checked rows, or on the highlighted row when none is checked; every
// change goes to the case at once (CaseFlow::SaveMarks).
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "case/case_file.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QWidget;

namespace glintvane {

struct WindowParts;

class RowTags : public QObject {
  Q_OBJECT

 public:
  // The filter's value for rows without a tag.
  static constexpr char kUntagged[] = "\x01untagged";

  explicit RowTags(const WindowParts& parts);

  QMenu* TagMenu = nullptr;
  QAction* ActionNewTag = nullptr;
  QAction* ActionRemoveTags = nullptr;
  QAction* ActionEditNote = nullptr;
  QWidget* FilterBar = nullptr;
  QLabel* FilterLabel = nullptr;
  QComboBox* TagFilter = nullptr;

  // The keys of the rows tagging acts on: the checked rows, else the
  // highlighted one.
  std::vector<std::string> Targets() const;
  // Puts `tag` on the target rows, or takes it off when they all have it.
  void ToggleTag(const std::string& tag);
  // Asks for a tag of the person's own and puts it on the target rows.
  void NewTag();
  void RemoveTags();
  // Asks for the highlighted row's note.
  void EditNote();
  // Shows only the rows of `tag` ("" every row, kUntagged those without).
  void SetFilter(const std::string& tag);
  std::string filter() const { return filter_; }

  void ApplyTexts();
  void UpdateCommands(bool has_rows, bool selected);

 private:
  void RebuildMenu();
  void RebuildFilter();
  void Change(const std::vector<std::string>& keys, const std::function<void(RowMarks&)>& change);

  const WindowParts& parts_;
  std::string filter_;
  std::vector<QAction*> built_in_actions_;
  std::vector<QAction*> tag_actions_;
};

}  // namespace glintvane
