// Where the desktop waits for the operator outside its own windows: message boxes, questions and
// file dialogs. Every window and dialog is handed the Prompter it asks through; the program's
// shows real boxes, a test's answers each kind of question from its own queue.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

class QObject;
class QWidget;

namespace kvx::gui {

class GuiQueue;

struct FileDialogRequest {
  bool save = false;
  QString title;
  QStringList filters;  // "KVX bin (*.bin)", ...
  int filterIndex = 1;  // 1-based, the filter chosen when the dialog opens
  QString defaultSuffix;
  QString fileName;     // the proposed name
};
struct FileDialogAnswer {
  bool accepted = false;
  QString path;
  int filterIndex = 1;  // 1-based, the filter chosen when the dialog was confirmed
};

// "KVX bin (*.bin)|*.bin|KVX hex (*.kvh)|*.kvh" -> the descriptions, which carry the patterns.
QStringList DialogFilters(const char* pipeList);

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A plain message box with an OK button ("Process is running!", "Connect OK!", ...).
  virtual void Message(QWidget* parent, const QString& text);
  // A refused entry: the box captioned "Error", with the error icon.
  virtual void Error(QWidget* parent, const QString& text);
  // The same box as Message for a worker that waits on it: the GUI thread does not wait (no
  // event loop of the box's own, so nothing can be destroyed under one); `answered` runs once
  // the operator has dismissed it. A box whose parent goes first never answers: its waiter
  // gives way to a stop.
  virtual void Open(QWidget* parent, const QString& text, std::function<void()> answered);
  // The reset-address warning: true for "Ignore" (go on), false for "Abort".
  virtual bool AbortIgnore(QWidget* parent, const QString& text);
  // A question: true for "Yes".
  virtual bool YesNo(QWidget* parent, const QString& text);
  // An open or save dialog; not accepted when the operator cancelled.
  virtual FileDialogAnswer FileName(QWidget* parent, const FileDialogRequest& request);

  // One plain box after the other, as a command's messages come from the core.
  void Messages(QWidget* parent, const std::vector<std::string>& texts);

  // A box with an event loop of its own (Message, Error, AbortIgnore, YesNo) is on the screen.
  static bool BoxUp();
};

// deleteLater, once no box's event loop is on the stack: a deferred deletion asked for under
// such a loop would otherwise run inside it, and could take the box's parent with it.
void DeleteOutsideBoxes(QObject* object);

// The prompter of the program: real boxes and dialogs.
Prompter& DefaultPrompter();

// For a worker thread: shows `text` in a box of `parent` through `queue` (the GUI thread's side)
// and waits until the operator has dismissed it or `stop` is requested, whichever comes first.
// `parent` owns `queue`, so a box still queued when the parent goes is never opened.
void WaitForBox(GuiQueue& queue, Prompter& prompter, QWidget* parent, const QString& text,
                std::stop_token stop);

}  // namespace kvx::gui
