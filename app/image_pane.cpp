#include "image_pane.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QHBoxLayout>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTransform>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "base/byte_source.h"
#include "base/error_codes.h"
#include "cache_list.h"
#include "flow_layout.h"
#include "gallery_view.h"
#include "image_view.h"
#include "item_opener.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "window_commands.h"
#include "window_context.h"

namespace glintvane {
namespace {

// A carved row whose end was never found is read this far.
constexpr int64_t kUnknownLengthRead = 409600;
// Carved ranges are read in pieces of this size.
constexpr size_t kReadPiece = 4096;
// Multi-frame pictures show this many frames side by side.
constexpr int kFramesShown = 2;
constexpr int kGammaPanelHeight = 24;
// One step of the gallery's zoom slider, in pixels of the icons' side.
constexpr int kZoomStep = 16;
// The hint panel may be as narrow as the pane lets it; its text wraps.
constexpr int kSmallestControlWidth = 24;

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

ImagePane::ImagePane(WindowContext& context, CacheList& list, StatusLine& status,
                     WindowCommands& commands, QWidget* parent)
    : QObject(parent), context_(context), list_(list), status_(status), commands_(commands) {
  PageControl2 = new QTabWidget(parent);
  PageControl2->setDocumentMode(true);
  CreateImagePage();
  CreateGalleryPage();
}

void ImagePane::CreateImagePage() {
  ImageViewTabSheet = new QWidget(PageControl2);
  auto* view_layout = new QVBoxLayout(ImageViewTabSheet);
  view_layout->setContentsMargins(4, 4, 4, 4);

  // The turns and the view modes, each pair kept together; the modes go on
  // in a second row when the pane is narrow: captions are never cut, in any
  // language.
  ImgPanel = new QWidget(ImageViewTabSheet);
  auto* tools_layout = new FlowLayout(ImgPanel);
  auto* turns = new QWidget(ImgPanel);
  auto* turns_layout = new QHBoxLayout(turns);
  turns_layout->setContentsMargins(0, 0, 0, 0);
  LeftRotateBtn = new QToolButton(turns);
  LeftRotateBtn->setDefaultAction(commands_.ActionLeftRotate);
  LeftRotateBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  RightRotateBtn = new QToolButton(turns);
  RightRotateBtn->setDefaultAction(commands_.ActionRightRotate);
  RightRotateBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  turns_layout->addWidget(LeftRotateBtn);
  turns_layout->addWidget(RightRotateBtn);
  auto* modes = new QWidget(ImgPanel);
  auto* modes_layout = new QHBoxLayout(modes);
  modes_layout->setContentsMargins(0, 0, 0, 0);
  BestFitRadio = new QRadioButton(modes);
  ActualSizeRadio = new QRadioButton(modes);
  BestFitRadio->setChecked(true);
  modes_layout->addWidget(BestFitRadio);
  modes_layout->addWidget(ActualSizeRadio);
  tools_layout->addWidget(turns);
  tools_layout->addWidget(modes);

  // The hint wraps rather than being cut or widening the pane.
  GammaPanel = new QLabel(ImageViewTabSheet);
  GammaPanel->setWordWrap(true);
  GammaPanel->setMinimumHeight(kGammaPanelHeight);
  GammaPanel->setAlignment(Qt::AlignCenter);
  GammaPanel->setMinimumWidth(kSmallestControlWidth);
  GammaPanel->setAutoFillBackground(true);
  GammaPanel->setStyleSheet(QStringLiteral("background: #fff6c8; color: #5a4a00;"));
  GammaPanel->hide();

  PreImage = new ImageView(ImageViewTabSheet);
  OrgFileViewBtn = new QPushButton(ImageViewTabSheet);
  OrgFileViewBtn->hide();

  view_layout->addWidget(ImgPanel);
  view_layout->addWidget(GammaPanel);
  view_layout->addWidget(PreImage, 1);
  view_layout->addWidget(OrgFileViewBtn);
  PageControl2->addTab(ImageViewTabSheet, context_.UiText(kTextImageView));

  connect(BestFitRadio, &QRadioButton::clicked, commands_.ActionBestFit, &QAction::trigger);
  connect(ActualSizeRadio, &QRadioButton::clicked, commands_.ActionActualSize, &QAction::trigger);
  // The radio buttons follow their commands' states.
  for (auto [action, radio] : {std::pair{commands_.ActionBestFit, BestFitRadio},
                               std::pair{commands_.ActionActualSize, ActualSizeRadio}}) {
    connect(action, &QAction::changed, radio, [action, radio] {
      radio->setEnabled(action->isEnabled());
      radio->setText(action->text());
      radio->setChecked(action->isChecked());
    });
  }
  connect(OrgFileViewBtn, &QPushButton::clicked, commands_.ActionOrigView, &QAction::trigger);
}

void ImagePane::CreateGalleryPage() {
  // A second page over the same rows and the same selection as the list.
  GalleryTabSheet = new QWidget(PageControl2);
  auto* layout = new QVBoxLayout(GalleryTabSheet);
  layout->setContentsMargins(0, 0, 0, 0);
  Gallery = new GalleryView(list_.model(), context_.thumbnails(), context_.image_store(),
                            GalleryTabSheet);
  Gallery->setObjectName(QStringLiteral("Gallery"));
  QItemSelectionModel* own = Gallery->selectionModel();
  Gallery->setSelectionModel(list_.ListView1->selectionModel());
  delete own;
  layout->addWidget(Gallery);
  // The zoom slider under the grid sets the icons' size.
  auto* zoom_bar = new QWidget(GalleryTabSheet);
  auto* zoom_layout = new QHBoxLayout(zoom_bar);
  zoom_layout->setContentsMargins(4, 2, 4, 2);
  ZoomLabel = new QLabel(zoom_bar);
  ZoomSlider = new QSlider(Qt::Horizontal, zoom_bar);
  ZoomSlider->setObjectName(QStringLiteral("ZoomSlider"));
  ZoomSlider->setRange(GalleryView::kSmallestEdge, GalleryView::kLargestEdge);
  ZoomSlider->setSingleStep(kZoomStep);
  ZoomSlider->setPageStep(2 * kZoomStep);
  ZoomSlider->setValue(GalleryView::kIconEdge);
  ZoomLabel->setBuddy(ZoomSlider);
  zoom_layout->addWidget(ZoomLabel);
  zoom_layout->addWidget(ZoomSlider, 1);
  layout->addWidget(zoom_bar);
  connect(ZoomSlider, &QSlider::valueChanged, Gallery, &GalleryView::SetIconEdge);
  PageControl2->addTab(GalleryTabSheet, context_.UiText(kTextGallery));
  // Enter or a double click on a picture shows it large.
  connect(Gallery, &QAbstractItemView::activated, this,
          [this] { PageControl2->setCurrentWidget(ImageViewTabSheet); });
  Gallery->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Gallery, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (list_.RowCount() > 0)
      emit GalleryContextMenuRequested(Gallery->viewport()->mapToGlobal(at));
  });
}

void ImagePane::SetCaption(QWidget* page, const QString& caption) {
  PageControl2->setTabText(PageControl2->indexOf(page), caption);
}

QString ImagePane::TabCaption(QWidget* page) const {
  return PageControl2->tabText(PageControl2->indexOf(page));
}

void ImagePane::ApplyTexts() {
  GammaPanel->setText(context_.UiText(kTextWhiteImageHint));
  OrgFileViewBtn->setText(context_.UiText(kTextOriginalFileView));
  if (OrgFileViewBtn->toolTip().isEmpty())
    OrgFileViewBtn->setToolTip(context_.UiText(kTextOriginalFileView));
  SetCaption(GalleryTabSheet, context_.UiText(kTextGallery));
  ZoomLabel->setText(context_.UiText(kTextZoom));
  ZoomSlider->setToolTip(context_.UiText(kTextZoom));
  if (context_.thumbnails().empty()) SetCaption(ImageViewTabSheet, context_.UiText(kTextImageView));
}

void ImagePane::ShowFocusedRow() {
  if (list_.RowCount() == 0 || !list_.HasSelection()) return;
  if (list_.FocusedRow() < 0) return;
  WaitCursor wait;
  const ThumbnailRow* row = list_.FocusedRecord();
  if (row == nullptr) return;
  bool gif_frames = false;
  if (row->length != 0) {
    ShowThumbnail(PreImage, row->start, -1, row->source_kind, row->length, &gif_frames);
  } else {
    PreImage->ClearPicture();
  }
  UpdateImageView(gif_frames ? 1 : 0);
}

bool ImagePane::ShowThumbnail(ImageView* target, int64_t offset, int frame, SourceKind kind,
                              int64_t length, bool* gif_frames) {
  target->ClearPicture();
  QByteArray bytes;
  if (kind == SourceKind::kImageStore) {
    const std::span<const uint8_t> stored = context_.image_store().View(offset, length);
    bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(stored.data()),
                                    static_cast<qsizetype>(stored.size()));
  } else {
    // Carved rows read from the file they were carved from, or through the
    // disk image whose disk they were carved from.
    const ThumbnailList& list = context_.thumbnails();
    const ThumbnailRow* row = list_.FocusedRecord();
    const bool named = row != nullptr && row->source < list.source_count();
    const std::string source = named ? list.SourceOf(*row) : context_.open_file().toStdString();
    ByteSource* image = named ? list.SourceBytes(row->source).get() : nullptr;
    std::vector<uint8_t> buffer;
    if (!ReadFileRange(source, image, offset, length, buffer)) return false;
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
    context_.AddError(kErrException, context_.open_file(),
                      QStringLiteral("QImageReader: ") + reader.errorString());
    return false;
  }
  target->SetPicture(picture);
  return true;
}

bool ImagePane::ReadFileRange(const std::string& path, ByteSource* image, int64_t offset,
                              int64_t length, std::vector<uint8_t>& buffer) {
  if (length == 0) length = kUnknownLengthRead;
  WaitCursor wait;
  int code = 0;
  std::unique_ptr<ByteSource> file;
  if (image == nullptr) {
    if (auto opened = FileByteSource::Open(path)) file = std::move(*opened);
  }
  ByteSource* source = image != nullptr ? image : file.get();
  if (source == nullptr) {
    code = kErrOpenSource;
  } else if (offset < 0 || length < 0) {
    code = kErrSeek;
  } else {
    uint64_t at = static_cast<uint64_t>(offset);
    int64_t total = 0;
    std::vector<uint8_t> piece(kReadPiece);
    while (total < length) {
      const auto read = source->ReadAt(at, piece);
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
    context_.AddError(code, context_.open_file(), {});
    return false;
  }
  return true;
}

void ImagePane::UpdateImageView(int mode) {
  QAction* view_commands[] = {commands_.ActionBestFit, commands_.ActionActualSize,
                              commands_.ActionLeftRotate, commands_.ActionRightRotate};
  commands_.ActionOrigView->setEnabled(false);
  commands_.ActionOrigView->setToolTip({});
  OrgFileViewBtn->hide();
  OrgFileViewBtn->setToolTip({});
  status_.Clear(1);
  for (QAction* action : view_commands) action->setEnabled(false);

  if (list_.RowCount() == 0 || !list_.HasSelection()) return;
  const ThumbnailRow* row = list_.FocusedRecord();
  if (row == nullptr) return;

  const QString key = QString::fromStdString(row->key);
  const QString joiner = QStringLiteral(" - ");
  if (RowNameText(*row) == kNamePlaceholder) {
    SetCaption(ImageViewTabSheet, key + joiner + key + QStringLiteral(".jpg"));
  } else if (row->name.empty()) {
    SetCaption(ImageViewTabSheet, key);
  } else {
    SetCaption(ImageViewTabSheet, key + joiner + QString::fromStdString(row->name));
  }
  GammaPanel->setVisible(context_.carved_list());
  // The original picture beside the cache is offered only while it exists.
  if (const QString original = LocateOriginalFile(context_.open_file(), *row);
      !original.isEmpty()) {
    commands_.ActionOrigView->setEnabled(true);
    commands_.ActionOrigView->setToolTip(original);
    OrgFileViewBtn->setToolTip(original);
    OrgFileViewBtn->show();
  }

  const QImage& picture = PreImage->picture();
  if (picture.width() + picture.height() != 0) {
    for (QAction* action : view_commands) action->setEnabled(true);
    const int height = picture.height();
    const int width = picture.width();
    status_.SetText(1, [this, height, width] {
      return context_.UiText(kTextImageDimension) +
             QStringLiteral(": %1 x %2").arg(height).arg(width);
    });
    if (picture.width() > PreImage->width() || picture.height() > PreImage->height())
      commands_.ActionActualSize->setEnabled(false);
    if (mode == 0 && row->rotation != 0) RotateImage(PreImage, row->rotation);
  } else {
    GammaPanel->hide();
  }
}

void ImagePane::RotateImage(ImageView* image, int quarter_turns) {
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

void ImagePane::AddRowRotation(int step) {
  ThumbnailRow* row = list_.FocusedRecord();
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

void ImagePane::Rotate(int step) {
  RotateImage(PreImage, step);
  AddRowRotation(step);
}

bool ImagePane::SetBestFit(bool best_fit) {
  if (!best_fit && !commands_.ActionActualSize->isEnabled()) return false;
  PreImage->SetStretch(best_fit);
  (best_fit ? commands_.ActionBestFit : commands_.ActionActualSize)->setChecked(true);
  if (ThumbnailRow* row = list_.FocusedRecord()) row->view_type = best_fit ? 0 : 1;
  return true;
}

void ImagePane::Clear() {
  SetCaption(ImageViewTabSheet, context_.UiText(kTextImageView));
  PreImage->ClearPicture();
}

void ImagePane::ToggleGallery() {
  PageControl2->setCurrentWidget(gallery_shown() ? ImageViewTabSheet : GalleryTabSheet);
}

bool ImagePane::gallery_shown() const {
  return PageControl2->currentWidget() == GalleryTabSheet;
}

QString ImagePane::ViewModeName() const {
  return PreImage->stretch() ? QStringLiteral("BestFit") : QStringLiteral("ActualSize");
}

QString ImagePane::PageName() const {
  return gallery_shown() ? QStringLiteral("Gallery") : QStringLiteral("Image");
}

void ImagePane::RestoreState(const QString& view_mode, const QString& page, int zoom) {
  if (zoom > 0) ZoomSlider->setValue(zoom);
  if (view_mode == QLatin1String("ActualSize")) {
    PreImage->SetStretch(false);
    commands_.ActionActualSize->setChecked(true);
  }
  if (page == QLatin1String("Gallery")) PageControl2->setCurrentWidget(GalleryTabSheet);
}

}  // namespace glintvane
