#include "case_flow.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>

#include "case/evidence_digest.h"
#include "evidence/evidence_identity.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "window_context.h"
#include "window_parts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

// Settings: the case folder used last and the examiner's name, offered again.
constexpr char kCaseFolderValue[] = "CaseFolder";
constexpr char kExaminerValue[] = "Examiner";

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

CaseFlow::CaseFlow(const WindowParts& parts) : QObject(parts.window), parts_(parts) {}

CaseFlow::~CaseFlow() = default;

void CaseFlow::NewCase() {
  WindowContext& context = *parts_.context;
  if (parts_.work->IsWorking()) return;
  platform::Dialogs& dialogs = context.dialogs();
  const QString title = context.UiText(kTextNewCase);
  const QString last =
      context.RegistryString({}, QString::fromLatin1(kCaseFolderValue), QStringLiteral("read"));
  const QString folder = dialogs.ChooseFolderFrom(
      parts_.window, title, last.isEmpty() ? QDir::homePath() : QFileInfo(last).absolutePath());
  if (folder.isEmpty()) return;
  if (!QFileInfo(folder).isDir()) {
    if (!dialogs.AskYesNo(parts_.window,
                          context.UiText(kTextCreateFolder) + QStringLiteral("\n") + folder, 0))
      return;
    if (!QDir().mkpath(folder)) {
      dialogs.ShowMessage(parts_.window, platform::MessageKind::kError,
                          context.UiText(kTextCannotCreateFolder) + QStringLiteral(":\n") + folder);
      return;
    }
  }
  // A folder holds one case: the one there is offered instead.
  if (QFileInfo::exists(QDir(folder).filePath(Text(std::string(kCaseFileName))))) {
    if (dialogs.AskYesNo(parts_.window,
                         context.UiText(kTextCaseExists) + QStringLiteral("\n") + folder, 0))
      OpenCaseAt(folder);
    return;
  }
  const QString examiner_before =
      context.RegistryString({}, QString::fromLatin1(kExaminerValue), QStringLiteral("read"));
  const auto examiner =
      dialogs.AskText(parts_.window, title, context.UiText(kTextExaminer), examiner_before, false);
  if (!examiner) return;
  const auto number =
      dialogs.AskText(parts_.window, title, context.UiText(kTextCaseNumber), {}, false);
  if (!number) return;
  context.RegistryString(*examiner, QString::fromLatin1(kExaminerValue), QStringLiteral("write"));
  CreateCase(folder, {examiner->trimmed().toStdString(), number->trimmed().toStdString(), {}});
}

bool CaseFlow::CreateCase(const QString& folder, const CaseInfo& info) {
  auto made = CaseFile::Create(folder.toStdString(), info);
  if (!made) {
    Refuse(folder, made.error());
    return false;
  }
  SetCase(std::move(*made));
  return true;
}

void CaseFlow::OpenCase() {
  WindowContext& context = *parts_.context;
  if (parts_.work->IsWorking()) return;
  const QString last =
      context.RegistryString({}, QString::fromLatin1(kCaseFolderValue), QStringLiteral("read"));
  const QString folder = context.dialogs().ChooseFolderFrom(
      parts_.window, context.UiText(kTextOpenCase), last.isEmpty() ? QDir::homePath() : last);
  if (!folder.isEmpty()) OpenCaseAt(folder);
}

bool CaseFlow::OpenCaseAt(const QString& path) {
  auto opened = CaseFile::Open(path.toStdString());
  if (!opened) {
    Refuse(Text(CaseFile::PathFor(path.toStdString())), opened.error());
    return false;
  }
  SetCase(std::move(*opened));
  return true;
}

void CaseFlow::Refuse(const QString& path, const CaseFailure& failure) {
  WindowContext& context = *parts_.context;
  QString why;
  switch (failure.kind) {
    case CaseFailureKind::kNewerVersion:
      why = context.UiText(kTextCaseNewer).arg(failure.version).arg(kCaseSchemaVersion);
      break;
    case CaseFailureKind::kDamaged:
      why = context.UiText(kTextCaseDamaged);
      break;
    case CaseFailureKind::kMissing:
    case CaseFailureKind::kNotACaseFile:
      why = context.UiText(kTextNotACaseFile);
      break;
    case CaseFailureKind::kExists:
    case CaseFailureKind::kReadOnly:
    case CaseFailureKind::kIo:
      break;
  }
  if (!failure.detail.empty())
    why += QStringLiteral(" (") + Text(failure.detail) + QLatin1Char(')');
  QString text = context.UiText(kTextCaseRefused) + QStringLiteral(":\n") + path;
  if (!why.isEmpty()) text += QStringLiteral("\n\n") + why.trimmed();
  // Nothing made, nothing changed: the file stays as it was found.
  if (failure.kind != CaseFailureKind::kIo)
    text += QStringLiteral("\n") + context.UiText(kTextCaseLeftAlone);
  context.dialogs().ShowMessage(parts_.window, platform::MessageKind::kError, text);
}

void CaseFlow::SetCase(std::unique_ptr<CaseFile> file) {
  WindowContext& context = *parts_.context;
  case_ = std::move(file);
  evidence_ = {};
  context.RegistryString(Text(case_->path()), QString::fromLatin1(kCaseFolderValue),
                         QStringLiteral("write"));
  // The case's tags, and those made in this session before it was opened.
  std::vector<std::string> names = case_->Tags();
  for (const std::string& name : context.tag_names()) {
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(name);
      case_->AddTag(name);
    }
  }
  context.SetTagNames(std::move(names));
  emit CaseChanged();
  BindEvidence();
}

void CaseFlow::CloseCase() {
  if (!case_ || parts_.work->IsWorking()) return;
  case_.reset();
  evidence_ = {};
  emit CaseChanged();
}

EvidenceKey CaseFlow::KeyOf(const std::string& path, bool carved, std::stop_token stop) {
  if (!case_) return {};
  return KeyOfSource(IdentifyEvidence(path, carved), stop);
}

EvidenceKey CaseFlow::KeyOfSource(const EvidenceSource& source, std::stop_token stop) {
  if (source.files.empty()) return {};
  const std::string stamp = EvidenceStamp(source.files);
  if (auto it = digests_.find(stamp); !stamp.empty() && it != digests_.end()) {
    return {it->second, source.location};
  }
  if (auto known = case_->KnownDigest(stamp)) {
    if (!stamp.empty()) digests_[stamp] = *known;
    return {*known, source.location};
  }
  const EvidenceDigest digest = HashEvidenceFiles(source.files, parts_.work->progress(), stop);
  if (!digest.ok) return {};
  if (!stamp.empty()) digests_[stamp] = digest.sha256;
  return {digest.sha256, source.location};
}

void CaseFlow::BindEvidence() {
  WindowContext& context = *parts_.context;
  evidence_ = {};
  evidence_size_ = 0;
  if (!case_ || context.thumbnails().empty() || context.open_file().isEmpty() ||
      parts_.work->IsWorking())
    return;
  const std::string path = context.open_file().toStdString();
  const bool carved = context.carved_list();
  EvidenceKey key;
  std::vector<std::string> files;
  std::string stamp;
  uint64_t size = 0;
  QProgressBar* bar = parts_.status->progress_bar();
  const QString format = bar->format();
  bar->setFormat(context.UiText(kTextHashingEvidence) + QStringLiteral(" %p%"));
  parts_.work->ResetElapsed();
  parts_.work->ShowProgress(true);
  parts_.work->Run([&](std::stop_token stop) {
    const EvidenceSource source = IdentifyEvidence(path, carved);
    files = source.files;
    stamp = EvidenceStamp(files);
    for (const std::string& file : files) size += QFileInfo(Text(file)).size();
    key = KeyOfSource(source, stop);
  });
  parts_.work->ShowProgress(false);
  bar->setFormat(format);
  if (parts_.work->stopped()) parts_.work->ShowCancelled();
  parts_.work->AfterWork();
  if (key.empty() || files.empty()) return;
  if (auto recorded = case_->RecordEvidence({key.sha256, size, files.front(), stamp, {}, {}});
      !recorded) {
    context.dialogs().ShowMessage(parts_.window, platform::MessageKind::kError,
                                  context.UiText(kTextCaseWriteFailed) + QStringLiteral(":\n") +
                                      Text(case_->path()) + QStringLiteral("\n") +
                                      Text(recorded.error().detail));
  }
  evidence_ = key;
  evidence_size_ = size;
  // The case's marks for these rows, and those made before it knew them.
  std::map<std::string, RowMarks> stored = case_->Marks(key);
  WindowContext::MarksMap merged(stored.begin(), stored.end());
  std::vector<std::string> unsaved;
  for (const auto& [row_key, marks] : context.marks()) {
    if (merged.count(row_key) > 0) continue;
    merged[row_key] = marks;
    unsaved.push_back(row_key);
  }
  context.ReplaceMarks(std::move(merged));
  SaveMarks(unsaved);
  emit EvidenceBound();
}

void CaseFlow::SaveMarks(const std::vector<std::string>& row_keys) {
  if (!case_ || evidence_.empty() || row_keys.empty()) return;
  WindowContext& context = *parts_.context;
  std::vector<std::pair<std::string, RowMarks>> rows;
  for (const std::string& key : row_keys) {
    const RowMarks* marks = context.MarksOf(key);
    rows.emplace_back(key, marks != nullptr ? *marks : RowMarks{});
  }
  if (auto saved = case_->SetMarks(evidence_, rows); !saved) {
    context.dialogs().ShowMessage(parts_.window, platform::MessageKind::kError,
                                  context.UiText(kTextCaseWriteFailed) + QStringLiteral(":\n") +
                                      Text(case_->path()) + QStringLiteral("\n") +
                                      Text(saved.error().detail));
  }
}

void CaseFlow::AddTag(const std::string& name) {
  WindowContext& context = *parts_.context;
  std::vector<std::string> names = context.tag_names();
  if (std::find(names.begin(), names.end(), name) != names.end()) return;
  names.push_back(name);
  if (case_) case_->AddTag(name);
  context.SetTagNames(std::move(names));
}

}  // namespace glintvane
