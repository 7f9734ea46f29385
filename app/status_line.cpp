#include "status_line.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>

namespace glintvane {
namespace {

constexpr int kSmallestPanel = 20;

}  // namespace

StatusLine::StatusLine(QStatusBar* bar) : QObject(bar), bar_(bar) {
  for (int i = 0; i < 2; ++i) {
    panels_[i] = new QLabel(bar);
    panels_[i]->setFrameShape(QFrame::StyledPanel);
    panels_[i]->setFrameShadow(QFrame::Sunken);
    panels_[i]->setMinimumWidth(kSmallestPanel);
    bar->addWidget(panels_[i], i == 0 ? 0 : 1);
  }
  // The bar is a widget of the status bar's own layout, not laid over a
  // panel: the Cancel button beside it keeps its place and stays in sight.
  progress_ = new QProgressBar(bar);
  progress_->setObjectName(QStringLiteral("WorkProgress"));
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);
  progress_->hide();
  bar->addWidget(progress_, 1);
  cancel_ = new QPushButton(bar);
  cancel_->setObjectName(QStringLiteral("CancelWorkBtn"));
  cancel_->hide();
  bar->addPermanentWidget(cancel_);
}

QString StatusLine::Text(int panel) const {
  return panel == 0 || panel == 1 ? panels_[panel]->text() : QString();
}

void StatusLine::SetText(int panel, const QString& text) {
  makers_[panel] = nullptr;
  panels_[panel]->setText(text);
}

void StatusLine::SetText(int panel, std::function<QString()> text) {
  makers_[panel] = std::move(text);
  panels_[panel]->setText(makers_[panel] ? makers_[panel]() : QString());
}

std::function<QString()> StatusLine::Maker(int panel) const {
  if (makers_[panel]) return makers_[panel];
  return [text = panels_[panel]->text()] { return text; };
}

void StatusLine::Retranslate() {
  for (int i = 0; i < 2; ++i) {
    if (makers_[i]) panels_[i]->setText(makers_[i]());
  }
}

void StatusLine::FitPanels() {
  panels_[0]->setFixedWidth(std::max(kSmallestPanel, bar_->width() / 3));
}

void StatusLine::ShowProgress(bool shown) {
  progress_->setValue(0);
  panels_[1]->setVisible(!shown);
  progress_->setVisible(shown);
}

void StatusLine::SetProgress(int percent) {
  progress_->setValue(std::clamp(percent, progress_->minimum(), progress_->maximum()));
}

void StatusLine::ShowCancel(bool shown) {
  cancel_->setVisible(shown);
  cancel_->setEnabled(shown);
}

}  // namespace glintvane
