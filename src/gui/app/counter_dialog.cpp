#include "gui/app/counter_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/device/pass_count.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

// Does this key press change the count's text the way the counter allows? Digits (main row or
// keypad), backspace and delete only.
bool Allowed(const QKeyEvent* key) {
  const QList<uint> typed = key->text().toUcs4();
  kvx::NamedKey named = kvx::NamedKey::None;
  if (key->key() == Qt::Key_Backspace) named = kvx::NamedKey::Backspace;
  if (key->key() == Qt::Key_Delete) named = kvx::NamedKey::Delete;
  return kvx::CounterKeyAllowed(typed.isEmpty() ? 0 : static_cast<char32_t>(typed.first()), named);
}

// Keys that move the cursor or the focus change no text: they pass.
bool Navigation(int key) {
  return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home || key == Qt::Key_End ||
         key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return ||
         key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

CounterDialog::CounterDialog(const QString& count, QWidget* parent) : QDialog(parent) {
  setObjectName("CounterSetupForm");
  setWindowTitle("Counter Setup");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 14, 18, 14);
  auto* row = new QHBoxLayout;
  auto* caption = new QLabel(this);
  caption->setObjectName("Label1");
  SetLabelText(caption, "Start Value :");
  startValueEdit_ = new QLineEdit(count, this);
  Name(startValueEdit_, "Edit1", "Start Value :");
  startValueEdit_->setMaxLength(kvx::kCounterMaxLength);
  startValueEdit_->installEventFilter(this);
  caption->setBuddy(startValueEdit_);
  row->addWidget(caption);
  row->addWidget(startValueEdit_, 1);
  layout->addLayout(row);
  auto* note = new QLabel(this);
  note->setObjectName("Label2");
  SetLabelText(note, "( Only available in Auto program mode!! )");
  layout->addWidget(note);
  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton(this);
  ok->setObjectName("BitBtn1");
  SetButtonText(ok, "OK");
  ok->setDefault(true);
  auto* cancel = new QPushButton(this);
  cancel->setObjectName("BitBtn2");
  SetButtonText(cancel, "Cancel");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  layout->addLayout(buttons);
}

QString CounterDialog::Text() const { return startValueEdit_->text(); }

bool CounterDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == startValueEdit_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress && !Allowed(key) &&
        !Navigation(key->key()))
      return true;  // this key leaves the text as it is
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kvx::gui
