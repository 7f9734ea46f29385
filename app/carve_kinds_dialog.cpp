#include "carve_kinds_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/settings.h"

namespace glintvane {
namespace {

// The setting that keeps the choice, as --kinds writes it ("jfif,png").
constexpr char kCarveKindsValue[] = "CarveKinds";

}  // namespace

CarveKindsDialog::CarveKindsDialog(const CarveChoice& preselected, bool disk_image,
                                   const platform::DialogTexts& texts, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("CarveKindsDialog"));
  setWindowTitle(texts.carve_title);
  const CarveKinds ticked = preselected.kinds.empty() ? kDefaultCarveKinds : preselected.kinds;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(texts.carve_prompt, this));
  for (int k = 0; k < kCarveKindCount; ++k) {
    const auto kind = static_cast<CarveKind>(k);
    auto* box = new QCheckBox(texts.carve_kinds[static_cast<size_t>(k)], this);
    box->setObjectName(QStringLiteral("CarveKind_") + QString::fromLatin1(CarveKindName(kind)));
    box->setChecked(ticked.Has(kind));
    connect(box, &QCheckBox::toggled, this, &CarveKindsDialog::BoxesChanged);
    boxes_[static_cast<size_t>(k)] = box;
    layout->addWidget(box);
  }
  if (disk_image) {
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    unallocated_ = new QCheckBox(texts.carve_unallocated, this);
    unallocated_->setObjectName(QStringLiteral("CarveUnallocated"));
    unallocated_->setChecked(preselected.unallocated);
    layout->addWidget(unallocated_);
  }
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->button(QDialogButtonBox::Ok)->setText(texts.ok);
  buttons_->button(QDialogButtonBox::Cancel)->setText(texts.cancel);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons_);
  BoxesChanged();
}

CarveKinds CarveKindsDialog::kinds() const {
  CarveKinds kinds;
  for (int k = 0; k < kCarveKindCount; ++k) {
    if (boxes_[static_cast<size_t>(k)]->isChecked()) kinds = kinds.With(static_cast<CarveKind>(k));
  }
  return kinds;
}

CarveChoice CarveKindsDialog::choice() const {
  return {kinds(), unallocated_ != nullptr && unallocated_->isChecked()};
}

void CarveKindsDialog::BoxesChanged() {
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!kinds().empty());
}

std::optional<CarveChoice> CarveKindsDialog::Ask(QWidget* parent, const CarveChoice& preselected,
                                                 bool disk_image,
                                                 const platform::DialogTexts& texts) {
  CarveKindsDialog dialog(preselected, disk_image, texts, parent);
  if (dialog.exec() != QDialog::Accepted || dialog.kinds().empty()) return std::nullopt;
  return dialog.choice();
}

CarveKinds LoadCarveKinds() {
  QString error;
  const QString text = platform::Settings::RegistryString(platform::Settings::Group(), {},
                                                          QString::fromLatin1(kCarveKindsValue),
                                                          QStringLiteral("read"), &error);
  const auto kinds = ParseCarveKinds(text.toStdString());
  return kinds && !kinds->empty() ? *kinds : kDefaultCarveKinds;
}

void SaveCarveKinds(CarveKinds kinds) {
  QString error;
  platform::Settings::RegistryString(
      platform::Settings::Group(), QString::fromStdString(CarveKindsText(kinds)),
      QString::fromLatin1(kCarveKindsValue), QStringLiteral("write"), &error);
}

}  // namespace glintvane
