#include "platform/app_chooser.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>
#include <QVBoxLayout>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace glintvane::platform {
namespace {

constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";

// Reads the [Desktop Entry] group of one file; the other groups (actions)
// are not applications of their own.
std::optional<DesktopApplication> ReadEntry(const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
  QTextStream text(&in);
  DesktopApplication app;
  app.id = QFileInfo(file).fileName();
  bool in_entry = false;
  bool shown = true;
  bool is_application = false;
  while (!text.atEnd()) {
    const QString line = text.readLine().trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      in_entry = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    if (!in_entry) continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    const QString key = line.left(eq).trimmed();
    const QString value = line.mid(eq + 1).trimmed();
    if (key == QLatin1String("Name")) app.name = value;
    if (key == QLatin1String("Exec")) app.exec = value;
    if (key == QLatin1String("Icon")) app.icon = value;
    if (key == QLatin1String("Type")) is_application = value == QLatin1String("Application");
    if (key == QLatin1String("MimeType"))
      app.mime_types = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if ((key == QLatin1String("NoDisplay") || key == QLatin1String("Hidden")) &&
        value == QLatin1String("true"))
      shown = false;
  }
  if (!is_application || !shown || app.exec.isEmpty() || app.name.isEmpty()) return std::nullopt;
  return app;
}

}  // namespace

QStringList ApplicationFolders() {
  QStringList folders;
  for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    folders << data + QStringLiteral("/applications");
  folders.removeDuplicates();
  return folders;
}

QList<DesktopApplication> ApplicationsForMimeType(const QString& mime_type,
                                                  const QStringList& folders) {
  const QString group = mime_type.section(QLatin1Char('/'), 0, 0) + QStringLiteral("/*");
  QList<DesktopApplication> found;
  QSet<QString> seen;
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable, QDir::Name)) {
      if (seen.contains(name)) continue;
      seen.insert(name);  // an earlier folder's entry hides a later one of the same id
      const auto app = ReadEntry(dir.filePath(name));
      if (!app) continue;
      if (app->mime_types.contains(mime_type) || app->mime_types.contains(group)) found << *app;
    }
  }
  std::sort(found.begin(), found.end(),
            [](const DesktopApplication& a, const DesktopApplication& b) {
              return a.name.localeAwareCompare(b.name) < 0;
            });
  return found;
}

QStringList LaunchArguments(const QString& exec, const QString& path) {
  QStringList out;
  bool placed = false;
  for (const QString& word : QProcess::splitCommand(exec)) {
    if (word == QLatin1String("%f") || word == QLatin1String("%F")) {
      out << path;
      placed = true;
      continue;
    }
    if (word == QLatin1String("%u") || word == QLatin1String("%U")) {
      out << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
      placed = true;
      continue;
    }
    // Field codes standing alone that carry nothing here.
    if (word.size() == 2 && word[0] == QLatin1Char('%') && word[1] != QLatin1Char('%')) continue;
    QString kept = word;
    kept.replace(QStringLiteral("%%"), QStringLiteral("%"));
    out << kept;
  }
  if (!out.isEmpty() && !placed) out << path;
  return out;
}

bool PortalOpenFileAsk(QWidget* parent, const QString& path) {
  (void)parent;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return false;
  if (!bus.interface()->isServiceRegistered(QString::fromLatin1(kPortalService)).value())
    return false;
  // The portal is handed an open descriptor, not a name, so it opens
  // exactly the file we wrote.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenFile"));
  QVariantMap options;
  options.insert(QStringLiteral("ask"), true);
  call << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(fd)) << options;
  ::close(fd);  // QDBusUnixFileDescriptor keeps a duplicate
  const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage;
}

AppChooserDialog::AppChooserDialog(const QString& path, QWidget* parent, const QStringList& folders,
                                   const DialogTexts& texts)
    : QDialog(parent), path_(path) {
  setObjectName(QStringLiteral("AppChooserDialog"));
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(path);
  applications_ = ApplicationsForMimeType(mime.name(), folders);
  setWindowTitle(texts.open_with);
  auto* layout = new QVBoxLayout(this);
  auto* heading =
      new QLabel(texts.open_file_with.arg(QFileInfo(path).fileName(), mime.comment()), this);
  heading->setWordWrap(true);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("AppList"));
  for (const DesktopApplication& app : applications_) {
    auto* item = new QListWidgetItem(QIcon::fromTheme(app.icon), app.name, list_);
    item->setToolTip(app.exec);
  }
  if (list_->count() > 0) list_->setCurrentRow(0);
  command_ = new QLineEdit(this);
  command_->setObjectName(QStringLiteral("AppCommand"));
  command_->setPlaceholderText(texts.type_command);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Open)->setText(texts.open);
  buttons->button(QDialogButtonBox::Cancel)->setText(texts.cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  layout->addWidget(heading);
  layout->addWidget(list_, 1);
  layout->addWidget(new QLabel(texts.command + QLatin1Char(':'), this));
  layout->addWidget(command_);
  layout->addWidget(buttons);
  resize(420, 360);
}

QStringList AppChooserDialog::CommandLine() const {
  // A typed command wins over the highlighted application.
  const QString typed = command_->text().trimmed();
  if (!typed.isEmpty()) return LaunchArguments(typed, path_);
  const int row = list_->currentRow();
  if (row < 0 || row >= applications_.size()) return {};
  return LaunchArguments(applications_[row].exec, path_);
}

}  // namespace glintvane::platform
