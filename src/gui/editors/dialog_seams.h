// The few places where an editor waits for the operator outside its own window: message boxes
// and file dialogs. Each goes through one function with a hook, so that tests answer them
// without a modal loop.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "gui/common/widgets.h"

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

}  // namespace kvx::gui
