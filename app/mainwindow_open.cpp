// Opening a thumbnail cache: the Open command, the read with its progress,
// File Details and error list, and the offer to carve a file that is not a
// readable cache.
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QTreeView>

#include <exception>
#include <new>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_scan.h"
#include "carve/carve_verify.h"
#include "carve_kinds_dialog.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_read.h"
#include "image_view.h"
#include "mainwindow.h"
#include "platform/dialogs.h"
#include "status_progress.h"
#include "thumbnail_model.h"

namespace glintvane {
namespace {

// Error lines stand out from the heading by this indent.
constexpr int kErrorIndentPoints = 20;
// The help page of the question that offers carving.
constexpr int kCarveQuestionHelpContext = 2;

QString FilePart(const QString& path) {
  const std::string text = path.toStdString();
  return QString::fromStdString(std::string(LocalFilePart(text)));
}

QString FolderPart(const QString& path) {
  const std::string text = path.toStdString();
  return QString::fromStdString(std::string(LocalFolderPart(text)));
}

// Carving can find something only in a file that opens and holds bytes; a
// device has no size of its own to tell, so it is offered.
bool CarvingCanFind(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.size() > 0 || !QFileInfo(path).isFile();
}

// What the offer to carve says: what carving will do with the file.
QString CarveQuestion(const QString& command, const QString& path) {
  return QStringLiteral(
             "%1?\n%2\n\nThe file is not a readable thumbnail cache. %1 reads it from "
             "start to end and lists every JPEG picture found in it, to view and "
             "extract like the thumbnails of a cache.")
      .arg(command, path);
}

}  // namespace

void MainWindow::ActionOpenExecute() {
  carved_list_ = false;
  // Caches copied from FAT disks often carry upper-case names.
  const QStringList filters{UiText(kTextThumbnailCacheFiles) + QStringLiteral(" (*.db *.DB)"),
                            UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = dialogs().ChooseOpenFile(this, filters);
  if (path.isEmpty()) return;
  repaint();
  // A disk image chosen here is walked for its caches, not read as one.
  if (LooksLikeEvidenceImage(path.toStdString())) {
    OpenEvidenceImage(path);
    return;
  }
  OpenThumbnailFile(path);
}

void MainWindow::BeginWithFile(const QString& path) {
  errors_.Clear();
  SetTabVisible(FileInfoTabSheet, false);
  ClearRichEdit();
  open_file_ = path;
  thumbnail_model_->SetHint(path);
  ListView1->setToolTip(path);
}

void MainWindow::OpenThumbnailFile(const QString& path) {
  if (IsWorking()) return;
  BeginWithFile(path);

  list_view1_change_attached_ = false;
  ClearThumbnailList();
  repaint();
  // The list is not redrawn until the read has ended.
  ListView1->setUpdatesEnabled(false);
  busy_ = true;
  // The status line counts the work only, never a question left open.
  work_ms_ = 0;
  progress_ =
      std::make_unique<StatusProgress>(StatusBar1, status_panel_[0], status_panel_[1], 0, 100);

  if (ReadThumbnailCache(path)) {
    SelectOrAddFoundCache(path);
  } else if (!work_stopped_ && CarvingCanFind(path)) {
    const bool carve = dialogs().AskYesNo(this, CarveQuestion(UiText(kTextBruteForceAttack), path),
                                          kCarveQuestionHelpContext);
    repaint();
    if (carve) CarveFile(path, LoadCarveKinds());
  }

  EndListWork(work_ms_);
}

void MainWindow::EndListWork(qint64 elapsed_ms) {
  progress_.reset();
  SetStatusPanel(0, QStringLiteral("%1 %2. %3: %4")
                        .arg(elapsed_ms / 1000)
                        .arg(UiText(kTextSec), UiText(kTextFiles))
                        .arg(thumbnails_.size()));
  if (work_stopped_) ShowCancelled();
  StatusBar1->repaint();
  thumbnail_model_->Refresh();
  FitNumberColumn();
  ListView1->setUpdatesEnabled(true);
  busy_ = false;
  list_view1_change_attached_ = true;
  if (PageControl1->currentWidget() == mainTabSheet) ListView1->setFocus();
  ShowFirstRow();
  AfterWork();
}

void MainWindow::ShowFirstRow() {
  if (thumbnail_model_->rowCount() == 0) return;
  const QModelIndex first = thumbnail_model_->index(0, 0);
  // Making row 0 current runs ListView1Change, which shows its picture.
  ListView1->selectionModel()->setCurrentIndex(
      first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ListView1->scrollTo(first, QAbstractItemView::EnsureVisible);
}

bool MainWindow::ReadThumbnailCache(const QString& path) {
  errors_.Clear();
  SetTabCaption(mainTabSheet, FilePart(path));
  UpdateCommands();

  CacheReadResult result;
  const std::string local_path = path.toStdString();
  // The worker fills lists of its own; the window's lists take them over
  // when it has ended, so nothing the window draws changes under it.
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  CacheReadOptions options;
  options.date_time_format = date_time_format_;
  options.time_zone = time_zone_;
  RunWork([&](std::stop_token stop) {
    try {
      result = ReadCacheAtPath(
          local_path, CacheReadTarget{list, store, errors, texts_, &work_progress_, stop}, options);
    } catch (const std::bad_alloc& e) {
      // The reader reports its own failures; only running out of memory on
      // a huge damaged file gets this far.
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::bad_alloc: ") + e.what(), texts_);
    } catch (const std::exception& e) {
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::exception: ") + e.what(), texts_);
    }
  });
  thumbnails_ = std::move(list);
  image_store_ = std::move(store);
  for (const std::string& line : errors.lines()) errors_.AddLine(line);

  PageControl1->setCurrentWidget(mainTabSheet);
  SetTabVisible(FileInfoTabSheet, true);
  ClearRichEdit();
  if (result.ok) {
    SetTabCaption(FileInfoTabSheet, UiText(kTextFileDetails));
    ShowFileDetails(result.details);
    FitThumbcacheKeys();
  } else if (!errors_.empty()) {
    ShowErrorList(path);
  }
  if (progress_) progress_->OnProgress(100, PercentText(100));
  return result.ok;
}

void MainWindow::FitThumbcacheKeys() {
  // The rows of a thumbcache_*.db (and of its index) are keyed by 16 hex
  // digits, wider than a Thumbs.db number: widen the Number column to show
  // them whole, never narrow a column the user made wider.
  if (thumbnails_.empty() || thumbnails_[0].key.size() != 16) return;
  if (!thumbnails_[0].thumbcache && thumbnails_[0].indexed != 1) return;
  const int check_box = style()->pixelMetric(QStyle::PM_IndicatorWidth);
  const int needed =
      ListView1->fontMetrics().horizontalAdvance(QString::fromStdString(thumbnails_[0].key)) +
      check_box + ListView1->indentation() + 16;
  if (ListView1->columnWidth(0) < needed) ListView1->setColumnWidth(0, needed);
}

void MainWindow::ShowFileDetails(const std::vector<std::string>& details) {
  AppendRichLine({}, false, 0);
  for (const std::string& line : details) AppendRichLine(QString::fromStdString(line), true, 0);
  AppendRichLine({}, false, 0);
}

void MainWindow::ClearThumbnailList() {
  thumbnails_.Clear();
  thumbnail_model_->Refresh();
  sort_column_ = -1;
  sort_ascending_ = false;
  SetStatusPanel(0, {});
  SetStatusPanel(1, {});
  StatusBar1->repaint();
  SetTabCaption(mainTabSheet, UiText(kTextFile));
  SetTabCaption(ImageViewTabSheet, UiText(kTextImageView));
  SetTabVisible(FileInfoTabSheet, false);
  PreImage->ClearPicture();
  errors_.Clear();
  UpdateImageView(0);
}

void MainWindow::ShowErrorList(const QString& path) {
  if (errors_.empty()) return;
  SetTabCaption(FileInfoTabSheet, UiText(kTextErrorsList));
  AppendRichLine({}, false, kErrorIndentPoints);
  for (const std::string& line : errors_.lines())
    AppendRichLine(QString::fromStdString(line), false, kErrorIndentPoints);
  const QString question = UiText(kTextFatalError) + QStringLiteral("!\n") + UiText(kTextFile) +
                           QStringLiteral(":\n") + path + QStringLiteral("\n") +
                           UiText(kTextSeeErrorDetails);
  if (dialogs().AskYesNo(this, question, 0)) {
    SetTabVisible(FileInfoTabSheet, true);
    PageControl1->setCurrentWidget(FileInfoTabSheet);
  }
}

void MainWindow::ClearRichEdit() {
  RichEdit1->clear();
  rich_edit_used_ = false;
  bullet_list_ = nullptr;
}

void MainWindow::AppendRichLine(const QString& text, bool bullet, int indent_points) {
  QTextCursor cursor(RichEdit1->document());
  cursor.movePosition(QTextCursor::End);
  QTextBlockFormat format;
  // Points, as the indent is meant on paper; the screen's resolution turns
  // them into pixels.
  format.setLeftMargin(indent_points * RichEdit1->logicalDpiX() / 72.0);
  if (rich_edit_used_) {
    cursor.insertBlock(format, QTextCharFormat());
  } else {
    cursor.setBlockFormat(format);
  }
  rich_edit_used_ = true;
  cursor.insertText(text);
  if (!bullet) {
    bullet_list_ = nullptr;
    return;
  }
  if (bullet_list_ == nullptr) {
    bullet_list_ = cursor.createList(QTextListFormat::ListDisc);
  } else {
    bullet_list_->add(cursor.block());
  }
}

void MainWindow::CarveFile(const QString& path, CarveKinds kinds) {
  CarveResult result;
  ThumbnailList carved;
  ErrorList errors;
  const std::string local_path = path.toStdString();
  RunWork([&](std::stop_token stop) {
    try {
      CarveTarget target{carved, errors, texts_, &work_progress_, stop};
      target.kinds = kinds;
      result = ScanFileForImages(local_path, target);
      // Each picture found is decoded on the worker too, from the file it
      // was carved from; a stopped scan keeps its rows unchecked.
      if (!stop.stop_requested() && result.file_size > 0) {
        if (auto file = FileByteSource::Open(local_path)) {
          CheckCarvedRows(carved, 0, **file, stop, &work_progress_);
        }
      }
    } catch (const std::bad_alloc& e) {
      result.ok = false;
      errors.AddError(kErrPlatform, local_path, std::string("std::bad_alloc: ") + e.what(), texts_);
    }
  });
  AppendCarvedRows(carved);
  for (const std::string& line : errors.lines()) errors_.AddLine(line);
  if (result.finished) carved_list_ = true;
  // A cancelled scan keeps its rows and says so in the status bar; there is
  // no outcome to ask about.
  if (work_stopped_) return;
  ReportScanOutcome(path, result.finished && !thumbnails_.empty());
}

void MainWindow::ReportScanOutcome(const QString& path, bool ok) {
  if (ok) {
    SelectOrAddFoundCache(path);
    ShowScannedFileDetails(path);
  } else if (errors_.empty()) {
    dialogs().ShowMessage(this, platform::MessageKind::kConfirmation, UiText(kTextSorry));
  } else {
    ShowErrorList(path);
  }
}

void MainWindow::ShowScannedFileDetails(const QString& path) {
  SetTabCaption(FileInfoTabSheet, UiText(kTextFileDetails));
  ClearRichEdit();
  const QFileInfo file(path);
  ShowFileDetails(
      {(UiText(kTextFileName) + QStringLiteral(": ") + FilePart(path)).toStdString(),
       (UiText(kTextDirectoryName) + QStringLiteral(": ") + FolderPart(path)).toStdString(),
       (UiText(kTextSize) + QStringLiteral(": ") + QString::number(file.size())).toStdString()});
}

void MainWindow::SelectOrAddFoundCache(const QString& path) {
  // The found-caches list only follows opened files while it is shown.
  if (AllDbPanel->isHidden()) return;
  int64_t row = found_caches_.IndexOfPath(path.toStdString());
  if (row < 0) {
    const QFileInfo file(path);
    CacheFileRecord record;
    record.name = FilePart(path).toStdString();
    if (file.exists()) record.size = file.size();
    const QDateTime modified = file.lastModified();
    record.modified = modified.toString(QStringLiteral("d.M.yyyy h:m:s")).toStdString();
    record.located = FolderPart(path).toStdString();
    record.path = path.toStdString();
    AddFoundCacheRow(record);
    row = static_cast<int64_t>(found_caches_.size()) - 1;
    Panel2->setText(UiText(kTextThumbsDbFiles) + QStringLiteral(": ") +
                    QString::number(found_caches_.size()));
  }
  const QModelIndex index = found_model_->index(static_cast<int>(row), 0);
  ListView2->setCurrentIndex(index);
  ListView2->scrollTo(index, QAbstractItemView::EnsureVisible);
  UpdateCommands();
}

void MainWindow::AddFoundCacheRow(const CacheFileRecord& record) {
  if (!found_caches_.AddCacheFileRow(record)) return;
  QList<QStandardItem*> items;
  items << new QStandardItem(QString::fromStdString(record.name));
  items << new QStandardItem(record.size ? QString::number(*record.size) : QString());
  items << new QStandardItem(QString::fromStdString(record.modified));
  items << new QStandardItem(QString::fromStdString(record.located));
  for (QStandardItem* item : items) item->setEditable(false);
  found_model_->appendRow(items);
}

}  // namespace glintvane
