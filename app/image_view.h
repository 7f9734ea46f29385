// The picture of the image view: always centred, always in proportion; the
// stretch flag chooses between best fit and actual size.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

class QPainter;

namespace glintvane {

// Where a w x h picture is drawn in a cw x ch area. It is scaled when
// `stretch` is on or when it does not fit; scaled pictures keep their
// proportions (sizes truncated), and the result is centred.
QRect DisplayRect(int w, int h, int cw, int ch, bool stretch);

// Paints a grey and white checkerboard under `rect`, for pictures with
// transparent parts (icons in thumbcache files): drawn on white they would
// vanish.
void DrawCheckerboard(QPainter& painter, const QRect& rect);

class ImageView : public QWidget {
  Q_OBJECT

 public:
  explicit ImageView(QWidget* parent = nullptr);

  const QImage& picture() const { return picture_; }
  void SetPicture(QImage picture);
  void ClearPicture() { SetPicture({}); }

  bool stretch() const { return stretch_; }
  void SetStretch(bool stretch);

  // Best fit enlarges a small picture at most this many times.
  static constexpr int kMaxBestFitScale = 2;

  // Where the picture is drawn now, in widget coordinates: DisplayRect,
  // with best fit's enlargement held to kMaxBestFitScale.
  QRect PictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  bool stretch_ = true;
};

}  // namespace glintvane
