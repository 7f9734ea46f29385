#include "locator_panel.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <mutex>
#include <vector>

#include "base/error_codes.h"
#include "base/windows_path.h"
#include "cache_list.h"
#include "discover/found_caches_sort.h"
#include "discover/search_folder.h"
#include "open_flow.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

constexpr int kClearListHelpContext = 2;
// The panel's height when it first shows.
constexpr int kFoundPanelHeight = 160;
constexpr int kPanel2Height = 24;
constexpr char kAscendingMarker[] = " v";
constexpr char kDescendingMarker[] = " ^";

// What the walk tells the window, handed across under a lock: rows found
// since the last look, the folder count and the last folder's name.
class LocatorMailbox final : public FoundCacheSink, public SearchProgressSink {
 public:
  void OnCacheFound(const CacheFileRecord& record, size_t) override {
    const std::lock_guard lock(mutex_);
    rows_.push_back(record);
  }
  void OnFolder(uint64_t folder_count, std::string_view name) override {
    // Called per folder: only the latest is kept, and the lock is held for
    // the copy of one name.
    const std::lock_guard lock(mutex_);
    folders_ = folder_count;
    name_.assign(name);
  }
  std::vector<CacheFileRecord> TakeRows() {
    const std::lock_guard lock(mutex_);
    return std::exchange(rows_, {});
  }
  std::pair<uint64_t, std::string> Folder() {
    const std::lock_guard lock(mutex_);
    return {folders_, name_};
  }

 private:
  std::mutex mutex_;
  std::vector<CacheFileRecord> rows_;
  uint64_t folders_ = 0;
  std::string name_;
};

QString WithoutMarker(QString caption) {
  if (caption.endsWith(QLatin1String(kAscendingMarker)) ||
      caption.endsWith(QLatin1String(kDescendingMarker)))
    caption.chop(2);
  return caption;
}

}  // namespace

LocatorPanel::LocatorPanel(const WindowParts& parts, QSplitter* splitter)
    : QObject(splitter), parts_(parts), splitter_(splitter) {
  model_ = new QStandardItemModel(0, 4, this);
  // Shown once a search has filled it.
  AllDbPanel = new QWidget(splitter);
  auto* layout = new QVBoxLayout(AllDbPanel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  Panel2 = new QLabel(AllDbPanel);
  Panel2->setFixedHeight(kPanel2Height);
  Panel2->setContentsMargins(4, 0, 4, 0);
  ListView2 = MakeReportView(AllDbPanel);
  connect(parts.context, &WindowContext::TimesChanged, this, [this] {
    // The clock's name in the header, the sort marker kept after it.
    const QString caption = Caption(2);
    const bool marked = caption.endsWith(QLatin1String(kAscendingMarker)) ||
                        caption.endsWith(QLatin1String(kDescendingMarker));
    if (QStandardItem* item = model_->horizontalHeaderItem(2))
      item->setText(TimeCaption() + (marked ? caption.right(2) : QString()));
    RewriteTimes();
  });
  ListView2->setObjectName(QStringLiteral("ListView2"));
  ListView2->setModel(model_);
  ListView2->setDragEnabled(true);
  ListView2->setDragDropMode(QAbstractItemView::DragOnly);
  layout->addWidget(Panel2);
  layout->addWidget(ListView2);
  AllDbPanel->resize(AllDbPanel->width(), kFoundPanelHeight);
  AllDbPanel->hide();
  connect(ListView2, &QAbstractItemView::doubleClicked, this, &LocatorPanel::OpenHighlighted);
  connect(ListView2->header(), &QHeaderView::sectionClicked, this, &LocatorPanel::ColumnClick);
}

bool LocatorPanel::IsShown() const {
  return !AllDbPanel->isHidden();
}

void LocatorPanel::ApplyTexts() {
  WindowContext& context = *parts_.context;
  // The time column names its clock, as the thumbnail list's does.
  model_->setHorizontalHeaderLabels({context.UiText(kTextFile), context.UiText(kTextSize),
                                     TimeCaption(), context.UiText(kTextLocation)});
  ListView2->setToolTip(context.UiText(kTextDoubleClickHint));
  if (count_) Panel2->setText(count_());
  RewriteTimes();
}

LocatorPanel::CacheCounts LocatorPanel::CountCaches() const {
  // Told by the file's own name: a recycled one is listed under the name it
  // had, and a thumbcache keeps its "thumbcache_" (or "iconcache_") prefix.
  CacheCounts counts;
  for (const CacheFileRecord& record : parts_.context->found_caches().rows()) {
    const std::string_view name = LocalFilePart(record.name);
    const QString file = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    const bool thumbcache = file.startsWith(QLatin1String("thumbcache_"), Qt::CaseInsensitive) ||
                            file.startsWith(QLatin1String("iconcache_"), Qt::CaseInsensitive);
    ++(thumbcache ? counts.thumbcache : counts.thumbs_db);
  }
  return counts;
}

QString LocatorPanel::CountText(const CacheCounts& counts) const {
  // Each kind found is named with its own count; Thumbs.db files when none
  // was found at all.
  const WindowContext& context = *parts_.context;
  QStringList parts;
  if (counts.thumbs_db > 0 || counts.thumbcache == 0)
    parts << context.UiText(kTextThumbsDbFiles) + QStringLiteral(": ") +
                 QString::number(counts.thumbs_db);
  if (counts.thumbcache > 0)
    parts << context.UiText(kTextThumbcacheFiles) + QStringLiteral(": ") +
                 QString::number(counts.thumbcache);
  return parts.join(QStringLiteral(", "));
}

QString LocatorPanel::TimeCaption() const {
  const WindowContext& context = *parts_.context;
  return context.UiText(kTextModified) + QStringLiteral(" - ") + context.UiText(kTextDeleted) +
         QStringLiteral(" (") + context.ZoneLabel() + QLatin1Char(')');
}

void LocatorPanel::RewriteTimes() {
  if (model_->rowCount() == 0) return;
  const QModelIndex current = ListView2->currentIndex();
  RebuildModel();
  if (current.isValid()) Highlight(current.row());
}

QString LocatorPanel::TimeText(const CacheFileRecord& record) const {
  // Written from the UTC times the walk kept, in the window's own style;
  // the walk's own text where it kept none.
  const WindowContext& context = *parts_.context;
  const std::string_view modified = record.modified;
  const size_t joiner = modified.find(kDeletedTimeJoiner);
  QString written = QString::fromStdString(std::string(modified.substr(0, joiner)));
  if (!record.modified_utc.empty()) written = context.IsoTimeText(record.modified_utc);
  if (!record.recycled && joiner == std::string_view::npos) return written;
  QString deleted = QString::fromStdString(record.deleted);
  if (!record.deleted_utc.empty()) deleted = context.IsoTimeText(record.deleted_utc);
  return written + QString::fromUtf8(kDeletedTimeJoiner.data(), kDeletedTimeJoiner.size()) +
         deleted;
}

void LocatorPanel::SetCount(std::function<QString()> text) {
  count_ = std::move(text);
  Panel2->setText(count_ ? count_() : QString());
}

void LocatorPanel::SearchAll() {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  const QString root =
      context.dialogs().ChooseFolder(parts_.window, context.UiText(kTextSelectRootDirectory));
  if (root.isEmpty()) return;
  SearchFrom(root);
}

void LocatorPanel::SearchFrom(const QString& root) {
  if (parts_.work->IsWorking()) return;
  WindowContext& context = *parts_.context;
  context.SetCarvedList(false);
  int previous_count = -1;
  int previous_index = -1;
  if (!context.found_caches().empty()) {
    if (context.dialogs().AskYesNo(parts_.window, context.UiText(kTextClearList),
                                   kClearListHelpContext) &&
        parts_.open->MayReplaceList()) {
      ClearFoundCaches();
      parts_.open->ClearList();
    } else {
      previous_count = static_cast<int>(context.found_caches().size());
      const QModelIndex current = ListView2->currentIndex();
      previous_index = current.isValid() ? current.row() : -1;
    }
  }
  parts_.window->repaint();
  Search(root, previous_count, previous_index);
}

void LocatorPanel::RunWalk(const std::function<void(FoundCacheList&, const SearchOptions&)>& walk) {
  WindowContext& context = *parts_.context;
  StatusLine& status = *parts_.status;
  // The walk appends to its own copy; rows reach the window's list through
  // the mailbox as they are found, and the copy replaces the list at the end.
  FoundCacheList list = context.found_caches();
  LocatorMailbox mailbox;
  SearchOptions options;
  options.date_time_format = context.DateTimePattern();
  options.time_zone = context.time_style().zone;
  options.rows = &mailbox;
  options.progress = &mailbox;
  const auto show_progress = [this, &mailbox, &status, &context] {
    for (const CacheFileRecord& record : mailbox.TakeRows()) AppendModelRow(record);
    // The panel shows from the first row on, so rows appear as they are found.
    if (model_->rowCount() > 0 && AllDbPanel->isHidden()) ShowPanel();
    const auto [folders, name] = mailbox.Folder();
    status.SetText(0,
                   context.UiText(kTextFolders) + QStringLiteral(": ") + QString::number(folders));
    status.SetText(1, QString::fromStdString(name));
  };
  parts_.work->ResetElapsed();
  parts_.work->Run(
      [&](std::stop_token stop) {
        options.stop = stop;
        walk(list, options);
      },
      show_progress);
  context.found_caches() = std::move(list);
  // Rows and model rows must agree one to one: rebuild if they do not.
  if (static_cast<size_t>(model_->rowCount()) != context.found_caches().size()) RebuildModel();
  status.Clear(0);
  status.Clear(1);
  if (parts_.work->stopped()) parts_.work->ShowCancelled();
}

void LocatorPanel::Search(const QString& root, int previous_count, int previous_index) {
  WindowContext& context = *parts_.context;
  SearchOutcome outcome;
  const std::string local_root = root.toStdString();
  RunWalk([&](FoundCacheList& list, const SearchOptions& options) {
    outcome = SearchFolder(list, local_root, options);
  });
  const qint64 seconds = parts_.work->elapsed_ms() / 1000;
  parts_.status->bar()->repaint();
  const QString root_text = QString::fromStdString(outcome.root);
  const CacheCounts counts = CountCaches();
  SetCount([this, &context, root_text, counts, seconds] {
    return context.UiText(kTextRoot) + QStringLiteral(": ") + root_text + QStringLiteral(". ") +
           CountText(counts) + QStringLiteral(". ") + context.UiText(kTextTime) +
           QStringLiteral(": ") + QString::number(seconds) + QStringLiteral(" ") +
           context.UiText(kTextSec) + QStringLiteral(".");
  });

  const int count = static_cast<int>(context.found_caches().size());
  if (count > 0) {
    int chosen = 0;
    if (previous_count != -1) chosen = count > previous_count ? previous_count : previous_index;
    if (AllDbPanel->isHidden()) ShowPanel();
    ListView2->setFocus();
    if (chosen >= 0) Highlight(chosen);
    emit context.CommandsChanged();
    // The first search opens the first cache found; one that appends rows
    // opens the first new one. A cancelled walk opens nothing.
    if (chosen >= 0 && chosen != previous_index && !parts_.work->stopped() &&
        !parts_.work->close_pending()) {
      OpenHighlighted();
    }
  }
  emit context.CommandsChanged();
  parts_.work->AfterWork();
}

void LocatorPanel::Highlight(int row) {
  const QModelIndex index = model_->index(row, 0);
  ListView2->setCurrentIndex(index);
  ListView2->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void LocatorPanel::OpenHighlighted() {
  if (parts_.work->IsWorking()) return;
  const FoundCacheList& found = parts_.context->found_caches();
  if (found.empty() || !ListView2->selectionModel()->hasSelection()) return;
  const QModelIndex current = ListView2->currentIndex();
  if (!current.isValid() || static_cast<size_t>(current.row()) >= found.size()) return;
  if (!parts_.open->MayReplaceList()) return;
  parts_.open->OpenLocation(found[static_cast<size_t>(current.row())].location);
}

void LocatorPanel::ShowPanel() {
  AllDbPanel->show();
  // The panel's first showing: its own height, and columns laid out over
  // its own width (it spans the window, not the thumbnail list's side).
  const int total = splitter_->height();
  splitter_->setSizes({kFoundPanelHeight, std::max(0, total - kFoundPanelHeight)});
  const int w = ListView2->viewport()->width() - 1;
  const int f0 = static_cast<int>(w * 0.3);
  const int f1 = static_cast<int>(w * 0.1);
  const int f2 = static_cast<int>(w * 0.25);
  ListView2->setColumnWidth(0, f0);
  ListView2->setColumnWidth(1, f1);
  ListView2->setColumnWidth(2, f2);
  ListView2->setColumnWidth(3, w - (f0 + 1) - (f1 + 1) - (f2 + 1));
}

void LocatorPanel::LayOutColumns(int width) {
  const int f0 = static_cast<int>(width * 0.2);
  const int f1 = static_cast<int>(width * 0.1);
  const int f2 = static_cast<int>(width * 0.2);
  ListView2->setColumnWidth(0, f0);
  ListView2->setColumnWidth(1, f1);
  ListView2->setColumnWidth(2, f2);
  ListView2->setColumnWidth(3, width - (f0 + 1) - (f1 + 1) - (f2 + 1));
}

void LocatorPanel::SelectOrAddFoundCache(const EvidenceLocation& where) {
  // The found-caches list only follows opened files while it is shown.
  if (AllDbPanel->isHidden()) return;
  WindowContext& context = *parts_.context;
  const std::string local = FormatEvidenceLocation(where);
  int64_t row = context.found_caches().IndexOfPath(local);
  if (row < 0) {
    // A file inside an image was listed by the image's search; this one is
    // one on disk, or an image path typed in.
    const QFileInfo file(QString::fromStdString(local));
    CacheFileRecord record;
    record.name = std::string(LocalFilePart(local));
    if (file.exists()) record.size = file.size();
    const QDateTime modified = file.lastModified();
    record.modified = modified.toString(QStringLiteral("d.M.yyyy h:m:s")).toStdString();
    record.modified_utc =
        modified.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toStdString();
    SetRecordLocation(record, where);
    AddFoundCacheRow(record);
    row = static_cast<int64_t>(context.found_caches().size()) - 1;
    SetCount([this, counts = CountCaches()] { return CountText(counts); });
  }
  Highlight(static_cast<int>(row));
  emit context.CommandsChanged();
}

void LocatorPanel::AddFoundCacheRow(const CacheFileRecord& record) {
  if (!parts_.context->found_caches().AddCacheFileRow(record)) return;
  AppendModelRow(record);
}

void LocatorPanel::AppendModelRow(const CacheFileRecord& record) {
  QList<QStandardItem*> items;
  items << new QStandardItem(QString::fromStdString(record.name));
  items << new QStandardItem(record.size ? QString::number(*record.size) : QString());
  items << new QStandardItem(TimeText(record));
  items << new QStandardItem(QString::fromStdString(record.located));
  for (QStandardItem* item : items) item->setEditable(false);
  // Recycled rows show where the file lies now as their hint.
  if (record.recycled) items.front()->setToolTip(QString::fromStdString(record.path));
  if (record.entry_deleted) {
    // A deleted file's row: italic and grey, and said so where the pointer rests.
    for (QStandardItem* item : items) {
      QFont font = item->font();
      font.setItalic(true);
      item->setFont(font);
      item->setForeground(QBrush(Qt::darkGray));
      item->setToolTip(parts_.context->UiText(kTextDeletedEntryHint));
      item->setData(true, kDeletedRowRole);
    }
  }
  model_->appendRow(items);
}

void LocatorPanel::RebuildModel() {
  model_->removeRows(0, model_->rowCount());
  for (const CacheFileRecord& record : parts_.context->found_caches().rows())
    AppendModelRow(record);
}

void LocatorPanel::ClearFoundCaches() {
  parts_.context->found_caches().Clear();
  parts_.context->open_images().Clear();
  model_->removeRows(0, model_->rowCount());
  sort_column_ = -1;
  sort_ascending_ = false;
}

QString LocatorPanel::Caption(int column) const {
  const QStandardItem* item = model_->horizontalHeaderItem(column);
  return item != nullptr ? item->text() : QString();
}

void LocatorPanel::MarkSortColumn(int previous, bool ascending, int column) {
  const auto set = [this](int at, const QString& text) {
    if (QStandardItem* item = model_->horizontalHeaderItem(at)) item->setText(text);
  };
  if (previous != -1) set(previous, WithoutMarker(Caption(previous)));
  set(column, WithoutMarker(Caption(column)) +
                  QLatin1String(ascending ? kAscendingMarker : kDescendingMarker));
}

void LocatorPanel::ColumnClick(int column) {
  WindowContext& context = *parts_.context;
  FoundCacheList& found = context.found_caches();
  if (found.empty() || parts_.work->IsWorking()) return;
  const QModelIndex current = ListView2->currentIndex();
  const std::string remembered =
      current.isValid() && static_cast<size_t>(current.row()) < found.size()
          ? found[static_cast<size_t>(current.row())].path
          : std::string();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int previous = -1;
  if (column == sort_column_) {
    sort_ascending_ = !sort_ascending_;
  } else {
    previous = sort_column_;
    sort_column_ = column;
    sort_ascending_ = true;
  }
  MarkSortColumn(previous, sort_ascending_, column);
  const std::vector<std::string> failures = SortFoundCaches(found, sort_column_, sort_ascending_);
  for (const std::string& detail : failures)
    context.AddError(kErrException, context.UiText(kTextDoubleClickHint),
                     QString::fromStdString(detail));
  RebuildModel();
  if (!remembered.empty()) {
    const int64_t row = found.IndexOfPath(remembered);
    if (row >= 0) Highlight(static_cast<int>(row));
  }
  QApplication::restoreOverrideCursor();
}

QByteArray LocatorPanel::SaveState() const {
  return ListView2->header()->saveState();
}

void LocatorPanel::RestoreState(const QByteArray& state) {
  ListView2->header()->restoreState(state);
}

}  // namespace glintvane
