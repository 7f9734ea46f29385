#include "flow_layout.h"

#include <QWidget>

#include <algorithm>

namespace glintvane {

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent), spacing_(spacing) {
  setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) {
  items_.append(item);
}

QLayoutItem* FlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize FlowLayout::minimumSize() const {
  // As narrow as the widest item: everything else goes to a new row.
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->sizeHint());
  const QMargins margins = contentsMargins();
  return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, true);
}

int FlowLayout::Arrange(const QRect& rect, bool apply) const {
  const QMargins margins = contentsMargins();
  const QRect area = rect.marginsRemoved(margins);
  int x = area.x();
  int y = area.y();
  int row_height = 0;
  for (QLayoutItem* item : items_) {
    if (item->widget() != nullptr && item->widget()->isHidden()) continue;
    const QSize hint = item->sizeHint();
    if (x > area.x() && x + hint.width() > area.right() + 1) {
      x = area.x();
      y += row_height + spacing_;
      row_height = 0;
    }
    if (apply) item->setGeometry(QRect(QPoint(x, y), hint));
    x += hint.width() + spacing_;
    row_height = std::max(row_height, hint.height());
  }
  return y + row_height - rect.y() + margins.bottom();
}

}  // namespace glintvane
