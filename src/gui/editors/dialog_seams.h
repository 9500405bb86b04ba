// The few places where an editor waits for the operator outside its own window: message boxes
// and file dialogs. Each goes through one function with a hook, so that tests answer them
// without a modal loop; key filters and the naming helpers every window shares live here too.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kvx::gui {

// ---- Message boxes ----------------------------------------------------------------------------
enum class BoxKind { Plain, Error, YesNo };
struct MessageBoxRequest {
  BoxKind kind = BoxKind::Plain;
  QString caption;
  QString text;
};
// A hook answers instead of a real box; for YesNo its result is the answer (true = Yes).
using MessageBoxHook = std::function<bool(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);  // an empty hook brings the real boxes back

void ShowMessage(QWidget* parent, const std::string& text);  // a plain box
void ShowMessages(QWidget* parent, const std::vector<std::string>& texts);
void ShowError(QWidget* parent, const std::string& text);    // caption "Error", error icon
bool AskYesNo(QWidget* parent, const std::string& text);

// ---- File dialogs -------------------------------------------------------------------------------
struct FileDialogRequest {
  bool save = false;
  QString title;
  QStringList filters;  // "KVX bin (*.bin)", ...
  int filterIndex = 1;  // 1-based, the filter chosen when the dialog opens
  QString defaultSuffix;
  QString fileName;     // the proposed name
};
struct FileDialogAnswer {
  bool accepted = false;
  QString path;
  int filterIndex = 1;  // 1-based, the filter chosen when the dialog was confirmed
};
using FileDialogHook = std::function<FileDialogAnswer(const FileDialogRequest&)>;
void SetFileDialogHook(FileDialogHook hook);
FileDialogAnswer AskFileName(QWidget* parent, const FileDialogRequest& request);

// "KVX bin (*.bin)|*.bin|KVX hex (*.kvh)|*.kvh" -> the descriptions, which carry the patterns.
QStringList DialogFilters(const char* pipeList);

// ---- Text between the core and the widgets ------------------------------------------------------
inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }
// ID bytes and other single-byte texts, one character per byte.
inline QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string ToBytes(const QString& text) { return text.toLatin1().toStdString(); }

// The listing and the grids: Courier New where there is one, any fixed-width face otherwise.
QFont FixedFont();

// ---- Names ------------------------------------------------------------------------------------
// objectName; the Make* helpers below also give the accessible name (the visible text).
template <class W>
W* Named(W* widget, const char* objectName) {
  widget->setObjectName(QString::fromLatin1(objectName));
  return widget;
}
void SetLabelText(QLabel* label, const QString& text);  // text and accessible name together
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
