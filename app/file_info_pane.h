// The File Info page beside the thumbnail list (FileInfoTabSheet): the File
// Details of the file the list shows, or the error list of one that failed,
// in a read-only rich text (RichEdit1) of plain, bulleted or indented lines.
#pragma once

#include <QObject>
#include <QString>

#include <string>
#include <vector>

class QTabWidget;
class QTextEdit;
class QTextList;
class QWidget;

namespace glintvane {

class WindowContext;
struct ThumbnailRow;

class FileInfoPane : public QObject {
  Q_OBJECT

 public:
  FileInfoPane(WindowContext& context, QTabWidget* pages);

  QWidget* FileInfoTabSheet = nullptr;
  QTextEdit* RichEdit1 = nullptr;

  bool IsTabVisible() const;
  void SetTabVisible(bool visible);
  // The page in front of the thumbnail list.
  void Bring();
  QString Caption() const;

  void Clear();
  // "File Details" and the lines as bullets, framed by empty lines.
  void ShowFileDetails(const std::vector<std::string>& details);
  // Below the File Details: where a Windows Search index says the focused
  // row's item was (nothing for a row it did not name, or none).
  void ShowRowOrigin(const ThumbnailRow* row);
  // "Errors List" and the error list's lines, indented.
  void ShowErrorLines();

  void ApplyTexts();

 private:
  void SetCaption(const QString& caption);
  void AppendLine(const QString& text, bool bullet, int indent_points);
  void ShowDetails();
  void ClearText();

  WindowContext& context_;
  QTabWidget* pages_;
  bool showing_errors_ = false;
  std::vector<std::string> details_;  // the File Details shown, kept to add a row's path
  QString row_origin_;                // the focused row's original path, "" when none
  bool used_ = false;                 // RichEdit1 holds at least one paragraph
  QTextList* bullet_list_ = nullptr;  // the bullet list the next bullet joins
};

}  // namespace glintvane
