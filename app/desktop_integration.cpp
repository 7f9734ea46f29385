#include "desktop_integration.h"

#include <QWidget>

#include <exception>

#include "about_box.h"
#include "base/error_codes.h"
#include "platform/app_paths.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/launchers.h"
#include "window_context.h"

namespace glintvane {

DesktopIntegration::DesktopIntegration(WindowContext& context, QWidget* window,
                                       std::function<void(const QString&)> open_address)
    : QObject(window), context_(context), window_(window), open_address_(std::move(open_address)) {}

QString DesktopIntegration::LauncherFailureText(bool desktop, const QString& reason) const {
  QString text = context_.UiText(kTextError) + QStringLiteral(": \n") +
                 context_.UiText(desktop ? kTextDesktopIconFailed : kTextQuickLaunchIconFailed);
  if (!reason.isEmpty()) text += QStringLiteral("\n") + reason;
  return text;
}

void DesktopIntegration::CreateLauncher(bool desktop) {
  platform::Dialogs& dialogs = context_.dialogs();
  try {
    const platform::LauncherFields fields =
        platform::ProgramLauncherFields(context_.UiText(kTextProductName));
    // The desktop folder must exist already; the menu folder is made when
    // a fresh account lacks it, as any program installing a menu entry does.
    const QString reason =
        desktop ? platform::WriteLauncher(platform::DesktopFolder(), false, fields, true)
                : platform::WriteLauncher(platform::ApplicationMenuFolder(), true, fields, false);
    if (reason.isEmpty()) {
      dialogs.ShowMessage(window_, platform::MessageKind::kInformation,
                          context_.UiText(kTextOperationComplete));
    } else {
      dialogs.ShowMessage(window_, platform::MessageKind::kError,
                          LauncherFailureText(desktop, reason));
    }
  } catch (const std::exception& e) {
    context_.AddError(kErrException, context_.open_file(),
                      QStringLiteral("std::exception: ") + QString::fromUtf8(e.what()));
  }
}

void DesktopIntegration::OpenAddress(const QString& address) {
  if (open_address_) {
    open_address_(address);
  } else {
    platform::Desktop::OpenAddress(address);
  }
}

void DesktopIntegration::ShowHelp() {
  // No guide anywhere: nothing happens, as with any missing help.
  const QString guide = platform::AppPaths::GuideFile();
  if (!guide.isEmpty()) platform::Desktop::OpenWithDesktop(guide);
}

void DesktopIntegration::OpenSupport() {
  OpenAddress(web_address_);
}

void DesktopIntegration::ShowAbout() {
  AboutBox about(
      web_address_, version_text_, [this](const QString& a) { OpenAddress(a); }, window_);
  about.exec();
}

}  // namespace glintvane
