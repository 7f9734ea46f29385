// A layout that puts its items in a row and goes on in a new row when the
// width runs out, so that a row of buttons never squeezes its captions: the
// image view's tools fit a narrow pane in every language.
#pragma once

#include <QLayout>
#include <QList>

namespace glintvane {

class FlowLayout : public QLayout {
 public:
  explicit FlowLayout(QWidget* parent, int spacing = 6);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override { return items_.value(index); }
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return Arrange(QRect(0, 0, width, 0), false); }
  QSize sizeHint() const override { return minimumSize(); }
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items in `rect` (when `apply`) and returns the height used.
  int Arrange(const QRect& rect, bool apply) const;

  QList<QLayoutItem*> items_;
  int spacing_;
};

}  // namespace glintvane
