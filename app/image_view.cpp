#include "image_view.h"

#include <QPainter>

namespace glintvane {

namespace {

constexpr int kCheckerSquare = 8;

}  // namespace

void DrawCheckerboard(QPainter& painter, const QRect& rect) {
  painter.save();
  painter.setClipRect(rect);
  painter.fillRect(rect, QColor(0xff, 0xff, 0xff));
  const QColor grey(0xcc, 0xcc, 0xcc);
  for (int y = rect.top(); y <= rect.bottom(); y += kCheckerSquare) {
    const int row = (y - rect.top()) / kCheckerSquare;
    for (int x = rect.left() + (row % 2) * kCheckerSquare; x <= rect.right();
         x += 2 * kCheckerSquare)
      painter.fillRect(x, y, kCheckerSquare, kCheckerSquare, grey);
  }
  painter.restore();
}

QRect DisplayRect(int w, int h, int cw, int ch, bool stretch) {
  if (w <= 0 || h <= 0) return {};
  int dw = w;
  int dh = h;
  if (stretch || w > cw || h > ch) {
    const double aspect = static_cast<double>(w) / h;
    if (w > h) {
      dw = cw;
      dh = static_cast<int>(cw / aspect);
      if (dh > ch) {
        dh = ch;
        dw = static_cast<int>(ch * aspect);
      }
    } else {
      dh = ch;
      dw = static_cast<int>(ch * aspect);
      if (dw > cw) {
        dw = cw;
        dh = static_cast<int>(cw / aspect);
      }
    }
  }
  return QRect((cw - dw) / 2, (ch - dh) / 2, dw, dh);
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(16, 16);
}

void ImageView::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

void ImageView::SetStretch(bool stretch) {
  if (stretch_ == stretch) return;
  stretch_ = stretch;
  update();
}

QRect ImageView::PictureRect() const {
  const int w = picture_.width();
  const int h = picture_.height();
  const QRect fitted = DisplayRect(w, h, width(), height(), stretch_);
  // Best fit stops at twice the picture's size: a 16 x 11 thumbnail blown
  // up to fill the view is only blur, and hides how small the evidence is.
  if (stretch_ && fitted.width() > kMaxBestFitScale * w) {
    const int cw = kMaxBestFitScale * w;
    const int ch = kMaxBestFitScale * h;
    return QRect((width() - cw) / 2, (height() - ch) / 2, cw, ch);
  }
  return fitted;
}

void ImageView::paintEvent(QPaintEvent* /*event*/) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect target = PictureRect();
  if (picture_.hasAlphaChannel()) DrawCheckerboard(painter, target);
  painter.drawImage(target, picture_);
}

}  // namespace glintvane
