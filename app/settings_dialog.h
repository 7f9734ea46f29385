// The Settings dialog: how times are written (the language's own dates or
// ISO 8601, local time or UTC) and how the questions that can be answered
// once are answered.
#pragma once

#include <QDialog>

#include "window_context.h"

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace glintvane {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(const WindowContext& context, const WindowSettings& settings,
                 QWidget* parent = nullptr);
  // Shows the dialog over `parent` with the context's settings and puts
  // what was chosen into force.
  static void Edit(WindowContext& context, QWidget* parent);

  WindowSettings settings() const;

  QCheckBox* IsoDates = nullptr;
  QRadioButton* LocalTime = nullptr;
  QRadioButton* UtcTime = nullptr;
  QComboBox* Answers[kQuestionCount] = {};
};

}  // namespace glintvane
