// The right-hand pane: the Image View page with the highlighted row's
// picture at best fit or actual size, turned by the quarter turns each row
// remembers, and the Gallery page with every row's picture in a grid.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "cache/thumbnail_row.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;
class QWidget;

namespace glintvane {

class ByteSource;
class CacheList;
class GalleryView;
class ImageView;
class StatusLine;
class WindowContext;
struct WindowCommands;

class ImagePane : public QObject {
  Q_OBJECT

 public:
  ImagePane(WindowContext& context, CacheList& list, StatusLine& status, WindowCommands& commands,
            QWidget* parent);

  QTabWidget* PageControl2 = nullptr;
  QWidget* ImageViewTabSheet = nullptr;
  QWidget* ImgPanel = nullptr;
  QToolButton* LeftRotateBtn = nullptr;
  QToolButton* RightRotateBtn = nullptr;
  QRadioButton* BestFitRadio = nullptr;
  QRadioButton* ActualSizeRadio = nullptr;
  QLabel* GammaPanel = nullptr;
  ImageView* PreImage = nullptr;
  QPushButton* OrgFileViewBtn = nullptr;
  QWidget* GalleryTabSheet = nullptr;
  GalleryView* Gallery = nullptr;
  QLabel* ZoomLabel = nullptr;
  QSlider* ZoomSlider = nullptr;  // the gallery's icon size

  // ListView1Change: the focused row's picture, decoded afresh.
  void ShowFocusedRow();
  // Mode 0 after a new picture, 1 after a GIF of several frames, 3 after a
  // resize: caption, status, hint panel and the view commands.
  void UpdateImageView(int mode);
  bool ShowThumbnail(ImageView* target, int64_t offset, int frame, SourceKind kind, int64_t length,
                     bool* gif_frames);
  // Reads [offset, offset + length) of the file at `path`, or of `image`
  // when the row was carved from the disk inside an image.
  bool ReadFileRange(const std::string& path, ByteSource* image, int64_t offset, int64_t length,
                     std::vector<uint8_t>& buffer);
  void RotateImage(ImageView* image, int quarter_turns);
  void AddRowRotation(int step);
  void Rotate(int step);  // the picture and the row's record
  // Best fit (true) or actual size; false when actual size is not offered.
  bool SetBestFit(bool best_fit);
  // The empty view of an empty list.
  void Clear();

  // The caption of the Image View or the Gallery page.
  QString TabCaption(QWidget* page) const;
  // Image View or Gallery in front.
  void ToggleGallery();
  bool gallery_shown() const;

  void ApplyTexts();
  // The view mode and the page in front, as the settings keep them:
  // "BestFit" or "ActualSize", "Gallery" or "Image".
  QString ViewModeName() const;
  QString PageName() const;
  void RestoreState(const QString& view_mode, const QString& page, int zoom);

 signals:
  void GalleryContextMenuRequested(const QPoint& global);

 private:
  void CreateImagePage();
  void CreateGalleryPage();
  void SetCaption(QWidget* page, const QString& caption);

  WindowContext& context_;
  CacheList& list_;
  StatusLine& status_;
  WindowCommands& commands_;
};

}  // namespace glintvane
