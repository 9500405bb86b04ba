#include "gui/app/prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace {
QString Caption() { return QApplication::applicationName(); }

// Without a screen (the offscreen platform) nobody could answer a box: the text goes to the
// standard error instead, and the answer is the cautious one.
bool Headless() { return QGuiApplication::platformName() == "offscreen"; }
void ToStderr(const QString& text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); }
}  // namespace

void Prompter::Message(QWidget* parent, const QString& text) {
  if (Headless()) return ToStderr(text);
  QMessageBox box(QMessageBox::NoIcon, Caption(), text, QMessageBox::Ok, parent);
  box.setObjectName("MessageBox");
  box.exec();
}

bool Prompter::AbortIgnore(QWidget* parent, const QString& text) {
  if (Headless()) {
    ToStderr(text);
    return false;
  }
  QMessageBox box(QMessageBox::Warning, Caption(), text, QMessageBox::Abort | QMessageBox::Ignore,
                  parent);
  box.setObjectName("ResetAddressBox");
  box.setDefaultButton(QMessageBox::Abort);
  return box.exec() == QMessageBox::Ignore;
}

bool Prompter::YesNo(QWidget* parent, const QString& text) {
  if (Headless()) {
    ToStderr(text);
    return false;
  }
  QMessageBox box(QMessageBox::Question, Caption(), text, QMessageBox::Yes | QMessageBox::No,
                  parent);
  box.setObjectName("QuestionBox");
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

Prompter& DefaultPrompter() {
  static Prompter prompter;
  return prompter;
}
