#include "carve_kinds_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/settings.h"

namespace glintvane {
namespace {

// The setting that keeps the choice, as --kinds writes it ("jfif,png").
constexpr char kCarveKindsValue[] = "CarveKinds";

QString Caption(CarveKind kind) {
  switch (kind) {
    case CarveKind::kJfif:
      return QStringLiteral("JPEG images with a JFIF header");
    case CarveKind::kExif:
      return QStringLiteral("JPEG images that start with Exif data (camera pictures)");
    case CarveKind::kJpeg:
      return QStringLiteral("Other JPEG images (kept only when whole)");
    case CarveKind::kPng:
      return QStringLiteral("PNG pictures");
    case CarveKind::kBmp:
      return QStringLiteral("BMP pictures");
  }
  return {};
}

}  // namespace

CarveKindsDialog::CarveKindsDialog(CarveKinds preselected, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CarveKindsDialog"));
  setWindowTitle(QStringLiteral("Brute Force Attack"));
  if (preselected.empty()) preselected = kDefaultCarveKinds;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Look for these kinds of picture:"), this));
  for (int k = 0; k < kCarveKindCount; ++k) {
    const auto kind = static_cast<CarveKind>(k);
    auto* box = new QCheckBox(Caption(kind), this);
    box->setObjectName(QStringLiteral("CarveKind_") + QString::fromLatin1(CarveKindName(kind)));
    box->setChecked(preselected.Has(kind));
    connect(box, &QCheckBox::toggled, this, &CarveKindsDialog::BoxesChanged);
    boxes_[static_cast<size_t>(k)] = box;
    layout->addWidget(box);
  }
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
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

void CarveKindsDialog::BoxesChanged() {
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!kinds().empty());
}

std::optional<CarveKinds> CarveKindsDialog::Ask(QWidget* parent, CarveKinds preselected) {
  CarveKindsDialog dialog(preselected, parent);
  if (dialog.exec() != QDialog::Accepted || dialog.kinds().empty()) return std::nullopt;
  return dialog.kinds();
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
