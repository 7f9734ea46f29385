// The About box: a small fixed black box with the logo, the maker's web
// address and an OK button. Shift+click on the picture swaps the logo for a
// second picture and back.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>

#include <functional>

class QPushButton;

namespace glintvane {

// Makes the window's pictures (logo, icon) reachable as ":/glintvane/...".
void RegisterWindowResources();

// A picture that reports a left press together with the keyboard state.
class AboutPicture : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void pressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

// The web address panel: clicking it (or Enter/Space while it has the focus)
// opens the address.
class AddressPanel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// The box's words, in the chosen language.
struct AboutTexts {
  QString title = QStringLiteral("About...");
  QString tagline = QStringLiteral("thumbnail cache viewer");  // under the name on the logo
  QString ok = QStringLiteral("OK");
};

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  // `open_address` hands the web address to the browser; tests replace it.
  AboutBox(const QString& web_address, const QString& version_text,
           std::function<void(const QString&)> open_address, QWidget* parent = nullptr,
           const AboutTexts& texts = {});

  AboutPicture* ImgAbout1 = nullptr;
  AddressPanel* Panel2 = nullptr;
  QPushButton* CancelButton = nullptr;
  QPixmap Image1;  // the logo
  QPixmap Image2;  // the second picture

  // 1 while the logo shows, 2 while the second picture shows.
  int tag() const { return tag_; }

  void ImgAbout1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
  void ImageMainClick();
  void Panel2Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  void ShowPicture();

  std::function<void(const QString&)> open_address_;
  QString tagline_;
  int tag_ = 1;
};

}  // namespace glintvane
