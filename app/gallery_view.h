// The gallery: every row's thumbnail in a grid, with its number and name
// under it. It is a second view over the thumbnail list's model and shares
// the list's selection, so highlighting a picture here highlights its row
// there. Pictures are decoded on a worker thread, only for the items on
// screen, and kept in a bounded cache, so 100,000 carved rows scroll as
// smoothly as ten and memory stays flat.
#pragma once

#include <QCache>
#include <QImage>
#include <QListView>
#include <QStyledItemDelegate>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace glintvane {

class ByteSource;
class ThumbnailModel;
class ThumbnailList;
class ImageStore;

// One picture to decode: the bytes (a copy, for the image store may change
// while the worker runs) or a range of a file on disk, or of the disk inside
// an image (kept open by the request while the list may drop it).
struct GalleryRequest {
  uint64_t generation = 0;
  int row = 0;
  int edge = 0;  // the icon's largest side
  QByteArray bytes;
  std::string file;
  std::shared_ptr<ByteSource> image;
  int64_t offset = 0;
  int64_t length = 0;
};

// The worker: decodes requests newest first into icons of at most their
// edge in pixels. Requests the view has scrolled away from fall off the end
// of the queue.
class GalleryDecoder : public QObject {
  Q_OBJECT

 public:
  explicit GalleryDecoder(QObject* parent = nullptr);
  ~GalleryDecoder() override;

  void Request(GalleryRequest request);
  // Forgets every queued request (the list changed).
  void Drop();
  // Decodes one request at once, on the calling thread.
  static QImage Decode(const GalleryRequest& request, int edge);

 signals:
  void decoded(quint64 generation, int row, const QImage& icon);

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<GalleryRequest> queue_;
  bool stop_ = false;
  std::thread thread_;
};

class GalleryView : public QListView {
  Q_OBJECT

 public:
  GalleryView(ThumbnailModel* model, ThumbnailList& list, const ImageStore& store,
              QWidget* parent = nullptr);

  // The decoded icon of view row `row`, or a null image while it is on its
  // way (the request is made then).
  QImage Icon(int row);
  int cached_icons() const { return cache_.count(); }

  // The icons' largest side: kIconEdge at first, kSmallestEdge to
  // kLargestEdge as the zoom slider sets it.
  int icon_edge() const { return edge_; }
  void SetIconEdge(int edge);
  static constexpr int kIconEdge = 112;
  static constexpr int kSmallestEdge = 48;
  static constexpr int kLargestEdge = 256;

  // Where the check box of an item drawn in `item` lies.
  QRect CheckRect(const QRect& item) const;
  // Checks or unchecks the row, as Space and a click on its box do.
  void ToggleCheck(const QModelIndex& index);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Forget();
  void OnDecoded(quint64 generation, int row, const QImage& icon);

  ThumbnailModel* model_;
  ThumbnailList& list_;
  const ImageStore& store_;
  GalleryDecoder decoder_;
  uint64_t generation_ = 1;
  int edge_ = kIconEdge;
  QCache<int, QImage> cache_;  // view row -> icon, cost in KiB
  QSet<int> requested_;
};

class GalleryDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit GalleryDelegate(GalleryView* view) : QStyledItemDelegate(view), view_(view) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // A click on an item's check box checks or unchecks its row.
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

 private:
  GalleryView* view_;
};

}  // namespace glintvane
