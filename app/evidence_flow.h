// "Open Evidence Image...": a disk image walked like File Locator walks a
// folder, its caches (deleted ones marked) put into the found-caches list,
// each opened from inside the image when chosen.
#pragma once

#include <QObject>
#include <QString>

namespace glintvane {

class WindowContext;
struct WindowParts;

// The file chooser's filter for disk images, in the chosen language.
QString DiskImageFilter(const WindowContext& context);

class EvidenceFlow : public QObject {
  Q_OBJECT

 public:
  explicit EvidenceFlow(const WindowParts& parts);

  // ActionOpenEvidenceExecute: the open dialog for disk images, then the walk.
  void Open();
  // OpenEvidenceImage: walks `path` and lists its caches.
  void OpenImage(const QString& path);

 private:
  const WindowParts& parts_;
};

}  // namespace glintvane
