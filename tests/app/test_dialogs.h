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
  std::optional<CarveKinds> ChooseCarveKinds(QWidget*, CarveKinds preselected) override {
    kinds_offered << preselected;
    if (cancel_kinds) return std::nullopt;
    return carve_kinds.value_or(preselected);
  }

  QQueue<bool> answers;  // Yes/No answers in order; No once they run out
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
};

}  // namespace glintvane
