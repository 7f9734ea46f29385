// The window as a citizen of the desktop: launchers on the desktop and in
// the application menu (Desktop and Quick Launch icons), the user guide,
// online support and the About box.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace glintvane {

class WindowContext;
namespace platform {
struct LauncherOutcome;
}

class DesktopIntegration : public QObject {
  Q_OBJECT

 public:
  // `open_address` receives the web addresses Online Support and the About
  // box open (null: the browser).
  DesktopIntegration(WindowContext& context, QWidget* window,
                     std::function<void(const QString&)> open_address);

  // The maker's web address and the version text (set at start).
  void SetWebAddress(const QString& address) { web_address_ = address; }
  void SetVersionText(const QString& text) { version_text_ = text; }
  const QString& web_address() const { return web_address_; }

  // ActionDesktopIconExecute (true) and ActionQuickLaunchIconExecute.
  void CreateLauncher(bool desktop);
  // The text of the Desktop / Quick Launch failure message for `reason`.
  QString LauncherFailureText(bool desktop, const QString& reason) const;
  // ActionHelpExecute: the user guide in the browser, or where to find it
  // when no browser can show it.
  void ShowHelp();
  // For tests: the guide's place and what shows it (default: the installed
  // guide, and the desktop's browser when there is one).
  void SetGuide(const QString& path, std::function<bool(const QString&)> show);
  void OpenSupport();
  void ShowAbout();

 private:
  void OpenAddress(const QString& address);
  QString ReasonText(const platform::LauncherOutcome& outcome) const;

  WindowContext& context_;
  QWidget* window_;
  std::function<void(const QString&)> open_address_;
  QString web_address_;
  QString version_text_;
  QString guide_;
  std::function<bool(const QString&)> show_guide_;
};

}  // namespace glintvane
