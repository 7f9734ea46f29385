#include "file_info_pane.h"

#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QVBoxLayout>

#include "window_context.h"

namespace glintvane {
namespace {

// Error lines stand out from the heading by this indent.
constexpr int kErrorIndentPoints = 20;

}  // namespace

FileInfoPane::FileInfoPane(WindowContext& context, QTabWidget* pages)
    : QObject(pages), context_(context), pages_(pages) {
  FileInfoTabSheet = new QWidget(pages);
  auto* layout = new QVBoxLayout(FileInfoTabSheet);
  layout->setContentsMargins(0, 0, 0, 0);
  RichEdit1 = new QTextEdit(FileInfoTabSheet);
  RichEdit1->setReadOnly(true);
  RichEdit1->setBackgroundRole(QPalette::Button);
  RichEdit1->viewport()->setBackgroundRole(QPalette::Button);
  layout->addWidget(RichEdit1);
  pages->addTab(FileInfoTabSheet, context.UiText(kTextFileDetails));
  SetTabVisible(false);
}

bool FileInfoPane::IsTabVisible() const {
  return pages_->isTabVisible(pages_->indexOf(FileInfoTabSheet));
}

void FileInfoPane::SetTabVisible(bool visible) {
  pages_->setTabVisible(pages_->indexOf(FileInfoTabSheet), visible);
}

void FileInfoPane::Bring() {
  SetTabVisible(true);
  pages_->setCurrentWidget(FileInfoTabSheet);
}

QString FileInfoPane::Caption() const {
  return pages_->tabText(pages_->indexOf(FileInfoTabSheet));
}

void FileInfoPane::SetCaption(const QString& caption) {
  pages_->setTabText(pages_->indexOf(FileInfoTabSheet), caption);
}

void FileInfoPane::ApplyTexts() {
  SetCaption(context_.UiText(showing_errors_ ? kTextErrorsList : kTextFileDetails));
  // The entries are written again in the new language.
  if (showing_errors_ && used_) {
    Clear();
    ShowErrorLines();
  }
}

void FileInfoPane::Clear() {
  RichEdit1->clear();
  used_ = false;
  bullet_list_ = nullptr;
}

void FileInfoPane::ShowFileDetails(const std::vector<std::string>& details) {
  showing_errors_ = false;
  SetCaption(context_.UiText(kTextFileDetails));
  AppendLine({}, false, 0);
  for (const std::string& line : details) AppendLine(QString::fromStdString(line), true, 0);
  AppendLine({}, false, 0);
}

void FileInfoPane::ShowErrorLines() {
  showing_errors_ = true;
  SetCaption(context_.UiText(kTextErrorsList));
  AppendLine({}, false, kErrorIndentPoints);
  for (const std::string& line : context_.errors().Lines(context_.texts()))
    AppendLine(QString::fromStdString(line), false, kErrorIndentPoints);
}

void FileInfoPane::AppendLine(const QString& text, bool bullet, int indent_points) {
  QTextCursor cursor(RichEdit1->document());
  cursor.movePosition(QTextCursor::End);
  QTextBlockFormat format;
  // Points, as the indent is meant on paper; the screen's resolution turns
  // them into pixels.
  format.setLeftMargin(indent_points * RichEdit1->logicalDpiX() / 72.0);
  if (used_) {
    cursor.insertBlock(format, QTextCharFormat());
  } else {
    cursor.setBlockFormat(format);
  }
  used_ = true;
  cursor.insertText(text);
  if (!bullet) {
    bullet_list_ = nullptr;
    return;
  }
  if (bullet_list_ == nullptr) {
    bullet_list_ = cursor.createList(QTextListFormat::ListDisc);
  } else {
    bullet_list_->add(cursor.block());
  }
}

}  // namespace glintvane
