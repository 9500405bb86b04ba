// The program's message boxes. Every box the main window and its dialogs raise goes through a
// Prompter, so the tests can answer them without a modal loop.
#pragma once

#include <QString>

class QWidget;

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A plain message box with an OK button ("Process is running!", "Connect OK!", ...).
  virtual void Message(QWidget* parent, const QString& text);
  // The reset-address warning: true for "Ignore" (go on), false for "Abort".
  virtual bool AbortIgnore(QWidget* parent, const QString& text);
  // A question: true for "Yes".
  virtual bool YesNo(QWidget* parent, const QString& text);
};

// The prompter the program uses unless a test installs another one.
Prompter& DefaultPrompter();
