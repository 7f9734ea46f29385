#include "thumbnail_model.h"

#include <algorithm>
#include <numeric>

#include <QBrush>

#include "cache/thumbcache_reader.h"
#include "carve/carve_verify.h"
#include "texts/ui_texts.h"

namespace glintvane {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// What the stored bytes are, as a person names the format.
QString KindText(ImageKind kind) {
  switch (kind) {
    case ImageKind::kJfif:
    case ImageKind::kJpeg:
      return QStringLiteral("JPEG");
    case ImageKind::kRaw:
      return QStringLiteral("RAW (JPEG)");
    case ImageKind::kPng:
      return QStringLiteral("PNG");
    case ImageKind::kBmp:
      return QStringLiteral("BMP");
    case ImageKind::kNone:
      break;
  }
  return {};
}

// What a carved row holds, as the start it was found by tells it.
QString CarvedKindText(CarveKind kind) {
  switch (kind) {
    case CarveKind::kJfif:
      return QStringLiteral("JPEG (JFIF)");
    case CarveKind::kExif:
      return QStringLiteral("JPEG (Exif)");
    case CarveKind::kJpeg:
      return QStringLiteral("JPEG");
    case CarveKind::kPng:
      return QStringLiteral("PNG");
    case CarveKind::kBmp:
      return QStringLiteral("BMP");
  }
  return {};
}

}  // namespace

ThumbnailModel::ThumbnailModel(ThumbnailList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  const auto& defaults = DefaultUiTexts();
  for (int text : {kTextNumber, kTextOriginalName, kTextModified, kTextKind, kTextSize,
                   kTextDimensions, kTextOffset, kTextIndexed, kTextHeaderChecksum,
                   kTextDataChecksum, kTextEndFound, kTextDecodes})
    captions_ << QString::fromUtf8(defaults[text].data(),
                                   static_cast<qsizetype>(defaults[text].size()));
}

QString ThumbnailModel::Word(int text) const {
  const std::string_view word =
      texts_ != nullptr ? std::string_view((*texts_)[text]) : DefaultUiTexts()[text];
  return Text(word);
}

QString ThumbnailModel::CellText(const ThumbnailRow& row, int column) const {
  switch (column) {
    case kColumnNumber:
      return Text(row.key);
    case kColumnName: {
      // Rows of later Windows' "256_" streams have no original name:
      // the stream's own name says which picture it is.
      const std::string_view name = RowNameText(row);
      return Text(name.empty() ? std::string_view(row.key) : name);
    }
    case kColumnModified:
      return Text(RowTimeText(row));
    case kColumnKind:
      return row.carved ? CarvedKindText(row.carve_kind) : KindText(row.kind);
    case kColumnSize:
      return row.length > 0 ? QString::number(row.length) : QString();
    case kColumnDimensions:
      if (row.width <= 0 || row.height <= 0) return {};
      return QStringLiteral("%1 x %2").arg(row.width).arg(row.height);
    case kColumnOffset:
      if (row.thumbcache) return QString::number(row.entry_offset);
      return row.source_kind == SourceKind::kOpenFile ? QString::number(row.start) : QString();
    case kColumnIndexed:
      if (row.indexed < 0) return {};
      return Word(row.indexed == 1 ? kTextYes : kTextNo);
    case kColumnHeaderChecksum:
      if (!row.thumbcache) return {};
      return Word(row.checksum_ok ? kTextMatches : kTextDoesNotMatch);
    case kColumnDataChecksum:
      if (!row.thumbcache) return {};
      return QStringLiteral("%1").arg(row.data_checksum, 16, 16, QLatin1Char('0'));
    case kColumnEndFound:
      if (!row.carved) return {};
      return Word(row.complete ? kTextYes : kTextNo);
    case kColumnDecodes:
      if (!row.carved || row.decodes == DecodeCheck::kUnchecked) return {};
      return Word(row.decodes == DecodeCheck::kDecodes ? kTextYes : kTextNo);
    default:
      return {};
  }
}

int ThumbnailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int ThumbnailModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

ThumbnailRow* ThumbnailModel::RowAt(int row) {
  if (row < 0 || static_cast<size_t>(row) >= order_.size()) return nullptr;
  const size_t at = order_[static_cast<size_t>(row)];
  return at < list_.size() ? &list_[at] : nullptr;
}

const ThumbnailRow* ThumbnailModel::RowAt(int row) const {
  return const_cast<ThumbnailModel*>(this)->RowAt(row);
}

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const {
  const ThumbnailRow* row = RowAt(index.row());
  if (row == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
      return CellText(*row, index.column());
    case Qt::TextAlignmentRole:
      // Numbers line up on the right, as in a spreadsheet.
      if (index.column() == kColumnSize || index.column() == kColumnOffset)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::CheckStateRole:
      if (index.column() == 0) return row->checked ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::ToolTipRole:
      // Entries of a thumbcache_*.db add what their columns cannot show.
      if (row->thumbcache) return hint_ + QStringLiteral("\n\n") + Text(ThumbcacheRowNote(*row));
      // Carved rows say their kind and whether they decode.
      if (row->carved) return hint_ + QStringLiteral("\n\n") + Text(CarvedRowNote(*row));
      return hint_;
    case Qt::ForegroundRole:
      // A header checksum that does not match marks a damaged entry; a
      // carved picture that does not decode is greyed.
      if (row->thumbcache && !row->checksum_ok) return QBrush(Qt::darkRed);
      if (row->carved && row->decodes == DecodeCheck::kFails) return QBrush(Qt::gray);
      return {};
    default:
      return {};
  }
}

bool ThumbnailModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  ThumbnailRow* row = RowAt(index.row());
  if (row == nullptr || role != Qt::CheckStateRole || index.column() != 0) return false;
  row->checked = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags ThumbnailModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant ThumbnailModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  QString caption = captions_.value(section);
  if (section == kColumnModified && !zone_label_.isEmpty()) {
    // "Modified (UTC) v": the zone belongs to the caption, the marker stays last.
    const bool marked =
        caption.endsWith(QLatin1String(" v")) || caption.endsWith(QLatin1String(" ^"));
    const QString marker = marked ? caption.right(2) : QString();
    if (marked) caption.chop(2);
    caption += QStringLiteral(" (") + zone_label_ + QLatin1Char(')') + marker;
  }
  return caption;
}

void ThumbnailModel::SetZoneLabel(const QString& label) {
  if (zone_label_ == label) return;
  zone_label_ = label;
  emit headerDataChanged(Qt::Horizontal, 2, 2);
}

void ThumbnailModel::TimesChanged() {
  if (order_.empty()) return;
  emit dataChanged(index(0, 2), index(rowCount() - 1, 2), {Qt::DisplayRole});
}

void ThumbnailModel::SetCaption(int column, const QString& caption) {
  if (column < 0 || column >= captions_.size() || captions_[column] == caption) return;
  captions_[column] = caption;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void ThumbnailModel::Refresh() {
  beginResetModel();
  if (list_.size() < order_.size()) {
    // The list was emptied (and perhaps refilled): start from its order.
    order_.resize(list_.size());
    std::iota(order_.begin(), order_.end(), 0U);
  } else {
    const size_t shown = order_.size();
    order_.resize(list_.size());
    std::iota(order_.begin() + static_cast<std::ptrdiff_t>(shown), order_.end(),
              static_cast<uint32_t>(shown));
  }
  endResetModel();
}

void ThumbnailModel::Sort(
    const std::function<bool(const ThumbnailRow&, const ThumbnailRow&)>& less) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<uint32_t> old_order = order_;
  std::stable_sort(order_.begin(), order_.end(),
                   [&](uint32_t a, uint32_t b) { return less(list_[a], list_[b]); });
  // Persistent indexes (the current row, the selection) follow their records.
  std::vector<int> new_row(order_.size());
  for (size_t i = 0; i < order_.size(); ++i) new_row[order_[i]] = static_cast<int>(i);
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    const uint32_t at = old_order[static_cast<size_t>(index.row())];
    after << createIndex(new_row[at], index.column());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ThumbnailModel::ApplyCheckCommand(int tag) {
  if (tag < 1 || tag > 3 || order_.empty()) return;
  for (const uint32_t at : order_) {
    ThumbnailRow& row = list_[at];
    row.checked = tag == 1 ? true : tag == 2 ? false : !row.checked;
  }
  emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

}  // namespace glintvane
