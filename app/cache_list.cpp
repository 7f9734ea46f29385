#include "cache_list.h"

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <charconv>
#include <ctime>
#include <optional>

#include "base/error_codes.h"
#include "thumbnail_model.h"
#include "window_context.h"

namespace glintvane {
namespace {

constexpr char kAscendingMarker[] = " v";
constexpr char kDescendingMarker[] = " ^";
// Room beside the key for the check box and the cell's margins.
constexpr int kKeyColumnMargin = 24;
// A column shown again narrower than this is fitted to its contents.
constexpr int kNarrowestColumn = 40;

struct KindColumns {
  ListKind kind;
  const char* setting;  // where the kind's chosen columns are kept
  QList<int> shown;     // shown until the user chooses
};

const KindColumns kKindColumns[] = {
    {ListKind::kThumbsDb, "ColumnsThumbsDb", {kColumnNumber, kColumnName, kColumnModified}},
    {ListKind::kThumbcache,
     "ColumnsThumbcache",
     {kColumnNumber, kColumnKind, kColumnSize, kColumnDimensions, kColumnOffset, kColumnIndexed,
      kColumnHeaderChecksum, kColumnDataChecksum}},
    {ListKind::kNamedThumbcache,
     "ColumnsNamedThumbcache",
     {kColumnNumber, kColumnName, kColumnModified, kColumnOriginalPath, kColumnKind,
      kColumnDimensions, kColumnIndexed}},
    // Carved rows have no name and no time ("---"): what each is and where
    // it was found tell more, and whether it decodes.
    {ListKind::kCarved,
     "ColumnsCarved",
     {kColumnNumber, kColumnKind, kColumnSize, kColumnOffset, kColumnEndFound, kColumnDecodes}},
};

const KindColumns& ColumnsOf(ListKind kind) {
  for (const KindColumns& entry : kKindColumns) {
    if (entry.kind == kind) return entry;
  }
  return kKindColumns[0];
}

// The Number column as an integer; an empty caption counts as 0.
std::optional<int64_t> RowNumber(const ThumbnailRow& row) {
  if (row.key.empty()) return 0;
  int64_t value = 0;
  const char* end = row.key.data() + row.key.size();
  const auto [at, error] = std::from_chars(row.key.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

// The Modified column as seconds since 1970. Rows of a cache carry the
// FILETIME their text was made from; other rows have only the text, read
// back with the pattern it was written with.
std::optional<int64_t> RowSeconds(const ThumbnailRow& row, const std::string& format) {
  if (row.filetime != 0) return FileTimeToUnixSeconds(row.filetime);
  if (row.time_text.empty()) return std::nullopt;
  std::tm tm{};
  const char* end = strptime(row.time_text.c_str(), format.c_str(), &tm);
  if (end == nullptr || *end != '\0') return std::nullopt;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

int FoldedCompare(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Rows whose value cannot be read sort as equal to each other and ahead of
// every row that has one, so the order stays a proper order.
template <typename T>
int CompareOptional(const std::optional<T>& a, const std::optional<T>& b, bool* failed) {
  if (!a || !b) {
    *failed = true;
    return a.has_value() - b.has_value();
  }
  return Order(*a, *b);
}

QString WithoutMarker(QString caption) {
  if (caption.endsWith(QLatin1String(kAscendingMarker)) ||
      caption.endsWith(QLatin1String(kDescendingMarker)))
    caption.chop(2);
  return caption;
}

bool IsEnter(const QKeyEvent* event) {
  return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
         (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

QTreeView* MakeReportView(QWidget* parent) {
  auto* view = new QTreeView(parent);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  // Uniform heights let the view skip measuring rows: 100,000 rows scroll
  // as fast as 100.
  view->setUniformRowHeights(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setAllColumnsShowFocus(true);
  view->setAlternatingRowColors(true);
  view->header()->setSectionsClickable(true);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsMovable(false);
  return view;
}

CacheList::CacheList(WindowContext& context, QTabWidget* pages, QWidget* page)
    : QObject(page), mainTabSheet(page), context_(context), pages_(pages) {
  model_ = new ThumbnailModel(context.thumbnails(), this);
  model_->SetTexts(&context.texts());
  model_->SetMarks(&context.marks());
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  ListView1 = MakeReportView(page);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setModel(model_);
  // Where the item was reads best beside its name and time.
  ListView1->header()->moveSection(kColumnOriginalPath, kColumnModified + 1);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListView1->setAcceptDrops(true);
  ListView1->viewport()->setAcceptDrops(true);
  ListView1->setDragDropMode(QAbstractItemView::DropOnly);
  ListView1->viewport()->installEventFilter(this);
  ListView1->installEventFilter(this);
  layout->addWidget(ListView1);
  ApplyKindColumns();

  // The view follows the focused row once it is selected: a new focused
  // row is shown when its selection arrives, and a row that was focused
  // before it was selected (focus entering the list) when it is selected.
  QItemSelectionModel* selection = ListView1->selectionModel();
  connect(selection, &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (ListView1->selectionModel()->isRowSelected(current.row(), {}))
              OnFocusedRowChanged();
          });
  connect(selection, &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) {
            emit SelectionChanged();
            if (selected.contains(ListView1->currentIndex())) OnFocusedRowChanged();
          });
  // A change of the focused row's check box redraws the view as well.
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& top_left, const QModelIndex& bottom_right) {
            const int focused = FocusedRow();
            if (focused >= top_left.row() && focused <= bottom_right.row()) OnFocusedRowChanged();
          });
  connect(ListView1->header(), &QHeaderView::sectionClicked, this, &CacheList::ColumnClick);
  connect(&context_, &WindowContext::TimesChanged, this, &CacheList::RewriteTimes);
  connect(&context_, &WindowContext::MarksChanged, this, [this] {
    model_->MarksChanged();
    // Tags put on rows are shown, whatever the kind's columns.
    if (!context_.marks().empty()) ShowColumn(kColumnTags);
  });
  ListView1->header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1->header(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) {
            QMenu menu(ListView1);
            FillColumnMenu(&menu);
            menu.exec(ListView1->header()->mapToGlobal(at));
          });
  connect(ListView1, &QAbstractItemView::clicked, this, &CacheList::Clicked);
  connect(ListView1, &QAbstractItemView::doubleClicked, this, &CacheList::Activated);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    // The pop-up menu only has something to offer when the list has rows.
    if (RowCount() > 0) emit ContextMenuRequested(ListView1->viewport()->mapToGlobal(at));
  });
}

int CacheList::RowCount() const {
  return model_->rowCount();
}

bool CacheList::HasSelection() const {
  return ListView1->selectionModel()->hasSelection();
}

int CacheList::FocusedRow() const {
  const QModelIndex current = ListView1->currentIndex();
  return current.isValid() ? current.row() : -1;
}

ThumbnailRow* CacheList::FocusedRecord() const {
  if (RowCount() == 0 || !HasSelection()) return nullptr;
  return model_->RowAt(FocusedRow());
}

int CacheList::CheckedCount() const {
  int checked = 0;
  const ThumbnailList& list = context_.thumbnails();
  for (size_t i = 0; i < list.size(); ++i) checked += list[i].checked ? 1 : 0;
  return checked;
}

void CacheList::OnFocusedRowChanged() {
  if (change_attached_) emit FocusedRowChanged();
}

void CacheList::SetCaption(const QString& caption) {
  pages_->setTabText(pages_->indexOf(mainTabSheet), caption);
}

QString CacheList::Caption() const {
  return pages_->tabText(pages_->indexOf(mainTabSheet));
}

void CacheList::Bring() {
  pages_->setCurrentWidget(mainTabSheet);
}

bool CacheList::IsCurrentPage() const {
  return pages_->currentWidget() == mainTabSheet;
}

void CacheList::ApplyTexts() {
  const int texts[ThumbnailModel::kColumnCount] = {
      kTextNumber,     kTextOriginalName, kTextModified, kTextKind,           kTextSize,
      kTextDimensions, kTextOffset,       kTextIndexed,  kTextHeaderChecksum, kTextDataChecksum,
      kTextEndFound,   kTextDecodes,      kTextTags,     kTextOriginalPath};
  // New texts replace the captions whole, sort marker and all.
  for (int column = 0; column < ThumbnailModel::kColumnCount; ++column)
    model_->SetCaption(column, context_.UiText(texts[column]));
  // The language brings its own date pattern.
  RewriteTimes();
  // A tab that shows no file yet speaks the chosen language too.
  if (context_.thumbnails().empty()) SetCaption(context_.UiText(kTextFile));
}

void CacheList::RewriteTimes() {
  // Rows that know their FILETIME get their text again; the others (carved
  // rows) have none to write.
  ThumbnailList& list = context_.thumbnails();
  for (size_t i = 0; i < list.size(); ++i) {
    ThumbnailRow& row = list[i];
    if (row.filetime != 0) row.time_text = context_.TimeText(row.filetime).toStdString();
  }
  model_->SetZoneLabel(context_.ZoneLabel());
  model_->TimesChanged();
}

void CacheList::Refresh() {
  model_->Refresh();
}

void CacheList::Clear() {
  model_->Refresh();
  sort_column_ = -1;
  sort_ascending_ = false;
}

void CacheList::ShowFirstRow() {
  if (RowCount() == 0) return;
  const QModelIndex first = model_->index(0, 0);
  ListView1->selectionModel()->setCurrentIndex(
      first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ListView1->scrollTo(first, QAbstractItemView::EnsureVisible);
}

void CacheList::FitToRows() {
  const ThumbnailList& list = context_.thumbnails();
  if (!list.empty()) {
    const ThumbnailRow& first = list[0];
    kind_ = list.has_origins()                       ? ListKind::kNamedThumbcache
            : first.thumbcache || first.indexed == 1 ? ListKind::kThumbcache
            : first.carved                           ? ListKind::kCarved
                                                     : ListKind::kThumbsDb;
  }
  ApplyKindColumns();
  FitKeyColumn();
}

void CacheList::FitKeyColumn() {
  // The longest key by characters stands for the widest; measuring every
  // one of 100,000 rows would cost more than it tells. Keys of thumbcache
  // entries (16 hex digits) and "256_" streams are wider than a number; a
  // column the user made wider stays.
  const ThumbnailList& list = context_.thumbnails();
  if (list.empty()) return;
  size_t longest = 0;
  for (size_t i = 1; i < list.size(); ++i) {
    if (list[i].key.size() > list[longest].key.size()) longest = i;
  }
  const QString key = QString::fromStdString(list[longest].key);
  const int needed = ListView1->fontMetrics().horizontalAdvance(key) +
                     ListView1->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                     ListView1->indentation() + kKeyColumnMargin;
  if (ListView1->columnWidth(kColumnNumber) < needed)
    ListView1->setColumnWidth(kColumnNumber, needed);
}

void CacheList::LayOutColumns() {
  const int scroll_bar = ListView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int w = ListView1->viewport()->width() - scroll_bar - 1;
  const int c0 = static_cast<int>(w * 0.2);
  const int c1 = static_cast<int>(w * 0.35);
  ListView1->setColumnWidth(kColumnNumber, c0);
  ListView1->setColumnWidth(kColumnName, c1);
  ListView1->setColumnWidth(kColumnModified, w - (c0 + 1) - (c1 + 1));
}

void CacheList::ColumnClick(int column) {
  // An empty list has nothing to sort; not even the direction changes.
  if (RowCount() == 0) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool attached = change_attached_;
  change_attached_ = false;

  int previous = -1;
  if (column == sort_column_) {
    sort_ascending_ = !sort_ascending_;
  } else {
    previous = sort_column_;
    sort_column_ = column;
    sort_ascending_ = true;
  }
  MarkSortColumn(previous, sort_ascending_, column);

  bool failed = false;
  model_->Sort([this, &failed](const ThumbnailRow& a, const ThumbnailRow& b) {
    return Compare(a, b, &failed) < 0;
  });
  // One entry per sort, not one per comparison: a carved list of 100,000
  // rows would otherwise bury the error list under millions of lines.
  if (failed) {
    context_.AddError(kErrException, context_.open_file(),
                      QStringLiteral("EConvertError: ") + WithoutMarker(model_->Caption(column)) +
                          QStringLiteral(": ") + context_.UiText(kTextNoValidValue));
  }
  if (ListView1->currentIndex().isValid())
    ListView1->scrollTo(ListView1->currentIndex(), QAbstractItemView::EnsureVisible);
  QApplication::restoreOverrideCursor();
  change_attached_ = attached;
}

int CacheList::Compare(const ThumbnailRow& a, const ThumbnailRow& b, bool* failed) {
  bool unreadable = false;
  int result = 0;
  switch (sort_column_) {
    case kColumnNumber:
      result = CompareOptional(RowNumber(a), RowNumber(b), &unreadable);
      break;
    case kColumnName:
      result = FoldedCompare(RowNameText(a), RowNameText(b));
      break;
    case kColumnModified: {
      const std::string format = context_.DateTimePattern();
      result = CompareOptional(RowSeconds(a, format), RowSeconds(b, format), &unreadable);
      break;
    }
    case kColumnSize:
      result = Order(a.length, b.length);
      break;
    case kColumnOffset:
      result = Order(a.thumbcache ? static_cast<int64_t>(a.entry_offset) : a.start,
                     b.thumbcache ? static_cast<int64_t>(b.entry_offset) : b.start);
      break;
    case kColumnDimensions:
      result = Order(int64_t{a.width} * a.height, int64_t{b.width} * b.height);
      break;
    default:
      result = FoldedCompare(model_->CellText(a, sort_column_).toStdString(),
                             model_->CellText(b, sort_column_).toStdString());
      break;
  }
  if (unreadable) {
    if (failed != nullptr) {
      *failed = true;
    } else {
      context_.AddError(kErrException, context_.open_file(),
                        QStringLiteral("EConvertError: ") + context_.UiText(kTextNoValidValue));
      return 0;
    }
  }
  return sort_ascending_ ? result : -result;
}

void CacheList::MarkSortColumn(int previous, bool ascending, int column) {
  if (previous != -1) model_->SetCaption(previous, WithoutMarker(model_->Caption(previous)));
  model_->SetCaption(column, WithoutMarker(model_->Caption(column)) +
                                 QLatin1String(ascending ? kAscendingMarker : kDescendingMarker));
}

void CacheList::ApplyCheckCommand(int tag) {
  model_->ApplyCheckCommand(tag);
}

void CacheList::ToggleCheck() {
  const QModelIndex current = ListView1->currentIndex();
  if (!current.isValid()) return;
  const QModelIndex box = model_->index(current.row(), 0);
  const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  model_->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

int CacheList::ListRowCount() const {
  return model_->ListRowCount();
}

void CacheList::ShowColumn(int column) {
  if (!ListView1->isColumnHidden(column)) return;
  ListView1->setColumnHidden(column, false);
  if (ListView1->columnWidth(column) < kNarrowestColumn) ListView1->resizeColumnToContents(column);
}

void CacheList::InsertBar(QWidget* bar) {
  static_cast<QVBoxLayout*>(mainTabSheet->layout())->insertWidget(0, bar);
}

QList<int> CacheList::VisibleColumns() const {
  QList<int> shown;
  for (int column = 0; column < ThumbnailModel::kColumnCount; ++column) {
    if (!ListView1->isColumnHidden(column)) shown << column;
  }
  return shown;
}

void CacheList::ApplyKindColumns() {
  const KindColumns& kind = ColumnsOf(kind_);
  QList<int> shown = kind.shown;
  const QString stored =
      context_.RegistryString({}, QString::fromLatin1(kind.setting), QStringLiteral("read"));
  if (!stored.isEmpty()) {
    shown.clear();
    for (const QString& part : stored.split(QLatin1Char(','))) {
      bool ok = false;
      const int column = part.toInt(&ok);
      if (ok && column >= 0 && column < ThumbnailModel::kColumnCount) shown << column;
    }
  }
  for (int column = 0; column < ThumbnailModel::kColumnCount; ++column) {
    // The Number column holds the check boxes: it is always shown.
    ListView1->setColumnHidden(column, column != kColumnNumber && !shown.contains(column));
  }
}

void CacheList::SetColumnVisible(int column, bool visible) {
  if (column <= kColumnNumber || column >= ThumbnailModel::kColumnCount) return;
  ListView1->setColumnHidden(column, !visible);
  if (visible && ListView1->columnWidth(column) < kNarrowestColumn)
    ListView1->resizeColumnToContents(column);
  QStringList shown;
  for (const int shown_column : VisibleColumns()) shown << QString::number(shown_column);
  context_.RegistryString(shown.join(QLatin1Char(',')),
                          QString::fromLatin1(ColumnsOf(kind_).setting), QStringLiteral("write"));
}

void CacheList::FillColumnMenu(QMenu* menu) {
  menu->setTitle(context_.UiText(kTextColumns));
  for (int column = kColumnNumber + 1; column < ThumbnailModel::kColumnCount; ++column) {
    QAction* item = menu->addAction(WithoutMarker(model_->Caption(column)));
    item->setCheckable(true);
    item->setChecked(!ListView1->isColumnHidden(column));
    connect(item, &QAction::toggled, this,
            [this, column](bool on) { SetColumnVisible(column, on); });
  }
  menu->addSeparator();
  connect(menu->addAction(context_.UiText(kTextShowAllColumns)), &QAction::triggered, this, [this] {
    for (int column = kColumnNumber + 1; column < ThumbnailModel::kColumnCount; ++column)
      SetColumnVisible(column, true);
  });
}

void CacheList::AcceptDropsFrom(QWidget* source, std::function<bool()> accepts) {
  drop_source_ = source;
  accepts_drop_ = std::move(accepts);
}

QByteArray CacheList::SaveState() const {
  return ListView1->header()->saveState();
}

void CacheList::RestoreState(const QByteArray& state) {
  ListView1->header()->restoreState(state);
  // Which columns show is the kind's own choice, not the last run's.
  ApplyKindColumns();
}

bool CacheList::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == ListView1 && type == QEvent::KeyPress) {
    // Space checks or unchecks the highlighted row; Enter opens it.
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsEnter(key)) {
      emit EnterPressed();
      return true;
    }
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      ToggleCheck();
      return true;
    }
    return false;
  }
  if (watched != ListView1->viewport()) return QObject::eventFilter(watched, event);
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
    return QObject::eventFilter(watched, event);
  auto* drop = static_cast<QDropEvent*>(event);
  // Files from the file manager go on to the window, which opens them.
  if (drop->mimeData()->hasUrls()) return false;
  // Only a found cache can be dropped here, and only from a list that has one.
  const bool accepted =
      drop_source_ != nullptr && drop->source() == drop_source_ && accepts_drop_ && accepts_drop_();
  if (type != QEvent::Drop) {
    if (accepted) {
      drop->acceptProposedAction();
    } else {
      drop->ignore();
    }
    return true;
  }
  if (accepted) {
    drop->acceptProposedAction();
    emit DroppedFromSource();
  }
  return true;
}

}  // namespace glintvane
