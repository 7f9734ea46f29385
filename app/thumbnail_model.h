// The thumbnail list as Qt sees it: a table over the core's ThumbnailList.
// The rows stay where the core put them; the model keeps the order they are
// shown in, so sorting 100,000 rows moves indices, not records.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "cache/thumbnail_list.h"

namespace glintvane {

// The columns, in the order the list shows them. The first three are the
// list's classic ones; the rest tell what a thumbcache entry or a carved
// image carries, and are shown or hidden per kind of list.
enum ThumbnailColumn : int {
  kColumnNumber,
  kColumnName,
  kColumnModified,
  kColumnKind,
  kColumnSize,
  kColumnDimensions,
  kColumnOffset,
  kColumnIndexed,
  kColumnHeaderChecksum,
  kColumnDataChecksum,
  kColumnEndFound,
  kColumnDecodes,
};

class UiTexts;

class ThumbnailModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = kColumnDecodes + 1;

  explicit ThumbnailModel(ThumbnailList& list, QObject* parent = nullptr);
  // The texts the cells' words ("Yes", "matches") come from; null: English.
  void SetTexts(const UiTexts* texts) { texts_ = texts; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The record shown in view row `row`; nullptr outside the list.
  ThumbnailRow* RowAt(int row);
  const ThumbnailRow* RowAt(int row) const;

  // Column captions, with their sort markers.
  QString Caption(int column) const { return captions_.value(column); }
  void SetCaption(int column, const QString& caption);

  // Shows the rows the core added to or removed from the list since the
  // last call. New rows are shown after the ones already listed.
  void Refresh();

  // Sorts the shown rows once; `less` compares two records. Stable, so rows
  // the comparison counts as equal keep their order.
  void Sort(const std::function<bool(const ThumbnailRow&, const ThumbnailRow&)>& less);

  // Checks (1), unchecks (2) or inverts (3) every row's check box.
  void ApplyCheckCommand(int tag);

  // The clock the Modified texts are in ("UTC", "Europe/Berlin"), named in
  // that column's header before its sort marker; "" names none.
  void SetZoneLabel(const QString& label);
  // The rows' time texts were rewritten.
  void TimesChanged();

  // The hint the list shows as its tooltip: the open file.
  void SetHint(const QString& hint) { hint_ = hint; }

  // The text of `column` for a record, as the cell shows it.
  QString CellText(const ThumbnailRow& row, int column) const;

 private:
  QString Word(int text) const;

  ThumbnailList& list_;
  const UiTexts* texts_ = nullptr;
  std::vector<uint32_t> order_;  // view row -> list index
  QStringList captions_;
  QString hint_;
  QString zone_label_;
};

}  // namespace glintvane
