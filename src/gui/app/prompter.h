// The program's message boxes. Every box the main window and its dialogs raise goes through a
// Prompter, so the tests can answer them without a modal loop.
#pragma once

#include <QString>
#include <functional>
#include <stop_token>

class QObject;
class QWidget;
namespace kvx::gui {

class GuiQueue;

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A plain message box with an OK button ("Process is running!", "Connect OK!", ...).
  virtual void Message(QWidget* parent, const QString& text);
  // The same box for a worker that waits on it: the GUI thread does not wait (no event loop of
  // the box's own, so nothing can be destroyed under one); `answered` runs once the operator has
  // dismissed it. A box whose parent goes first never answers: its waiter gives way to a stop.
  virtual void Open(QWidget* parent, const QString& text, std::function<void()> answered);
  // The reset-address warning: true for "Ignore" (go on), false for "Abort".
  virtual bool AbortIgnore(QWidget* parent, const QString& text);
  // A question: true for "Yes".
  virtual bool YesNo(QWidget* parent, const QString& text);

  // A box with an event loop of its own (Message, AbortIgnore, YesNo) is on the screen.
  static bool BoxUp();
};

// deleteLater, once no box's event loop is on the stack: a deferred deletion asked for under
// such a loop would otherwise run inside it, and could take the box's parent with it.
void DeleteOutsideBoxes(QObject* object);

// The prompter the program uses unless a test installs another one.
Prompter& DefaultPrompter();

// For a worker thread: shows `text` in a box of `parent` through `queue` (the GUI thread's side)
// and waits until the operator has dismissed it or `stop` is requested, whichever comes first.
// `parent` owns `queue`, so a box still queued when the parent goes is never opened.
void WaitForBox(GuiQueue& queue, Prompter& prompter, QWidget* parent, const QString& text,
                std::stop_token stop);

}  // namespace kvx::gui
