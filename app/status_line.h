// The status bar: two panels (the scan status and counts; the picture's
// dimensions), the progress bar that takes panel 1's place while work runs,
// and the Cancel button beside them. A panel's text can be given as a
// function, so that it is written again in a new language.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace glintvane {

class StatusLine : public QObject {
  Q_OBJECT

 public:
  explicit StatusLine(QStatusBar* bar);

  QStatusBar* bar() const { return bar_; }
  QPushButton* cancel_button() const { return cancel_; }
  QProgressBar* progress_bar() const { return progress_; }

  QString Text(int panel) const;
  // A fixed text (data, or a text already in the current language).
  void SetText(int panel, const QString& text);
  // A text made again whenever the language changes.
  void SetText(int panel, std::function<QString()> text);
  void Clear(int panel) { SetText(panel, QString()); }
  // What writes the panel's text now (a fixed text comes back as a function
  // returning it), to build a longer text on it.
  std::function<QString()> Maker(int panel) const;
  // Writes every panel made by a function again.
  void Retranslate();

  // Panel 0 gets a third of the bar's width, panel 1 the rest.
  void FitPanels();

  // The bar over 0..100 in panel 1's place, or panel 1 back.
  void ShowProgress(bool shown);
  void SetProgress(int percent);
  void ShowCancel(bool shown);

 private:
  QStatusBar* bar_;
  QLabel* panels_[2];
  std::function<QString()> makers_[2];
  QProgressBar* progress_;
  QPushButton* cancel_;
};

}  // namespace glintvane
