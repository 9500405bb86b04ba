// The desktop tests' prompter: every box is recorded, and each kind of question is answered from
// its own channel (a queue of Yes/No answers, a queue of file dialog answers, the Abort/Ignore
// choice), so an answer meant for one question never answers another.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "gui/common/prompter.h"
#include "gui/qt_printers.h"

namespace kvx::gui::test {

class TestPrompter : public Prompter {
 public:
  enum class Kind { Message, Error, Open, AbortIgnore, YesNo };
  struct Box {
    Kind kind;
    QString text;
  };

  void Message(QWidget*, const QString& text) override { Record(Kind::Message, text); }
  void Error(QWidget*, const QString& text) override { Record(Kind::Error, text); }
  // A worker's box: answered at once, or kept unanswered while `hold` is set.
  void Open(QWidget*, const QString& text, std::function<void()> answered) override {
    Record(Kind::Open, text);
    if (hold)
      held.push_back(std::move(answered));
    else if (answered)
      answered();
  }
  bool AbortIgnore(QWidget*, const QString& text) override {
    Record(Kind::AbortIgnore, text);
    if (whileAsked) whileAsked();
    return ignore;
  }
  // A question nobody queued an answer for fails the test (and is answered "No").
  bool YesNo(QWidget*, const QString& text) override {
    Record(Kind::YesNo, text);
    if (yesNo.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return false;
    }
    const bool yes = yesNo.front();
    yesNo.pop_front();
    return yes;
  }
  // A file dialog nobody queued an answer for is cancelled.
  FileDialogAnswer FileName(QWidget*, const FileDialogRequest& request) override {
    fileRequests.push_back(request);
    if (files.empty()) return {};
    FileDialogAnswer answer = files.front();
    files.pop_front();
    return answer;
  }

  // The texts of the boxes of one kind, in order.
  QStringList Texts(Kind kind) const {
    QStringList texts;
    for (const Box& box : boxes)
      if (box.kind == kind) texts << box.text;
    return texts;
  }

  QStringList messages;      // every box's text, in order, whatever its kind
  std::vector<Box> boxes;    // the same with each box's kind
  std::deque<bool> yesNo;    // the answers to the next Yes/No questions (true: "Yes")
  std::deque<FileDialogAnswer> files;      // the answers to the next file dialogs
  std::vector<FileDialogRequest> fileRequests;  // every file dialog asked for
  bool ignore = true;        // the Abort/Ignore answer: "Ignore"
  std::function<void()> whileAsked;        // runs while the Abort/Ignore box is up
  bool hold = false;
  std::vector<std::function<void()>> held;  // the answers of the worker boxes kept open

 private:
  void Record(Kind kind, const QString& text) {
    messages << text;
    boxes.push_back({kind, text});
  }
};

}  // namespace kvx::gui::test
