// The case: File > New Case, Open Case and Close Case, the case file they
// open (case/case_file.h), and the evidence the list shows bound to it. When
// a list has been read with a case open, the evidence is hashed on the
// worker (progress and Cancel in the status line; not again for files the
// case recorded unchanged) and the case's tags and notes for its rows come
// into the list; tags and notes put on rows meanwhile are kept in the case
// as they are made.
#pragma once

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "evidence/evidence_identity.h"

namespace glintvane {

struct WindowParts;

class CaseFlow : public QObject {
  Q_OBJECT

 public:
  explicit CaseFlow(const WindowParts& parts);
  ~CaseFlow() override;

  // ActionNewCaseExecute: a folder, the examiner and the case number, then a
  // new case file in the folder (or the one there, after asking).
  void NewCase();
  // ActionOpenCaseExecute: the case file of a chosen folder.
  void OpenCase();
  // Opens the case file at `path` (a case file or its folder); a refused one
  // is named with the reason and left as it is. True when opened.
  bool OpenCaseAt(const QString& path);
  // Makes a case in `folder`; false when refused (the reason is shown).
  bool CreateCase(const QString& folder, const CaseInfo& info);
  // ActionCloseCaseExecute.
  void CloseCase();

  bool is_open() const { return case_ != nullptr; }
  CaseFile* case_file() const { return case_.get(); }
  // The key of the evidence the list shows, once bound (empty otherwise).
  const EvidenceKey& evidence() const { return evidence_; }
  uint64_t evidence_size() const { return evidence_size_; }

  // Hashes the evidence of the list shown (on the worker) and brings the
  // case's marks for its rows into the list; marks made before are written
  // into the case. Nothing without a case or a list.
  void BindEvidence();
  // Keeps the marks of these rows in the case (after a change in the list).
  // A case that cannot be written is said once per change.
  void SaveMarks(const std::vector<std::string>& row_keys);
  // A tag made by the person, offered from now on.
  void AddTag(const std::string& name);

  // The key of the evidence at `path` (a cache file, a cache inside a disk
  // image, or a carved file) for a case: from this run's digests, from the
  // case's record of unchanged files, or by hashing on the calling thread
  // (the worker). Empty when it cannot be hashed or `stop` asks.
  EvidenceKey KeyOf(const std::string& path, bool carved, std::stop_token stop);

 signals:
  // A case was opened or closed.
  void CaseChanged();
  // The list's evidence was bound to the case (its marks are in the list).
  void EvidenceBound();

 private:
  void Refuse(const QString& path, const CaseFailure& failure);
  EvidenceKey KeyOfSource(const EvidenceSource& source, std::stop_token stop);
  void SetCase(std::unique_ptr<CaseFile> file);

  const WindowParts& parts_;
  std::unique_ptr<CaseFile> case_;
  EvidenceKey evidence_;
  uint64_t evidence_size_ = 0;
  // SHA-256 of the files hashed in this run, by their stamp: the digests of
  // a disk image's files are taken once however many caches are opened in it.
  std::map<std::string, std::string> digests_;
};

}  // namespace glintvane
