// The "ID and Checksum" window (IdChecksumWindow): the ID bytes and the checksum characters in
// ASCII or HEX, the Writer bytes of the ID area and, further down, the OPTION words as read.
#pragma once

#include <QWidget>

#include "gui/editors/editor_hooks.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QRadioButton;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class IdEditDialog;

class IdChecksumWindow : public QWidget {
  Q_OBJECT

 public:
  IdChecksumWindow(Workspace& ws, EditorHooks hooks, QWidget* parent = nullptr);

  QGroupBox* displayModeGroup = nullptr;
  QRadioButton* asciiButton = nullptr;
  QRadioButton* hexButton = nullptr;
  QLabel* idLabel = nullptr;  // the ID
  QLabel* checksumLabel = nullptr;  // the checksum
  QLabel* upperIdLabel = nullptr;  // bytes 16-31
  QLabel* bodyOption1Label = nullptr;
  QLabel* bodyOption2Label = nullptr;

  // The ID and checksum lines, in ASCII or HEX as chosen (also the status panel's texts).
  void ShowIdLabels();
  void onDisplayModeChanged(bool hex);  // "Hex" or "Ascii" in displayModeGroup
  // "ID Modify" over the ID; a double-click on the ID line ("Label2") or "Edit ID".
  IdEditDialog* onEditId();
  void onToggleWriterPanel();  // a double-click on "StaticText1": the Writer panel in and out
  void onToggleOptionLines();  // a double-click on "StaticText5": the OPTION lines in and out

  // The height the window asks for; its frame in the main window follows.
  int FormHeight() const { return height_; }

 Q_SIGNALS:
  void heightChanged(int height);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetFormHeight(int height);

  Workspace& ws_;
  EditorHooks hooks_;
  int height_ = 210;
  QLabel* writerBytesToggle_ = nullptr;
  QLabel* optionBytesToggle_ = nullptr;
  QWidget* lowerPanel_ = nullptr;
  QWidget* bodyPanel_ = nullptr;
};

}  // namespace kvx::gui
