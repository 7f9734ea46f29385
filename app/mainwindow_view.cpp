// The image view: the highlighted row's picture at best fit or actual size,
// turned by the quarter turns each row remembers.
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTransform>
#include <QTreeView>

#include <algorithm>

#include "base/byte_source.h"
#include "base/error_codes.h"
#include "image_view.h"
#include "mainwindow.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// A carved row whose end was never found is read this far.
constexpr int64_t kUnknownLengthRead = 409600;
// Carved ranges are read in pieces of this size.
constexpr size_t kReadPiece = 4096;
// Multi-frame pictures show this many frames side by side.
constexpr int kFramesShown = 2;

// Shows the wait cursor for the life of the object, on every way out.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Decodes the picture of `reader`: one frame, the given frame, or (frame -1)
// the first two frames of a GIF animation or pages of a TIFF side by side.
// Sets *gif_frames for a GIF with more than one frame.
QImage DrawImageFrames(QImageReader& reader, int frame, bool* gif_frames) {
  const QByteArray format = reader.format().toLower();
  const bool gif = format == "gif";
  const bool tiff = format == "tiff" || format == "tif";
  const int frames = (gif || tiff) ? std::max(1, reader.imageCount()) : 1;
  if (gif && frames > 1) *gif_frames = true;

  if (frames == 1) return reader.read();
  if (frame >= 0) {
    if (!reader.jumpToImage(frame)) return {};
    return reader.read();
  }
  const int shown = std::min(frames, kFramesShown);
  QList<QImage> parts;
  int width = 0;
  int height = 0;
  for (int j = 0; j < shown; ++j) {
    // GIF frames come one after the other; TIFF pages are chosen.
    if (j > 0 && tiff && !reader.jumpToImage(j)) break;
    QImage part = reader.read();
    if (part.isNull()) break;
    width += part.width();
    height = std::max(height, part.height());
    parts << part;
  }
  if (parts.isEmpty() || width == 0 || height == 0) return {};
  if (parts.size() == 1) return parts.front();
  QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  int x = 0;
  for (const QImage& part : parts) {
    painter.drawImage(x, 0, part);
    x += part.width();
  }
  return canvas;
}

}  // namespace

void MainWindow::FocusedRowChanged() {
  if (list_view1_change_attached_) ListView1Change();
}

void MainWindow::ListView1Change() {
  if (thumbnail_model_->rowCount() == 0 || !ListView1->selectionModel()->hasSelection()) return;
  const int focused = FocusedRow();
  if (focused < 0) return;
  WaitCursor wait;
  const ThumbnailRow* row = thumbnail_model_->RowAt(focused);
  if (row == nullptr) return;
  bool gif_frames = false;
  if (row->length != 0) {
    ShowThumbnail(PreImage, row->start, -1, row->source_kind, row->length, &gif_frames);
  } else {
    PreImage->ClearPicture();
  }
  UpdateImageView(gif_frames ? 1 : 0);
  UpdateCommands();
}

bool MainWindow::ShowThumbnail(ImageView* target, int64_t offset, int frame, SourceKind kind,
                               int64_t length, bool* gif_frames) {
  target->ClearPicture();
  QByteArray bytes;
  if (kind == SourceKind::kImageStore) {
    const std::span<const uint8_t> stored = image_store_.View(offset, length);
    bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(stored.data()),
                                    static_cast<qsizetype>(stored.size()));
  } else {
    // Carved rows read from the file they were carved from.
    const ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow());
    const std::string source = row != nullptr && row->source < thumbnails_.source_count()
                                   ? thumbnails_.SourceOf(*row)
                                   : open_file_.toStdString();
    std::vector<uint8_t> buffer;
    if (!ReadFileRange(source, offset, length, buffer)) return false;
    bytes = QByteArray(reinterpret_cast<const char*>(buffer.data()),
                       static_cast<qsizetype>(buffer.size()));
  }
  if (bytes.isEmpty()) return false;

  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device);
  reader.setDecideFormatFromContent(true);
  QImage picture;
  if (reader.canRead()) picture = DrawImageFrames(reader, frame, gif_frames);
  if (picture.isNull() || picture.width() == 0 || picture.height() == 0) {
    target->ClearPicture();
    AddError(kErrException, open_file_, QStringLiteral("QImageReader: ") + reader.errorString());
    return false;
  }
  target->SetPicture(picture);
  return true;
}

bool MainWindow::ReadFileRange(const std::string& path, int64_t offset, int64_t length,
                               std::vector<uint8_t>& buffer) {
  if (length == 0) length = kUnknownLengthRead;
  WaitCursor wait;
  int code = 0;
  auto file = FileByteSource::Open(path);
  if (!file) {
    code = kErrOpenSource;
  } else if (offset < 0 || length < 0) {
    code = kErrSeek;
  } else {
    uint64_t at = static_cast<uint64_t>(offset);
    int64_t total = 0;
    std::vector<uint8_t> piece(kReadPiece);
    while (total < length) {
      const auto read = (*file)->ReadAt(at, piece);
      if (!read) {
        code = kErrRead;
        break;
      }
      if (*read == 0) break;
      const size_t keep = static_cast<size_t>(std::min<int64_t>(*read, length - total));
      buffer.insert(buffer.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(keep));
      total += static_cast<int64_t>(keep);
      at += *read;
    }
  }
  if (code != 0) {
    AddError(code, open_file_, {});
    return false;
  }
  return true;
}

void MainWindow::UpdateImageView(int mode) {
  ActionOrigView->setEnabled(false);
  ActionOrigView->setToolTip({});
  OrgFileViewBtn->hide();
  OrgFileViewBtn->setToolTip({});
  SetStatusPanel(1, {});
  StatusBar1->repaint();
  for (QAction* action : {ActionBestFit, ActionActualSize, ActionLeftRotate, ActionRightRotate})
    action->setEnabled(false);

  if (thumbnail_model_->rowCount() == 0 || !ListView1->selectionModel()->hasSelection()) return;
  const int focused = FocusedRow();
  const ThumbnailRow* row = thumbnail_model_->RowAt(focused);
  if (row == nullptr) return;

  const QString key = QString::fromStdString(row->key);
  if (RowNameText(*row) == kNamePlaceholder) {
    SetTabCaption(ImageViewTabSheet, key + column_joiner_ + key + QStringLiteral(".jpg"));
  } else if (row->name.empty()) {
    SetTabCaption(ImageViewTabSheet, key);
  } else {
    SetTabCaption(ImageViewTabSheet, key + column_joiner_ + QString::fromStdString(row->name));
  }
  GammaPanel->setVisible(carved_list_);
  // The original picture beside the cache is offered only while it exists.
  if (const QString original = LocateOriginalFile(*row); !original.isEmpty()) {
    ActionOrigView->setEnabled(true);
    ActionOrigView->setToolTip(original);
    OrgFileViewBtn->setToolTip(original);
    OrgFileViewBtn->show();
  }

  const QImage& picture = PreImage->picture();
  if (picture.width() + picture.height() != 0) {
    for (QAction* action : {ActionBestFit, ActionActualSize, ActionLeftRotate, ActionRightRotate})
      action->setEnabled(true);
    SetStatusPanel(1, UiText(kTextImageDimension) +
                          QStringLiteral(": %1 x %2").arg(picture.height()).arg(picture.width()));
    if (picture.width() > PreImage->width() || picture.height() > PreImage->height())
      ActionActualSize->setEnabled(false);
    if (mode == 0 && row->rotation != 0) RotateImage(PreImage, row->rotation);
  } else {
    GammaPanel->hide();
  }
}

void MainWindow::RotateImage(ImageView* image, int quarter_turns) {
  const QImage& picture = image->picture();
  if (picture.isNull()) return;
  QTransform turn;
  switch (quarter_turns) {
    case 1:
      turn.rotate(-90);
      break;  // a quarter turn to the left
    case -1:
      turn.rotate(90);
      break;
    case 2:
    case -2:
      turn.rotate(180);
      break;
    default:
      return;
  }
  image->SetPicture(picture.transformed(turn));
}

void MainWindow::AddRowRotation(int step) {
  if (thumbnail_model_->rowCount() == 0 || !ListView1->selectionModel()->hasSelection()) return;
  ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow());
  if (row == nullptr) return;
  // Net quarter turns modulo 4, kept in -2..2.
  int rotation = row->rotation + step;
  if (rotation > 2) {
    rotation = -1;
  } else if (rotation < -2) {
    rotation = 1;
  }
  row->rotation = static_cast<int8_t>(rotation);
}

void MainWindow::ActionLeftRotateExecute() {
  RotateImage(PreImage, 1);
  AddRowRotation(1);
}

void MainWindow::ActionRightRotateExecute() {
  RotateImage(PreImage, -1);
  AddRowRotation(-1);
}

void MainWindow::ActionBestFitExecute() {
  PreImage->SetStretch(true);
  ActionBestFit->setChecked(true);
  if (ListView1->selectionModel()->hasSelection()) {
    if (ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow())) row->view_type = 0;
  }
  if (activation_state_ > 0) {
    if (PageControl1->currentWidget() == mainTabSheet) ListView1->setFocus();
    if (PageControl1->currentWidget() == FileInfoTabSheet) RichEdit1->setFocus();
  }
}

void MainWindow::ActionActualSizeExecute() {
  if (!ActionActualSize->isEnabled()) return;
  PreImage->SetStretch(false);
  ActionActualSize->setChecked(true);
  if (ListView1->selectionModel()->hasSelection()) {
    if (ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow())) row->view_type = 1;
  }
  if (activation_state_ > 0) {
    if (PageControl1->currentWidget() == mainTabSheet) ListView1->setFocus();
    if (PageControl1->currentWidget() == FileInfoTabSheet) RichEdit1->setFocus();
  }
}

}  // namespace glintvane
