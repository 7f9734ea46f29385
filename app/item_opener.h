// Handing a thumbnail or its original file to the desktop: Open Selected
// File (and double click) through the private viewing folder and the
// default handler, Open With through the portal or our own chooser, and
// Original File View.
#pragma once

#include <QObject>
#include <QString>

#include "cache/thumbnail_row.h"

namespace glintvane {

class CacheList;
class WindowContext;

// The original picture of `row` beside the cache `open_file`, when it
// exists as a regular file; "" otherwise.
QString LocateOriginalFile(const QString& open_file, const ThumbnailRow& row);

class ItemOpener : public QObject {
  Q_OBJECT

 public:
  ItemOpener(WindowContext& context, CacheList& list, QWidget* window);

  // The highlighted row's picture, with its default handler.
  void OpenSelected();
  // The highlighted row's picture, with an application the user chooses.
  void OpenSelectedWith();
  // The original file `path` (the Original File View hint); false when it
  // is gone.
  bool OpenOriginal(const QString& path);

  // Where Open With went last: "portal", "chooser" or "".
  QString last_open_with_route() const { return last_open_with_route_; }

 private:
  bool WriteTempCopy(const ThumbnailRow& row, QString* path);
  void ShellOpen(const QString& path);
  // Hands `path` to the desktop portal's application chooser, or to ours.
  void OfferApplications(const QString& path);

  WindowContext& context_;
  CacheList& list_;
  QWidget* window_;
  QString last_open_with_route_;
};

}  // namespace glintvane
