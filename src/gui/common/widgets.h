// What every desktop window shares: texts between the core and the widgets, the names a screen
// reader and a test find a widget by, the fixed-width face and the key filters of the entry fields.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QAbstractButton;
class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kvx::gui {

// ---- Text between the core and the widgets ------------------------------------------------------
inline QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string S(const QString& text) { return text.toStdString(); }
// ID bytes and other single-byte texts, one character per byte.
inline QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string ToBytes(const QString& text) { return text.toLatin1().toStdString(); }

// The listing and the grids: Courier New where there is one, any fixed-width face otherwise.
QFont FixedFont();

// ---- Names and texts ------------------------------------------------------------------------
// objectName; the Make* helpers below also give the accessible name (the visible text).
template <class W>
W* Named(W* widget, const char* objectName) {
  widget->setObjectName(QString::fromLatin1(objectName));
  return widget;
}
// A widget with a given object name and the same accessible name (edits, boxes, lists).
void Name(QWidget* widget, const QString& objectName, const QString& accessibleName = {});

// How a label shows the ampersands of its text. The operation lines and the panel's texts come
// from the Writer program's own tables, written for a toolkit where a label's "&&" shows as one
// "&" ("ID && Checksum verify OK!!"); the editors' texts are shown as written.
enum class Ampersands { AsWritten, DoubledShowOnce };
// The text as shown, after `rule`.
QString ShownText(const QString& text, Ampersands rule);
// Sets a label's plain text and its accessible name to the text as shown.
void SetLabelText(QLabel* label, const QString& text, Ampersands rule = Ampersands::AsWritten);
void SetButtonText(QAbstractButton* button, const QString& text);
QLabel* MakeLabel(QWidget* parent, const char* objectName, const QString& text);
QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& text);
// An entry field named after the caption beside it.
QLineEdit* MakeEdit(QWidget* parent, const char* objectName, const QString& caption, int maxLength);

// ---- Key filters ------------------------------------------------------------------------------
// Keeps a line edit to the characters `rule` lets through; `rule` returns the character to
// insert (possibly changed, a-f into A-F) or '\0' to drop the key. Keys without text (arrows,
// Delete) and control characters (backspace) always pass.
class KeyFilter : public QObject {
 public:
  KeyFilter(QObject* parent, std::function<char(char)> rule);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<char(char)> rule_;
};
void InstallKeyFilter(QWidget* edit, std::function<char(char)> rule);
// 0-9, A-F, a-f and backspace, case kept.
char HexKeyKeepCase(char key);

}  // namespace kvx::gui
