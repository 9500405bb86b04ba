#include "gui/editors/dialog_seams.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace kvx::gui {

namespace {

MessageBoxHook& BoxHook() {
  static MessageBoxHook hook;
  return hook;
}

FileDialogHook& FileHook() {
  static FileDialogHook hook;
  return hook;
}

bool Ask(QWidget* parent, const MessageBoxRequest& request) {
  if (BoxHook()) return BoxHook()(request);
  switch (request.kind) {
    case BoxKind::Plain:
      QMessageBox(QMessageBox::NoIcon, request.caption, request.text, QMessageBox::Ok, parent).exec();
      return true;
    case BoxKind::Error:
      QMessageBox::critical(parent, request.caption, request.text);
      return true;
    case BoxKind::YesNo:
      return QMessageBox::question(parent, request.caption, request.text,
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  return false;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { BoxHook() = std::move(hook); }

void ShowMessage(QWidget* parent, const std::string& text) {
  Ask(parent, {BoxKind::Plain, QApplication::applicationDisplayName(), Q(text)});
}

void ShowMessages(QWidget* parent, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) ShowMessage(parent, text);
}

void ShowError(QWidget* parent, const std::string& text) {
  Ask(parent, {BoxKind::Error, QStringLiteral("Error"), Q(text)});
}

bool AskYesNo(QWidget* parent, const std::string& text) {
  return Ask(parent, {BoxKind::YesNo, QApplication::applicationDisplayName(), Q(text)});
}

void SetFileDialogHook(FileDialogHook hook) { FileHook() = std::move(hook); }

FileDialogAnswer AskFileName(QWidget* parent, const FileDialogRequest& request) {
  if (FileHook()) return FileHook()(request);
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

QStringList DialogFilters(const char* pipeList) {
  const QStringList parts = QString::fromLatin1(pipeList).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) filters << parts[i];
  return filters;
}

}  // namespace kvx::gui
