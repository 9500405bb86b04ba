// "Counter Setup": the operator sets the pass count. Its edit takes digits (main row or keypad),
// backspace and delete only, at most nine of them.
#pragma once

#include <QDialog>

class QLineEdit;

namespace kvx::gui {

class CounterDialog : public QDialog {
  Q_OBJECT
 public:
  CounterDialog(const QString& count, QWidget* parent = nullptr);
  QString Text() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* startValueEdit_;
};

}  // namespace kvx::gui
