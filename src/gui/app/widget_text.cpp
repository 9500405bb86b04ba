#include "gui/app/widget_text.h"

#include <QAbstractButton>
#include <QLabel>

QString ShownText(const QString& stored) {
  QString shown;
  shown.reserve(stored.size());
  for (qsizetype i = 0; i < stored.size(); ++i) {
    if (stored[i] == '&' && i + 1 < stored.size() && stored[i + 1] == '&') ++i;
    shown += stored[i];
  }
  return shown;
}

void SetLabelText(QLabel* label, const QString& stored) {
  const QString shown = ShownText(stored);
  label->setTextFormat(Qt::PlainText);
  label->setText(shown);
  label->setAccessibleName(shown);
}

void SetButtonText(QAbstractButton* button, const QString& text) {
  button->setText(text);
  button->setAccessibleName(QString(text).remove('&'));
}

void Name(QWidget* widget, const QString& objectName, const QString& accessibleName) {
  widget->setObjectName(objectName);
  widget->setAccessibleName(accessibleName.isEmpty() ? objectName : accessibleName);
}
