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

QString DesktopIntegration::ReasonText(const platform::LauncherOutcome& outcome) const {
  switch (outcome.failure) {
    case platform::LauncherFailure::kNone:
      break;
    case platform::LauncherFailure::kNoFolderNamed:
      return context_.UiText(kTextNoFolderNamed);
    case platform::LauncherFailure::kFolderMissing:
      return context_.UiText(kTextFolderMissing).arg(outcome.folder);
    case platform::LauncherFailure::kNotAFolder:
      return context_.UiText(kTextNotAFolder).arg(outcome.folder);
    case platform::LauncherFailure::kWriteFailed:
      return outcome.detail;
  }
  return {};
}

void DesktopIntegration::CreateLauncher(bool desktop) {
  platform::Dialogs& dialogs = context_.dialogs();
  try {
    const platform::LauncherFields fields =
        platform::ProgramLauncherFields(context_.UiText(kTextProductName));
    // The desktop folder must exist already; the menu folder is made when
    // a fresh account lacks it, as any program installing a menu entry does.
    const platform::LauncherOutcome outcome =
        desktop ? platform::WriteLauncher(platform::DesktopFolder(), false, fields, true)
                : platform::WriteLauncher(platform::ApplicationMenuFolder(), true, fields, false);
    if (outcome.ok()) {
      dialogs.ShowMessage(window_, platform::MessageKind::kInformation,
                          context_.UiText(kTextOperationComplete));
    } else {
      dialogs.ShowMessage(window_, platform::MessageKind::kError,
                          LauncherFailureText(desktop, ReasonText(outcome)));
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

void DesktopIntegration::SetGuide(const QString& path, std::function<bool(const QString&)> show) {
  guide_ = path;
  show_guide_ = std::move(show);
}

void DesktopIntegration::ShowHelp() {
  // Help never does nothing: a guide that cannot be shown is named, so it
  // can be opened by hand.
  platform::Dialogs& dialogs = context_.dialogs();
  const QString guide = guide_.isEmpty() ? platform::AppPaths::GuideFile() : guide_;
  if (guide.isEmpty()) {
    dialogs.ShowMessage(window_, platform::MessageKind::kInformation,
                        context_.UiText(kTextNoGuide));
    return;
  }
  const bool shown =
      show_guide_ ? show_guide_(guide)
                  : platform::Desktop::CanShowHtml() && platform::Desktop::OpenWithDesktop(guide);
  if (!shown) {
    dialogs.ShowMessage(window_, platform::MessageKind::kInformation,
                        context_.UiText(kTextNoBrowser) + QStringLiteral("\n") + guide);
  }
}

void DesktopIntegration::OpenSupport() {
  OpenAddress(web_address_);
}

void DesktopIntegration::ShowAbout() {
  AboutTexts texts;
  texts.title = context_.UiText(kTextAbout);
  texts.tagline = context_.UiText(kTextAboutTagline);
  texts.ok = context_.UiText(kTextOk);
  AboutBox about(
      web_address_, version_text_, [this](const QString& a) { OpenAddress(a); }, window_, texts);
  about.exec();
}

}  // namespace glintvane
