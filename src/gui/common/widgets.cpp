#include "gui/common/widgets.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvx::gui {

QFont FixedFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"), font.family()});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  return font;
}

void Name(QWidget* widget, const QString& objectName, const QString& accessibleName) {
  widget->setObjectName(objectName);
  widget->setAccessibleName(accessibleName.isEmpty() ? objectName : accessibleName);
}

QString ShownText(const QString& text, Ampersands rule) {
  if (rule == Ampersands::AsWritten) return text;
  QString shown;
  shown.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&') ++i;
    shown += text[i];
  }
  return shown;
}

void SetLabelText(QLabel* label, const QString& text, Ampersands rule) {
  const QString shown = ShownText(text, rule);
  label->setTextFormat(Qt::PlainText);
  label->setText(shown);
  label->setAccessibleName(shown);
}

void SetButtonText(QAbstractButton* button, const QString& text) {
  button->setText(text);
  button->setAccessibleName(QString(text).remove('&'));
}

QLabel* MakeLabel(QWidget* parent, const char* objectName, const QString& text) {
  auto* label = Named(new QLabel(parent), objectName);
  SetLabelText(label, text);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& text) {
  auto* button = Named(new QPushButton(text, parent), objectName);
  button->setAccessibleName(text);
  return button;
}

QLineEdit* MakeEdit(QWidget* parent, const char* objectName, const QString& caption, int maxLength) {
  auto* edit = Named(new QLineEdit(parent), objectName);
  edit->setAccessibleName(caption);
  edit->setMaxLength(maxLength);
  return edit;
}

KeyFilter::KeyFilter(QObject* parent, std::function<char(char)> rule)
    : QObject(parent), rule_(std::move(rule)) {}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const QString text = key->text();
  if (text.size() != 1 || text[0].unicode() < 32 || key->matches(QKeySequence::Paste)) return false;
  const char16_t code = text[0].unicode();
  const char allowed = code < 128 ? rule_(static_cast<char>(code)) : '\0';
  if (allowed == '\0') return true;  // dropped
  if (allowed == static_cast<char>(code)) return false;
  if (auto* edit = qobject_cast<QLineEdit*>(watched)) edit->insert(QString(QLatin1Char(allowed)));
  return true;
}

void InstallKeyFilter(QWidget* edit, std::function<char(char)> rule) {
  edit->installEventFilter(new KeyFilter(edit, std::move(rule)));
}

char HexKeyKeepCase(char key) {
  const bool hex = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
  return hex || key == '\b' ? key : '\0';
}

}  // namespace kvx::gui
