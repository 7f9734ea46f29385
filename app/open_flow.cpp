#include "open_flow.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTreeView>
#include <QWidget>

#include <exception>
#include <new>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/thumbs_reader.h"
#include "cache_list.h"
#include "carve_kinds_dialog.h"
#include "carving_flow.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_open.h"
#include "evidence_flow.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "locator_panel.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

// The help page of the question that offers carving.
constexpr int kCarveQuestionHelpContext = 2;

QString FilePart(const QString& path) {
  const std::string text = path.toStdString();
  return QString::fromStdString(std::string(LocalFilePart(text)));
}

// Carving can find something only in a file that opens and holds bytes; a
// device has no size of its own to tell, so it is offered.
bool CarvingCanFind(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.size() > 0 || !QFileInfo(path).isFile();
}

}  // namespace

OpenFlow::OpenFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

void OpenFlow::Open() {
  WindowContext& context = *parts_.context;
  context.SetCarvedList(false);
  // Caches copied from FAT disks often carry upper-case names.
  const QStringList filters{
      context.UiText(kTextThumbnailCacheFiles) + QStringLiteral(" (*.db *.DB)"),
      context.UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = context.dialogs().ChooseOpenFile(parts_.window, filters);
  if (path.isEmpty()) return;
  parts_.window->repaint();
  if (!MayReplaceList()) return;
  OpenFileOrImage(path);
}

void OpenFlow::OpenFileOrImage(const QString& path) {
  // A disk image is walked for its caches, not read as one.
  if (LooksLikeEvidenceImage(path.toStdString())) {
    parts_.evidence->OpenImage(path);
    return;
  }
  OpenFile(path);
}

bool OpenFlow::MayReplaceList() {
  // Checked rows are work the person has done: they are not thrown away
  // without a word.
  const int checked = parts_.list->CheckedCount();
  if (checked == 0) return true;
  WindowContext& context = *parts_.context;
  return context.dialogs().AskYesNo(parts_.window, context.UiText(kTextReplaceChecked).arg(checked),
                                    0);
}

void OpenFlow::BeginWithFile(const QString& path) {
  WindowContext& context = *parts_.context;
  context.errors().Clear();
  parts_.info->SetTabVisible(false);
  parts_.info->Clear();
  context.SetOpenFile(path);
  parts_.list->model()->SetHint(path);
  parts_.list->ListView1->setToolTip(path);
}

void OpenFlow::FreezeList() {
  parts_.list->SetChangeAttached(false);
  // The list is not redrawn until the read has ended.
  parts_.list->ListView1->setUpdatesEnabled(false);
  parts_.work->SetBusy(true);
  // The status line counts the work only, never a question left open.
  parts_.work->ResetElapsed();
  parts_.work->ShowProgress(true);
}

void OpenFlow::OpenFile(const QString& path) {
  OpenLocation(EvidenceLocationOfText(path.toStdString()));
}

void OpenFlow::OpenLocation(EvidenceLocation where) {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  const QString path = QString::fromStdString(FormatEvidenceLocation(where));
  BeginWithFile(path);
  parts_.list->SetChangeAttached(false);
  ClearList();
  parts_.window->repaint();
  FreezeList();
  const bool read = ReadLocation(where);
  // The list is drawn again and the status line says how it went before
  // anything is asked: a question never stands over a frozen list.
  EndListWork();
  if (read) {
    parts_.locator->SelectOrAddFoundCache(where);
    return;
  }
  parts_.work->SetBusy(true);
  ShowErrorList(path);
  if (!parts_.work->stopped() && CarvingCanFind(path)) {
    const QString command = context.UiText(kTextBruteForceAttack);
    const QString question = command + QStringLiteral("?\n") + path + QStringLiteral("\n\n") +
                             context.UiText(kTextCarveQuestion).arg(command);
    if (context.dialogs().AskYesNo(parts_.window, question, kCarveQuestionHelpContext)) {
      parts_.window->repaint();
      FreezeList();
      parts_.carving->CarveFile(path, CarveChoice{LoadCarveKinds()});
      EndListWork();
    }
  }
  parts_.work->SetBusy(false);
  parts_.work->AfterWork();
}

void OpenFlow::EndListWork() {
  WindowContext& context = *parts_.context;
  parts_.work->ShowProgress(false);
  const qint64 seconds = parts_.work->elapsed_ms() / 1000;
  const size_t files = context.thumbnails().size();
  parts_.status->SetText(0, [&context, seconds, files] {
    return QStringLiteral("%1 %2. %3: %4")
        .arg(seconds)
        .arg(context.UiText(kTextSec), context.UiText(kTextFiles))
        .arg(files);
  });
  if (parts_.work->stopped()) parts_.work->ShowCancelled();
  parts_.status->bar()->repaint();
  parts_.list->Refresh();
  parts_.list->FitToRows();
  parts_.list->ListView1->setUpdatesEnabled(true);
  parts_.work->SetBusy(false);
  parts_.list->SetChangeAttached(true);
  if (parts_.list->IsCurrentPage()) parts_.list->ListView1->setFocus();
  parts_.list->ShowFirstRow();
  parts_.work->AfterWork();
  emit context.ListReplaced();
}

bool OpenFlow::ReadLocation(const EvidenceLocation& where) {
  WindowContext& context = *parts_.context;
  context.errors().Clear();
  const std::string local_path = FormatEvidenceLocation(where);
  parts_.list->SetCaption(FilePart(QString::fromStdString(local_path)));
  emit context.CommandsChanged();

  CacheReadResult result;
  // The worker fills lists of its own; the window's lists take them over
  // when it has ended, so nothing the window draws changes under it.
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  CacheReadOptions options;
  options.date_time_format = context.DateTimePattern();
  options.time_zone = context.time_style().zone;
  options.open.search_index = context.search_index().toStdString();
  const UiTexts& texts = context.texts();
  ProgressSink* progress = parts_.work->progress();
  OpenImages& images = context.open_images();
  parts_.work->Run([&](std::stop_token stop) {
    try {
      result = ReadCacheAt(where, images,
                           CacheReadTarget{list, store, errors, texts, progress, stop}, options);
    } catch (const std::bad_alloc& e) {
      // The reader reports its own failures; only running out of memory on
      // a huge damaged file gets this far.
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::bad_alloc: ") + e.what());
    } catch (const std::exception& e) {
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::exception: ") + e.what());
    }
  });
  context.thumbnails() = std::move(list);
  context.image_store() = std::move(store);
  context.errors().Append(errors);

  parts_.list->Bring();
  parts_.info->SetTabVisible(true);
  parts_.info->Clear();
  if (result.ok) {
    parts_.info->ShowFileDetails(result.details);
    parts_.list->FitToRows();
  } else if (!context.errors().empty()) {
    parts_.info->ShowErrorLines();
  }
  return result.ok;
}

void OpenFlow::ChooseSearchIndex() {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  const QStringList filters{context.UiText(kTextSearchIndexFiles) +
                                QStringLiteral(" (Windows.edb Windows.db *.edb *.db)"),
                            context.UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = context.dialogs().ChooseOpenFile(parts_.window, filters);
  if (path.isEmpty()) return;
  context.SetSearchIndex(path);
  // The list shows a cache: read it again, named by the chosen index.
  const QString open = context.open_file();
  if (open.isEmpty() || context.carved_list() || !MayReplaceList()) return;
  OpenFile(open);
}

void OpenFlow::ClearList() {
  WindowContext& context = *parts_.context;
  context.thumbnails().Clear();
  // Tags and notes belong to the rows: they go with them (the case keeps them).
  context.ReplaceMarks({});
  parts_.list->Clear();
  parts_.status->Clear(0);
  parts_.status->Clear(1);
  parts_.status->bar()->repaint();
  parts_.list->SetCaption(context.UiText(kTextFile));
  parts_.info->SetTabVisible(false);
  parts_.pane->Clear();
  context.errors().Clear();
  parts_.pane->UpdateImageView(0);
}

void OpenFlow::ShowErrorList(const QString& path) {
  WindowContext& context = *parts_.context;
  if (context.errors().empty()) return;
  parts_.info->Clear();
  parts_.info->ShowErrorLines();
  parts_.info->SetTabVisible(true);
  // Asked once and for all if the person wishes ("Don't ask again").
  const QString question = context.UiText(kTextFatalError) + QStringLiteral("!\n") +
                           context.UiText(kTextFile) + QStringLiteral(":\n") + path +
                           QStringLiteral("\n") + context.UiText(kTextSeeErrorDetails);
  if (context.Ask(parts_.window, Question::kSeeErrorDetails, question)) parts_.info->Bring();
}

}  // namespace glintvane
