#include "window_commands.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QStyle>
#include <QWidget>

#include "window_context.h"

namespace glintvane {
namespace {

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget) {
  return QIcon::fromTheme(QString::fromLatin1(name), widget->style()->standardIcon(fallback));
}

}  // namespace

void WindowCommands::CreateCommands(QWidget* window) {
  for (QAction** slot :
       {&ActionExit,        &ActionOpen,           &ActionOpenEvidence,   &ActionSearchAll,
        &ActionBruteForce,  &ActionShowThumb,      &ActionExtract,        &ActionExtractSelected,
        &ActionView,        &ActionOpenWith,       &ActionOrigView,       &ActionBestFit,
        &ActionActualSize,  &ActionLeftRotate,     &ActionRightRotate,    &ActionSelectAll,
        &ActionUnselectAll, &ActionInvert,         &ActionDesktopIcon,    &ActionQuickLaunchIcon,
        &ActionHelp,        &ActionHelpOnline,     &ActionHelpAbout,      &ActionShowGallery,
        &ActionUtcTimes,    &ActionSettings,       &ActionNewCase,        &ActionOpenCase,
        &ActionCloseCase,   &ActionExaminerReport, &ActionExportTimeline, &ActionChooseSearchIndex})
    *slot = new QAction(window);

  ActionExit->setIcon(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton, window));
  ActionOpen->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton, window));
  ActionSearchAll->setIcon(ThemeIcon("system-search", QStyle::SP_FileDialogContentsView, window));
  ActionBruteForce->setIcon(ThemeIcon("drive-harddisk", QStyle::SP_DriveHDIcon, window));
  ActionShowThumb->setIcon(ThemeIcon("image-x-generic", QStyle::SP_FileDialogDetailedView, window));
  ActionLeftRotate->setIcon(ThemeIcon("object-rotate-left", QStyle::SP_ArrowLeft, window));
  ActionRightRotate->setIcon(ThemeIcon("object-rotate-right", QStyle::SP_ArrowRight, window));

  // The three checking commands share one handler that tells them apart by
  // their tag.
  ActionSelectAll->setData(1);
  ActionUnselectAll->setData(2);
  ActionInvert->setData(3);
  ActionUtcTimes->setCheckable(true);

  // Best fit and actual size are one choice; best fit is in force at start.
  auto* modes = new QActionGroup(window);
  modes->setExclusive(true);
  for (QAction* mode : {ActionBestFit, ActionActualSize}) {
    mode->setCheckable(true);
    modes->addAction(mode);
  }
  ActionBestFit->setChecked(true);

  // The keyboard: the desktop's standard keys where there is one, Ctrl and
  // a letter of the command's name otherwise.
  const std::pair<QAction*, QKeySequence> keys[] = {
      {ActionOpen, QKeySequence::Open},
      {ActionExit, QKeySequence::Quit},
      {ActionHelp, QKeySequence::HelpContents},
      {ActionSelectAll, QKeySequence::SelectAll},
      {ActionUnselectAll, QKeySequence(QStringLiteral("Ctrl+Shift+A"))},
      {ActionInvert, QKeySequence(QStringLiteral("Ctrl+I"))},
      {ActionSearchAll, QKeySequence(QStringLiteral("Ctrl+F"))},
      {ActionBruteForce, QKeySequence(QStringLiteral("Ctrl+B"))},
      {ActionExtract, QKeySequence(QStringLiteral("Ctrl+E"))},
      {ActionExtractSelected, QKeySequence(QStringLiteral("Ctrl+Shift+E"))},
      {ActionOpenWith, QKeySequence(QStringLiteral("Ctrl+Shift+O"))},
      {ActionShowThumb, QKeySequence(QStringLiteral("Ctrl+T"))},
      {ActionOrigView, QKeySequence(QStringLiteral("Ctrl+Shift+V"))},
      {ActionBestFit, QKeySequence(QStringLiteral("Ctrl+Shift+F"))},
      {ActionActualSize, QKeySequence(QStringLiteral("Ctrl+0"))},
      {ActionLeftRotate, QKeySequence(QStringLiteral("Ctrl+L"))},
      {ActionRightRotate, QKeySequence(QStringLiteral("Ctrl+R"))},
      {ActionShowGallery, QKeySequence(QStringLiteral("Ctrl+G"))},
      {ActionUtcTimes, QKeySequence(QStringLiteral("Ctrl+U"))},
      {ActionSettings, QKeySequence(QStringLiteral("Ctrl+,"))},
      {ActionExaminerReport, QKeySequence(QStringLiteral("Ctrl+Shift+R"))},
  };
  for (const auto& [action, key] : keys) {
    action->setShortcut(key);
    window->addAction(action);
  }
}

void WindowCommands::ApplyCommandTexts(const WindowContext& context) {
  const std::pair<QAction*, int> same_text[] = {
      {ActionExit, kTextExit},
      {ActionOpen, kTextOpen},
      {ActionOpenEvidence, kTextOpenEvidence},
      {ActionBestFit, kTextBestFit},
      {ActionActualSize, kTextActualSize},
      {ActionLeftRotate, kTextRotateLeft},
      {ActionRightRotate, kTextRotateRight},
      {ActionDesktopIcon, kTextDesktopIcon},
      {ActionQuickLaunchIcon, kTextQuickLaunchIcon},
      {ActionExtract, kTextExtractChecked},
      {ActionView, kTextOpenSelected},
      {ActionInvert, kTextInvertSelection},
      {ActionSelectAll, kTextSelectAll},
      {ActionHelp, kTextHelpCommand},
      {ActionHelpOnline, kTextOnlineSupport},
      {ActionHelpAbout, kTextAbout},
      {ActionUnselectAll, kTextUnselectAll},
      {ActionExtractSelected, kTextExtractSelected},
      {ActionOpenWith, kTextOpenSelectedWith},
      {ActionShowThumb, kTextThumbsDbShow},
      {ActionOrigView, kTextOriginalFileView},
      {ActionBruteForce, kTextBruteForceAttack},
      {ActionShowGallery, kTextGallery},
      {ActionUtcTimes, kTextUtcTimes},
      {ActionSettings, kTextSettings},
      {ActionNewCase, kTextNewCase},
      {ActionOpenCase, kTextOpenCase},
      {ActionCloseCase, kTextCloseCase},
      {ActionExaminerReport, kTextExaminerReportCommand},
      {ActionExportTimeline, kTextExportTimeline},
      {ActionChooseSearchIndex, kTextChooseSearchIndex},
  };
  for (const auto& [action, text] : same_text) {
    action->setText(context.UiText(text));
    action->setToolTip(context.UiText(text));
  }
  ActionSearchAll->setText(context.UiText(kTextFileLocator));
  ActionSearchAll->setToolTip(context.UiText(kTextCollectAllHint));
}

void WindowCommands::SetCommandsForWork(bool working) {
  if (working) {
    for (QAction* action :
         {ActionOpen,           ActionOpenEvidence,     ActionSearchAll,       ActionBruteForce,
          ActionShowThumb,      ActionExtract,          ActionExtractSelected, ActionView,
          ActionOpenWith,       ActionOrigView,         ActionSelectAll,       ActionUnselectAll,
          ActionInvert,         ActionLeftRotate,       ActionRightRotate,     ActionSettings,
          ActionNewCase,        ActionOpenCase,         ActionCloseCase,       ActionExaminerReport,
          ActionExportTimeline, ActionChooseSearchIndex})
      action->setEnabled(false);
    return;
  }
  // The rest follow the lists again (UpdateCommands, UpdateImageView).
  for (QAction* action : {ActionOpen, ActionOpenEvidence, ActionSearchAll, ActionBruteForce,
                          ActionShowThumb, ActionLeftRotate, ActionRightRotate, ActionSettings,
                          ActionNewCase, ActionOpenCase, ActionChooseSearchIndex})
    action->setEnabled(true);
}

}  // namespace glintvane
