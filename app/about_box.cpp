#include "about_box.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>

#include <utility>

// The pictures live in the window library's resources, which a static
// library must register by hand.
static void RegisterPictures() {
  Q_INIT_RESOURCE(glintvane);
}

namespace glintvane {

void RegisterWindowResources() {
  RegisterPictures();
}

namespace {

// The box's client area and its controls, in pixels.
constexpr QSize kClientSize(225, 287);
constexpr QRect kPictureRect(17, 14, 191, 175);
constexpr QRect kAddressRect(16, 200, 193, 41);
constexpr QRect kButtonRect(75, 256, 75, 25);
// The tagline's line on the logo, under the program's name.
constexpr int kTaglineTop = 151;
constexpr int kTaglineHeight = 16;
constexpr int kTaglinePixels = 11;
constexpr QColor kTaglineColour(0x9f, 0xc3, 0xe4);

}  // namespace

void AboutPicture::mousePressEvent(QMouseEvent* event) {
  emit pressed(event->button(), event->modifiers());
  QLabel::mousePressEvent(event);
}

void AddressPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void AddressPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

AboutBox::AboutBox(const QString& web_address, const QString& version_text,
                   std::function<void(const QString&)> open_address, QWidget* parent,
                   const AboutTexts& texts)
    : QDialog(parent), open_address_(std::move(open_address)), tagline_(texts.tagline) {
  // A title and a close button, nothing to minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(texts.title);
  setFixedSize(kClientSize);
  setSizeGripEnabled(false);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  black.setColor(QPalette::WindowText, Qt::white);
  setPalette(black);
  setAutoFillBackground(true);

  RegisterWindowResources();
  Image1 = QPixmap(QStringLiteral(":/glintvane/about-logo.png"));
  Image2 = QPixmap(QStringLiteral(":/glintvane/about-second.png"));

  ImgAbout1 = new AboutPicture(this);
  ImgAbout1->setObjectName(QStringLiteral("ImgAbout1"));
  ImgAbout1->setGeometry(kPictureRect);
  ImgAbout1->setAlignment(Qt::AlignCenter);
  ImgAbout1->setToolTip(version_text);
  connect(ImgAbout1, &AboutPicture::pressed, this, &AboutBox::ImgAbout1MouseDown);

  Panel2 = new AddressPanel(web_address, this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(kAddressRect);
  Panel2->setAlignment(Qt::AlignCenter);
  Panel2->setWordWrap(true);
  Panel2->setCursor(Qt::PointingHandCursor);
  Panel2->setFocusPolicy(Qt::StrongFocus);
  Panel2->setAutoFillBackground(true);
  Panel2->setPalette(black);
  QFont bold = Panel2->font();
  bold.setBold(true);
  Panel2->setFont(bold);
  Panel2->setToolTip(QStringLiteral("Free software under the Apache License, Version 2.0"));
  connect(Panel2, &AddressPanel::clicked, this, &AboutBox::Panel2Click);

  CancelButton = new QPushButton(texts.ok, this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(kButtonRect);
  CancelButton->setDefault(true);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::accept);

  tag_ = 1;
  ShowPicture();
}

void AboutBox::ShowPicture() {
  if (tag_ == 2) {
    // Unstretched, centred.
    ImgAbout1->setScaledContents(false);
    ImgAbout1->setPixmap(Image2);
  } else {
    // The logo fills the picture area, in proportion, with the tagline
    // under the name in the chosen language.
    ImgAbout1->setScaledContents(false);
    QPixmap logo =
        Image1.scaled(kPictureRect.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kTaglinePixels);
    painter.setFont(font);
    painter.setPen(kTaglineColour);
    const QRect line(0, kTaglineTop, logo.width(), kTaglineHeight);
    painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(tagline_, Qt::ElideRight, logo.width() - 4));
    painter.end();
    ImgAbout1->setPixmap(logo);
  }
}

void AboutBox::ImgAbout1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  if (button == Qt::LeftButton && modifiers.testFlag(Qt::ShiftModifier)) ImageMainClick();
}

void AboutBox::ImageMainClick() {
  tag_ = 3 - tag_;
  ShowPicture();
}

void AboutBox::Panel2Click() {
  if (open_address_) open_address_(Panel2->text());
}

void AboutBox::closeEvent(QCloseEvent* event) {
  tag_ = 1;
  QDialog::closeEvent(event);
}

void AboutBox::done(int result) {
  tag_ = 1;
  QDialog::done(result);
}

}  // namespace glintvane
