// Dialogs that answer from a script, so window tests run without a person.
#pragma once

#include <QQueue>
#include <QString>
#include <QStringList>

#include <optional>

#include "platform/dialogs.h"

namespace glintvane {

class ScriptedDialogs : public platform::Dialogs {
 public:
  void ShowMessage(QWidget*, platform::MessageKind, const QString& text) override {
    messages << text;
  }
  bool AskYesNo(QWidget*, const QString& text, int help_context) override {
    questions << text;
    help_contexts << help_context;
    return answers.isEmpty() ? false : answers.dequeue();
  }
  bool AskYesNoRemember(QWidget* parent, const QString& text, int help_context, const QString&,
                        bool* remember_answer) override {
    *remember_answer = remember.isEmpty() ? false : remember.dequeue();
    return AskYesNo(parent, text, help_context);
  }
  QString ChooseOpenFile(QWidget*, const QStringList& filters) override {
    last_filters = filters;
    return open_file;
  }
  QString ChooseFolder(QWidget*, const QString&) override { return folder; }
  QString ChooseFolderFrom(QWidget*, const QString&, const QString& start) override {
    folder_starts << start;
    return folder;
  }
  bool OpenWithPortal(QWidget*, const QString& path) override {
    portal_paths << path;
    return portal_answer;
  }
  QStringList ChooseApplication(QWidget*, const QString& path) override {
    chooser_paths << path;
    return application;
  }
  std::optional<CarveChoice> ChooseCarveKinds(QWidget*, const CarveChoice& preselected,
                                              bool disk_image) override {
    kinds_offered << preselected.kinds;
    offered_unallocated << disk_image;
    if (cancel_kinds) return std::nullopt;
    return CarveChoice{carve_kinds.value_or(preselected.kinds), disk_image && carve_unallocated};
  }

  QQueue<bool> answers;   // Yes/No answers in order; No once they run out
  QQueue<bool> remember;  // "Don't ask again" ticked, for questions that offer it
  QStringList messages;
  QStringList questions;
  QList<int> help_contexts;
  QStringList last_filters;
  QString open_file;
  QString folder;
  QStringList folder_starts;
  bool portal_answer = false;  // the session has no portal
  QStringList portal_paths;
  QStringList chooser_paths;
  QStringList application;  // the command the chooser answers; empty: cancelled
  QList<CarveKinds> kinds_offered;
  // What the kinds question answers: these kinds, or the ones offered
  // when unset; nothing when cancel_kinds.
  std::optional<CarveKinds> carve_kinds;
  bool cancel_kinds = false;
  // Whether the unallocated-only choice was offered, each time; the answer
  // to it (given only where it was offered).
  QList<bool> offered_unallocated;
  bool carve_unallocated = false;
};

}  // namespace glintvane
