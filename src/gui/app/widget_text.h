// Texts on widgets: what the operator sees is also what a screen reader (and a test) finds.
#pragma once

#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

// The toolkit's accelerator rule of the labels: a stored "&&" shows as one "&".
QString ShownText(const QString& stored);
// Sets a label's text and its accessible name to the text as shown.
void SetLabelText(QLabel* label, const QString& stored);
void SetButtonText(QAbstractButton* button, const QString& text);
// A widget with a given object name and the same accessible name (edits, boxes, lists).
void Name(QWidget* widget, const QString& objectName, const QString& accessibleName = {});
