// The question the Brute Force command asks before it carves: which kinds
// of picture to look for and, for a disk image, whether only the
// unallocated space of its file systems. JFIF alone is what the command
// always carved; the last choice of kinds is kept in the settings and
// offered again.
#pragma once

#include <QDialog>

#include <array>
#include <optional>

#include "carve/carve_kinds.h"
#include "platform/dialogs.h"

class QCheckBox;
class QDialogButtonBox;

namespace glintvane {

class CarveKindsDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens with the kinds of `preselected` ticked (JFIF when it has none);
  // the unallocated-only box is there for a `disk_image` only.
  CarveKindsDialog(const CarveChoice& preselected, bool disk_image,
                   const platform::DialogTexts& texts = {}, QWidget* parent = nullptr);

  // The kinds ticked; OK is offered only while at least one is.
  CarveKinds kinds() const;
  CarveChoice choice() const;
  QCheckBox* box(CarveKind kind) const { return boxes_[static_cast<size_t>(kind)]; }
  // The unallocated-only box, or null when the file is no disk image.
  QCheckBox* unallocated_box() const { return unallocated_; }

  // Runs the dialog; nullopt when it is cancelled.
  static std::optional<CarveChoice> Ask(QWidget* parent, const CarveChoice& preselected,
                                        bool disk_image, const platform::DialogTexts& texts);

 private:
  void BoxesChanged();

  std::array<QCheckBox*, kCarveKindCount> boxes_{};
  QCheckBox* unallocated_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

// The kinds chosen last, from the settings: JFIF when none were kept (or
// what was kept cannot be read).
CarveKinds LoadCarveKinds();
// Keeps `kinds` in the settings for the next Brute Force.
void SaveCarveKinds(CarveKinds kinds);

}  // namespace glintvane
