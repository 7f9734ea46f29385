#include "row_tags.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTreeView>
#include <QWidget>

#include <algorithm>

#include "cache_list.h"
#include "case_flow.h"
#include "platform/dialogs.h"
#include "thumbnail_model.h"
#include "window_context.h"
#include "window_parts.h"

namespace glintvane {

RowTags::RowTags(const WindowParts& parts) : QObject(parts.window), parts_(parts) {
  WindowContext& context = *parts_.context;
  TagMenu = new QMenu(parts_.window);
  ActionNewTag = new QAction(parts_.window);
  ActionRemoveTags = new QAction(parts_.window);
  ActionEditNote = new QAction(parts_.window);
  ActionEditNote->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+N")));
  parts_.window->addAction(ActionEditNote);
  connect(ActionNewTag, &QAction::triggered, this, &RowTags::NewTag);
  connect(ActionRemoveTags, &QAction::triggered, this, &RowTags::RemoveTags);
  connect(ActionEditNote, &QAction::triggered, this, &RowTags::EditNote);
  // The tags of the highlighted row are ticked when the menu opens.
  connect(TagMenu, &QMenu::aboutToShow, this, [this] {
    const ThumbnailRow* row = parts_.list->FocusedRecord();
    const RowMarks* marks = row != nullptr ? parts_.context->MarksOf(row->key) : nullptr;
    for (QAction* action : tag_actions_)
      action->setChecked(marks != nullptr && marks->Has(action->data().toString().toStdString()));
  });

  FilterBar = new QWidget;
  auto* layout = new QHBoxLayout(FilterBar);
  layout->setContentsMargins(2, 2, 2, 2);
  FilterLabel = new QLabel(FilterBar);
  TagFilter = new QComboBox(FilterBar);
  TagFilter->setObjectName(QStringLiteral("TagFilter"));
  TagFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  FilterLabel->setBuddy(TagFilter);
  layout->addWidget(FilterLabel);
  layout->addWidget(TagFilter);
  layout->addStretch(1);
  parts_.list->InsertBar(FilterBar);
  connect(TagFilter, &QComboBox::activated, this,
          [this](int index) { SetFilter(TagFilter->itemData(index).toString().toStdString()); });

  connect(&context, &WindowContext::TagNamesChanged, this, [this] {
    RebuildMenu();
    RebuildFilter();
  });
  RebuildMenu();
  RebuildFilter();
}

void RowTags::ApplyTexts() {
  const WindowContext& context = *parts_.context;
  TagMenu->setTitle(context.UiText(kTextTag));
  ActionNewTag->setText(context.UiText(kTextNewTag));
  ActionRemoveTags->setText(context.UiText(kTextRemoveTags));
  ActionEditNote->setText(context.UiText(kTextEditNote));
  FilterLabel->setText(context.UiText(kTextShow) + QLatin1Char(':'));
  RebuildMenu();
  RebuildFilter();
}

void RowTags::RebuildMenu() {
  WindowContext& context = *parts_.context;
  // The built-in tags keep their actions (and Ctrl+1, Ctrl+2, Ctrl+3); the
  // person's own are made again, owned by the menu.
  if (built_in_actions_.empty()) {
    int position = 0;
    for (const std::string_view name : BuiltInTags()) {
      auto* action = new QAction(this);
      action->setCheckable(true);
      action->setData(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
      action->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(++position)));
      parts_.window->addAction(action);
      connect(action, &QAction::triggered, this,
              [this, tag = std::string(name)] { ToggleTag(tag); });
      built_in_actions_.push_back(action);
    }
  }
  TagMenu->clear();
  tag_actions_ = built_in_actions_;
  for (QAction* action : built_in_actions_) {
    action->setText(context.TagText(action->data().toString().toStdString()));
    TagMenu->addAction(action);
  }
  for (const std::string& name : context.tag_names()) {
    if (std::find(BuiltInTags().begin(), BuiltInTags().end(), name) != BuiltInTags().end())
      continue;
    QAction* action = TagMenu->addAction(context.TagText(name));
    action->setCheckable(true);
    action->setData(QString::fromStdString(name));
    connect(action, &QAction::triggered, this, [this, name] { ToggleTag(name); });
    tag_actions_.push_back(action);
  }
  TagMenu->addSeparator();
  TagMenu->addAction(ActionNewTag);
  TagMenu->addAction(ActionRemoveTags);
  const bool has_rows = parts_.list->ListRowCount() > 0;
  for (QAction* action : tag_actions_) action->setEnabled(has_rows);
}

void RowTags::RebuildFilter() {
  const WindowContext& context = *parts_.context;
  TagFilter->clear();
  TagFilter->addItem(context.UiText(kTextAllRows), QString());
  TagFilter->addItem(context.UiText(kTextUntagged), QString::fromLatin1(kUntagged));
  for (const std::string& name : context.tag_names())
    TagFilter->addItem(context.TagText(name), QString::fromStdString(name));
  const int current = TagFilter->findData(QString::fromStdString(filter_));
  if (current < 0) {
    SetFilter({});
  } else {
    TagFilter->setCurrentIndex(current);
  }
}

void RowTags::UpdateCommands(bool has_rows, bool selected) {
  for (QAction* action : tag_actions_) action->setEnabled(has_rows);
  ActionNewTag->setEnabled(has_rows);
  ActionRemoveTags->setEnabled(has_rows);
  ActionEditNote->setEnabled(selected);
}

std::vector<std::string> RowTags::Targets() const {
  std::vector<std::string> keys;
  const ThumbnailList& list = parts_.context->thumbnails();
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].checked) keys.push_back(list[i].key);
  }
  if (keys.empty()) {
    if (const ThumbnailRow* row = parts_.list->FocusedRecord()) keys.push_back(row->key);
  }
  return keys;
}

void RowTags::Change(const std::vector<std::string>& keys,
                     const std::function<void(RowMarks&)>& change) {
  if (keys.empty()) return;
  WindowContext& context = *parts_.context;
  WindowContext::MarksMap marks = context.marks();
  for (const std::string& key : keys) {
    RowMarks& row = marks[key];
    change(row);
    if (row.empty()) marks.erase(key);
  }
  context.ReplaceMarks(std::move(marks));
  parts_.case_flow->SaveMarks(keys);
}

void RowTags::ToggleTag(const std::string& tag) {
  const std::vector<std::string> keys = Targets();
  const WindowContext& context = *parts_.context;
  const bool all_have = std::all_of(keys.begin(), keys.end(), [&](const std::string& key) {
    const RowMarks* marks = context.MarksOf(key);
    return marks != nullptr && marks->Has(tag);
  });
  Change(keys, [&](RowMarks& marks) {
    auto at = std::find(marks.tags.begin(), marks.tags.end(), tag);
    if (all_have && at != marks.tags.end()) marks.tags.erase(at);
    if (!all_have && at == marks.tags.end()) marks.tags.push_back(tag);
  });
}

void RowTags::NewTag() {
  WindowContext& context = *parts_.context;
  if (Targets().empty()) return;
  const auto typed = context.dialogs().AskText(parts_.window, context.UiText(kTextNewTag),
                                               context.UiText(kTextTagName), {}, false);
  if (!typed) return;
  const std::string name = CleanTagName(typed->toStdString());
  if (name.empty()) return;
  parts_.case_flow->AddTag(name);
  // A new tag goes on the rows it was made for, whatever they had.
  Change(Targets(), [&](RowMarks& marks) {
    if (!marks.Has(name)) marks.tags.push_back(name);
  });
}

void RowTags::RemoveTags() {
  Change(Targets(), [](RowMarks& marks) { marks.tags.clear(); });
}

void RowTags::EditNote() {
  WindowContext& context = *parts_.context;
  const ThumbnailRow* row = parts_.list->FocusedRecord();
  if (row == nullptr) return;
  const std::string key = row->key;
  const RowMarks* before = context.MarksOf(key);
  const auto typed = context.dialogs().AskText(
      parts_.window, context.UiText(kTextEditNote),
      context.UiText(kTextNoteFor).arg(QString::fromStdString(key)),
      before != nullptr ? QString::fromStdString(before->note) : QString(), true);
  if (!typed) return;
  QString note = typed->trimmed();
  while (static_cast<size_t>(note.toUtf8().size()) > kMaxNoteBytes) note.chop(1);
  Change({key}, [&](RowMarks& marks) { marks.note = note.toStdString(); });
}

void RowTags::SetFilter(const std::string& tag) {
  filter_ = tag;
  const int index = TagFilter->findData(QString::fromStdString(tag));
  if (index >= 0) TagFilter->setCurrentIndex(index);
  ThumbnailModel* model = parts_.list->model();
  if (tag.empty()) {
    model->SetFilter({});
  } else {
    const WindowContext* context = parts_.context;
    const bool untagged = tag == kUntagged;
    model->SetFilter([context, tag, untagged](const ThumbnailRow& row) {
      const RowMarks* marks = context->MarksOf(row.key);
      if (untagged) return marks == nullptr || marks->tags.empty();
      return marks != nullptr && marks->Has(tag);
    });
  }
  parts_.list->ShowFirstRow();
}

}  // namespace glintvane
