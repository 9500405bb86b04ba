// The main window's hidden engineering controls: a double click on "Serial Port :" shows the
// Force Write button and the panel with the QTP simulation and flash test toggles; the pulse and
// erase width edits and "Keep Option for new code" are built hidden and stay hidden.
#pragma once

#include <QObject>

#include "gui/app/window_parts.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolBar;

namespace kvx::gui {


class EngineeringControls : public QObject {
  Q_OBJECT
 public:
  // The controls go on `bar`; a double click on `label` shows or hides them with `forceWrite`.
  EngineeringControls(const WindowParts& parts, QToolBar* bar, QLabel* label, QAction* forceWrite);

  // The end of a QTP file switched the QTP simulation off.
  void QtpSimulationEnded();

 private:
  void onToggleShown();
  void onQtpSimulation();
  void onFlashProgramTest();
  void onPulseWidthEdited();
  void onEraseWidthEdited();

  WindowParts parts_;
  QAction* forceWrite_;
  QAction* panelAction_ = nullptr;        // shows and hides "Panel2" on the toolbar
  QPushButton* qtpSimulation_ = nullptr;  // "QtpSim"
  QPushButton* flashTest_ = nullptr;      // "FlashPgmTest"
  QLineEdit* pulseWidth_ = nullptr;       // "PulseWidth"
  QLineEdit* eraseWidth_ = nullptr;       // "EraseWidth"
  QCheckBox* keepOption_ = nullptr;       // "cbKeepOption"
};

}  // namespace kvx::gui
