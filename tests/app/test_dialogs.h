// Dialogs that answer from a script, so window tests run without a person.
#pragma once

#include <QQueue>
#include <QString>
#include <QStringList>

#include "platform/dialogs.h"

namespace glintvane {

class ScriptedDialogs final : public platform::Dialogs {
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

  QQueue<bool> answers;  // Yes/No answers in order; No once they run out
  QStringList messages;
  QStringList questions;
  QList<int> help_contexts;
  QStringList last_filters;
  QString open_file;
  QString folder;
};

}  // namespace glintvane
