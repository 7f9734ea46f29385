#include "window_state.h"

#include <QMainWindow>
#include <QSlider>
#include <QSplitter>
#include <QWidget>

#include "cache_list.h"
#include "image_pane.h"
#include "locator_panel.h"
#include "platform/settings.h"
#include "window_parts.h"

namespace glintvane {
namespace {

constexpr char kGeometry[] = "WindowGeometry";
constexpr char kWindowState[] = "WindowState";
constexpr char kSplitter1[] = "Splitter1";
constexpr char kSplitter2[] = "Splitter2";
constexpr char kColumns1[] = "ListView1Columns";
constexpr char kColumns2[] = "ListView2Columns";
constexpr char kViewMode[] = "ViewMode";
constexpr char kImagePage[] = "ImagePage";
constexpr char kGalleryZoom[] = "GalleryZoom";

// Binary state (geometry, splitters, headers) kept as text in the store.
QByteArray StoredBytes(const char* name) {
  return QByteArray::fromBase64(platform::Settings::Stored(name).toLatin1());
}

void StoreBytes(const char* name, const QByteArray& bytes) {
  platform::Settings::Store(name, QString::fromLatin1(bytes.toBase64()));
}

}  // namespace

void SaveRememberedState(const WindowLayout& layout) {
  const WindowParts& parts = *layout.parts;
  StoreBytes(kGeometry, layout.window->saveGeometry());
  StoreBytes(kWindowState, layout.window->saveState());
  StoreBytes(kSplitter1, layout.splitter1->saveState());
  // The found-caches panel is hidden until a search: its size is only worth
  // keeping once the user has seen it.
  if (parts.locator->AllDbPanel->isVisible()) StoreBytes(kSplitter2, layout.splitter2->saveState());
  StoreBytes(kColumns1, parts.list->SaveState());
  StoreBytes(kColumns2, parts.locator->SaveState());
  platform::Settings::Store(kViewMode, parts.pane->ViewModeName());
  platform::Settings::Store(kImagePage, parts.pane->PageName());
  platform::Settings::Store(kGalleryZoom, QString::number(parts.pane->ZoomSlider->value()));
}

void RestoreRememberedState(const WindowLayout& layout) {
  const WindowParts& parts = *layout.parts;
  if (const QByteArray geometry = StoredBytes(kGeometry); !geometry.isEmpty())
    layout.window->restoreGeometry(geometry);
  if (const QByteArray state = StoredBytes(kWindowState); !state.isEmpty())
    layout.window->restoreState(state);
  if (const QByteArray sizes = StoredBytes(kSplitter1); !sizes.isEmpty())
    layout.splitter1->restoreState(sizes);
  if (const QByteArray sizes = StoredBytes(kSplitter2); !sizes.isEmpty())
    layout.splitter2->restoreState(sizes);
  if (const QByteArray columns = StoredBytes(kColumns1); !columns.isEmpty())
    parts.list->RestoreState(columns);
  if (const QByteArray columns = StoredBytes(kColumns2); !columns.isEmpty())
    parts.locator->RestoreState(columns);
  parts.pane->RestoreState(platform::Settings::Stored(kViewMode),
                           platform::Settings::Stored(kImagePage),
                           platform::Settings::Stored(kGalleryZoom).toInt());
}

}  // namespace glintvane
