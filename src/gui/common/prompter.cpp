#include "gui/common/prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "gui/common/gui_queue.h"

namespace kvx::gui {

namespace {
QString Caption() { return QApplication::applicationDisplayName(); }

// Without a screen (the offscreen platform) nobody could answer a box: the text goes to the
// standard error instead, and the answer is the cautious one.
bool Headless() { return QGuiApplication::platformName() == "offscreen"; }
void ToStderr(const QString& text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); }

// The boxes that run an event loop of their own, now on the screen. A box lives on the heap and
// is watched: should its parent go under its loop, the box goes with it and nothing is deleted
// twice.
int boxesUp = 0;

int RunBox(QMessageBox* box) {
  QPointer<QMessageBox> watched(box);
  ++boxesUp;
  const int answer = box->exec();
  --boxesUp;
  delete watched.data();
  return answer;
}

// A modal box of the program's: its look, its name, its buttons and the one a key press takes.
struct BoxLook {
  QMessageBox::Icon icon;
  QString caption;
  const char* name;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton cautious;  // the default, and the answer when nobody could give one
};

// Without a screen the text goes to the standard error and the answer is the cautious one.
int Ask(const BoxLook& look, QWidget* parent, const QString& text) {
  if (Headless()) {
    ToStderr(text);
    return look.cautious;
  }
  auto* box = new QMessageBox(look.icon, look.caption, text, look.buttons, parent);
  box->setObjectName(look.name);
  box->setDefaultButton(look.cautious);
  return RunBox(box);
}

}  // namespace

bool Prompter::BoxUp() { return boxesUp > 0; }

void Prompter::Message(QWidget* parent, const QString& text) {
  Ask({QMessageBox::NoIcon, Caption(), "MessageBox", QMessageBox::Ok, QMessageBox::Ok}, parent, text);
}

void Prompter::Open(QWidget* parent, const QString& text, std::function<void()> answered) {
  if (Headless()) {
    ToStderr(text);
    if (answered) answered();
    return;
  }
  auto* box = new QMessageBox(QMessageBox::NoIcon, Caption(), text, QMessageBox::Ok, parent);
  box->setObjectName("MessageBox");
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QDialog::finished, box, [answered = std::move(answered)] {
    if (answered) answered();
  });
  box->open();
}

void Prompter::Error(QWidget* parent, const QString& text) {
  Ask({QMessageBox::Critical, QStringLiteral("Error"), "ErrorBox", QMessageBox::Ok, QMessageBox::Ok},
      parent, text);
}

bool Prompter::AbortIgnore(QWidget* parent, const QString& text) {
  return Ask({QMessageBox::Warning, Caption(), "ResetAddressBox", QMessageBox::Abort | QMessageBox::Ignore,
              QMessageBox::Abort},
             parent, text) == QMessageBox::Ignore;
}

bool Prompter::YesNo(QWidget* parent, const QString& text) {
  return Ask({QMessageBox::Question, Caption(), "QuestionBox", QMessageBox::Yes | QMessageBox::No,
              QMessageBox::No},
             parent, text) == QMessageBox::Yes;
}

FileDialogAnswer Prompter::FileName(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent, request.title);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The commands ask their own questions about an existing file (or replace it as they should).
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters(request.filters);
  if (request.filterIndex >= 1 && request.filterIndex <= request.filters.size())
    dialog.selectNameFilter(request.filters[request.filterIndex - 1]);
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  FileDialogAnswer answer;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return answer;
  answer.accepted = true;
  answer.path = dialog.selectedFiles().first();
  answer.filterIndex = static_cast<int>(request.filters.indexOf(dialog.selectedNameFilter())) + 1;
  return answer;
}

void Prompter::Messages(QWidget* parent, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) Message(parent, QString::fromStdString(text));
}

QStringList DialogFilters(const char* pipeList) {
  const QStringList parts = QString::fromLatin1(pipeList).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) filters << parts[i];
  return filters;
}

void DeleteOutsideBoxes(QObject* object) {
  if (!Prompter::BoxUp()) {
    object->deleteLater();
    return;
  }
  QTimer::singleShot(50, object, [object] { DeleteOutsideBoxes(object); });
}

Prompter& DefaultPrompter() {
  static Prompter prompter;
  return prompter;
}

void WaitForBox(GuiQueue& queue, Prompter& prompter, QWidget* parent, const QString& text,
                std::stop_token stop) {
  // Shared, so an answer that comes after the worker gave way to a stop finds it still there.
  struct Wait {
    std::mutex mu;
    std::condition_variable_any cv;
    bool dismissed = false;
  };
  auto wait = std::make_shared<Wait>();
  queue.Post([wait, &prompter, parent, text] {
    prompter.Open(parent, text, [wait] {
      std::lock_guard lock(wait->mu);
      wait->dismissed = true;
      wait->cv.notify_all();
    });
  });
  std::unique_lock lock(wait->mu);
  wait->cv.wait(lock, stop, [&] { return wait->dismissed; });
}

}  // namespace kvx::gui
