#include "settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace glintvane {
namespace {

// The question each answer belongs to, as the person met it, in the order
// of Question.
constexpr int kQuestionTexts[kQuestionCount] = {kTextSeeErrorDetails, kTextRunHtmlFile,
                                                kTextOpenDestinationFolder};

QString WithoutDots(QString text) {
  while (text.endsWith(QLatin1Char('.'))) text.chop(1);
  return text;
}

}  // namespace

SettingsDialog::SettingsDialog(const WindowContext& context, const WindowSettings& settings,
                               QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("SettingsDialog"));
  setWindowTitle(WithoutDots(context.UiText(kTextSettings)));
  auto* layout = new QVBoxLayout(this);

  auto* times = new QGroupBox(context.UiText(kTextDatesAndTimes), this);
  auto* times_layout = new QVBoxLayout(times);
  IsoDates = new QCheckBox(context.UiText(kTextIsoDates), times);
  IsoDates->setChecked(settings.time.iso);
  LocalTime = new QRadioButton(context.UiText(kTextLocalTime), times);
  UtcTime = new QRadioButton(QStringLiteral("UTC"), times);
  (settings.time.zone == TimeZoneChoice::kUtc ? UtcTime : LocalTime)->setChecked(true);
  times_layout->addWidget(IsoDates);
  times_layout->addWidget(LocalTime);
  times_layout->addWidget(UtcTime);
  layout->addWidget(times);

  auto* questions = new QGroupBox(context.UiText(kTextQuestions), this);
  auto* questions_layout = new QFormLayout(questions);
  questions_layout->setRowWrapPolicy(QFormLayout::WrapLongRows);
  for (int i = 0; i < kQuestionCount; ++i) {
    Answers[i] = new QComboBox(questions);
    Answers[i]->addItems(
        {context.UiText(kTextAsk), context.UiText(kTextAlwaysYes), context.UiText(kTextAlwaysNo)});
    Answers[i]->setCurrentIndex(static_cast<int>(settings.answers[i]));
    questions_layout->addRow(context.UiText(kQuestionTexts[i]), Answers[i]);
  }
  layout->addWidget(questions);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(context.UiText(kTextOk));
  buttons->button(QDialogButtonBox::Cancel)->setText(context.UiText(kTextCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void SettingsDialog::Edit(WindowContext& context, QWidget* parent) {
  SettingsDialog dialog(context, context.Settings(), parent);
  if (dialog.exec() == QDialog::Accepted) context.ApplySettings(dialog.settings());
}

WindowSettings SettingsDialog::settings() const {
  WindowSettings chosen;
  chosen.time.iso = IsoDates->isChecked();
  chosen.time.zone = UtcTime->isChecked() ? TimeZoneChoice::kUtc : TimeZoneChoice::kLocal;
  for (int i = 0; i < kQuestionCount; ++i)
    chosen.answers[i] = static_cast<QuestionAnswer>(Answers[i]->currentIndex());
  return chosen;
}

}  // namespace glintvane
