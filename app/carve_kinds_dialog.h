// The question the Brute Force command asks before it carves: which kinds
// of picture to look for. JFIF alone is what the command always carved; the
// last choice is kept in the settings and offered again.
#pragma once

#include <QDialog>

#include <array>
#include <optional>

#include "carve/carve_kinds.h"

class QCheckBox;
class QDialogButtonBox;

namespace glintvane {

class CarveKindsDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens with the kinds of `preselected` ticked (JFIF when it is empty).
  explicit CarveKindsDialog(CarveKinds preselected, QWidget* parent = nullptr);

  // The kinds ticked; OK is offered only while at least one is.
  CarveKinds kinds() const;
  QCheckBox* box(CarveKind kind) const { return boxes_[static_cast<size_t>(kind)]; }

  // Runs the dialog; nullopt when it is cancelled.
  static std::optional<CarveKinds> Ask(QWidget* parent, CarveKinds preselected);

 private:
  void BoxesChanged();

  std::array<QCheckBox*, kCarveKindCount> boxes_{};
  QDialogButtonBox* buttons_ = nullptr;
};

// The kinds chosen last, from the settings: JFIF when none were kept (or
// what was kept cannot be read).
CarveKinds LoadCarveKinds();
// Keeps `kinds` in the settings for the next Brute Force.
void SaveCarveKinds(CarveKinds kinds);

}  // namespace glintvane
