#include "gallery_view.h"

#include <QBuffer>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include <algorithm>
#include <vector>

#include "base/byte_source.h"
#include "cache/thumbnail_list.h"
#include "image_view.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// Requests beyond this many are the ones scrolled past longest ago; a fast
// scroll through 100,000 rows must not leave a queue of 100,000 decodes.
constexpr size_t kMaxQueued = 256;
// Decoded icons kept, in KiB: about 1,300 icons of 112 x 112.
constexpr int kCacheKiB = 64 * 1024;
// A carved row whose end was never found is read this far, as in the view.
constexpr int64_t kUnknownLengthRead = 409600;
// Nothing a thumbnail cache holds is larger; a range claiming more is
// damaged and is not read.
constexpr int64_t kMaxRead = 64 * 1024 * 1024;
constexpr int kTextLines = 2;
constexpr int kSpacing = 6;
// The check box's distance from the item's corner.
constexpr int kCheckMargin = 3;

}  // namespace

GalleryDecoder::GalleryDecoder(QObject* parent) : QObject(parent), thread_([this] { Run(); }) {}

GalleryDecoder::~GalleryDecoder() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  thread_.join();
}

void GalleryDecoder::Request(GalleryRequest request) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_front(std::move(request));
    if (queue_.size() > kMaxQueued) queue_.pop_back();
  }
  wake_.notify_one();
}

void GalleryDecoder::Drop() {
  std::lock_guard lock(mutex_);
  queue_.clear();
}

QImage GalleryDecoder::Decode(const GalleryRequest& request, int edge) {
  QByteArray bytes = request.bytes;
  if (bytes.isEmpty() && (!request.file.empty() || request.image)) {
    const int64_t length = request.length == 0 ? kUnknownLengthRead : request.length;
    if (request.offset < 0 || length < 0 || length > kMaxRead) return {};
    std::unique_ptr<ByteSource> file;
    if (!request.image) {
      auto opened = FileByteSource::Open(request.file);
      if (!opened) return {};
      file = std::move(*opened);
    }
    ByteSource& source = request.image ? *request.image : *file;
    std::vector<uint8_t> buffer(static_cast<size_t>(length));
    const auto read = source.ReadAt(static_cast<uint64_t>(request.offset), buffer);
    if (!read || *read == 0) return {};
    bytes = QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(*read));
  }
  if (bytes.isEmpty()) return {};
  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device);
  reader.setDecideFormatFromContent(true);
  const QSize size = reader.size();
  // JPEGs decode straight to the smaller size, which is most of the speed.
  if (size.isValid() && (size.width() > edge || size.height() > edge))
    reader.setScaledSize(size.scaled(edge, edge, Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (image.isNull()) return {};
  if (image.width() > edge || image.height() > edge)
    image = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                       : QImage::Format_RGB32);
}

void GalleryDecoder::Run() {
  for (;;) {
    GalleryRequest request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      request = std::move(queue_.front());
      queue_.pop_front();
    }
    QImage icon = Decode(request, request.edge);
    // A picture that cannot be decoded still answers, so it is not asked for
    // again and again.
    if (icon.isNull()) {
      icon = QImage(1, 1, QImage::Format_RGB32);
      icon.fill(Qt::transparent);
      icon.setText(QStringLiteral("failed"), QStringLiteral("1"));
    }
    emit decoded(request.generation, request.row, icon);
  }
}

GalleryView::GalleryView(ThumbnailModel* model, ThumbnailList& list, const ImageStore& store,
                         QWidget* parent)
    : QListView(parent), model_(model), list_(list), store_(store) {
  setViewMode(QListView::IconMode);
  setMovement(QListView::Static);
  setResizeMode(QListView::Adjust);
  setUniformItemSizes(true);
  setLayoutMode(QListView::Batched);
  setBatchSize(2000);
  setSpacing(kSpacing);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setItemDelegate(new GalleryDelegate(this));
  setModel(model);
  cache_.setMaxCost(kCacheKiB);
  connect(&decoder_, &GalleryDecoder::decoded, this, &GalleryView::OnDecoded, Qt::QueuedConnection);
  // Rows move or vanish: what was decoded for a view row no longer belongs to it.
  connect(model, &QAbstractItemModel::modelReset, this, &GalleryView::Forget);
  connect(model, &QAbstractItemModel::layoutChanged, this, &GalleryView::Forget);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &GalleryView::Forget);
}

void GalleryView::Forget() {
  ++generation_;
  cache_.clear();
  requested_.clear();
  decoder_.Drop();
}

QImage GalleryView::Icon(int row) {
  if (const QImage* icon = cache_.object(row)) return *icon;
  if (requested_.contains(row)) return {};
  const ThumbnailRow* record = model_->RowAt(row);
  if (record == nullptr || (record->length == 0 && record->source_kind == SourceKind::kImageStore))
    return {};
  GalleryRequest request;
  request.generation = generation_;
  request.row = row;
  request.edge = edge_;
  if (record->source_kind == SourceKind::kImageStore) {
    const std::span<const uint8_t> stored = store_.View(record->start, record->length);
    request.bytes = QByteArray(reinterpret_cast<const char*>(stored.data()),
                               static_cast<qsizetype>(stored.size()));
  } else {
    if (record->source >= list_.source_count()) return {};
    request.file = list_.SourceOf(*record);
    request.image = list_.SourceBytes(record->source);
    request.offset = record->start;
    request.length = record->length;
  }
  requested_.insert(row);
  decoder_.Request(std::move(request));
  return {};
}

void GalleryView::SetIconEdge(int edge) {
  edge = std::clamp(edge, kSmallestEdge, kLargestEdge);
  if (edge == edge_) return;
  edge_ = edge;
  // Icons of the old size are worth nothing now; the grid is laid out anew.
  Forget();
  scheduleDelayedItemsLayout();
  viewport()->update();
}

QRect GalleryView::CheckRect(const QRect& item) const {
  const int side = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
  return QRect(item.left() + kCheckMargin, item.top() + kCheckMargin, side, side);
}

void GalleryView::ToggleCheck(const QModelIndex& index) {
  if (!index.isValid()) return;
  const QModelIndex box = model_->index(index.row(), 0);
  const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  model_->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void GalleryView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    ToggleCheck(currentIndex());
    return;
  }
  QListView::keyPressEvent(event);
}

void GalleryView::OnDecoded(quint64 generation, int row, const QImage& icon) {
  if (generation != generation_) return;
  requested_.remove(row);
  const int cost = std::max<int>(1, static_cast<int>(icon.sizeInBytes() / 1024));
  cache_.insert(row, new QImage(icon), cost);
  viewport()->update(visualRect(model_->index(row, 0)));
}

bool GalleryDelegate::editorEvent(QEvent* event, QAbstractItemModel* /*model*/,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (event->type() != QEvent::MouseButtonRelease) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton ||
      !view_->CheckRect(option.rect).contains(mouse->position().toPoint()))
    return false;
  view_->ToggleCheck(index);
  return true;
}

QSize GalleryDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& /*index*/) const {
  const int line = option.fontMetrics.height();
  const int edge = view_->icon_edge();
  return {edge + 8, edge + 8 + kTextLines * line};
}

void GalleryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  painter->save();
  if (item.state.testFlag(QStyle::State_Selected)) {
    painter->fillRect(item.rect, item.palette.highlight());
    painter->setPen(item.palette.highlightedText().color());
  } else {
    painter->setPen(item.palette.text().color());
  }
  const int edge = view_->icon_edge();
  const QRect picture_area(item.rect.left() + (item.rect.width() - edge) / 2, item.rect.top() + 4,
                           edge, edge);
  const QImage icon = view_->Icon(index.row());
  if (!icon.isNull() && icon.text(QStringLiteral("failed")).isEmpty()) {
    // Small thumbnails are drawn at their own size, never blown up.
    QSize shown = icon.size();
    if (shown.width() > edge || shown.height() > edge) shown.scale(edge, edge, Qt::KeepAspectRatio);
    const QRect target(picture_area.left() + (edge - shown.width()) / 2,
                       picture_area.top() + (edge - shown.height()) / 2, shown.width(),
                       shown.height());
    if (icon.hasAlphaChannel()) DrawCheckerboard(*painter, target);
    painter->drawImage(target, icon);
  } else {
    painter->fillRect(picture_area.adjusted(edge / 4, edge / 4, -edge / 4, -edge / 4),
                      item.palette.alternateBase());
  }
  // Number on the first line, name on the second, cut to fit.
  const ThumbnailModel* model = static_cast<const ThumbnailModel*>(index.model());
  const QString number = model->data(model->index(index.row(), 0), Qt::DisplayRole).toString();
  const QString name = model->data(model->index(index.row(), 1), Qt::DisplayRole).toString();
  const int line = item.fontMetrics.height();
  QRect text(item.rect.left() + 2, picture_area.bottom() + 3, item.rect.width() - 4, line);
  painter->drawText(text, Qt::AlignHCenter | Qt::AlignVCenter,
                    item.fontMetrics.elidedText(number, Qt::ElideRight, text.width()));
  text.translate(0, line);
  painter->drawText(text, Qt::AlignHCenter | Qt::AlignVCenter,
                    item.fontMetrics.elidedText(name, Qt::ElideMiddle, text.width()));
  // The row's check box, as the list shows it, in the item's corner.
  QStyleOptionButton box;
  box.rect = view_->CheckRect(item.rect);
  box.state = QStyle::State_Enabled |
              (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                     : QStyle::State_Off);
  view_->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, view_);
  if (item.state.testFlag(QStyle::State_HasFocus)) {
    QPen pen(item.palette.highlight().color());
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->drawRect(item.rect.adjusted(0, 0, -1, -1));
  }
  painter->restore();
}

}  // namespace glintvane
