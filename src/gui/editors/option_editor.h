// The option editor (OptionEditor, "Edit OPTION"): one list per OPTION field of the device, a
// private copy of the word, written back on OK only.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class OptionEditor : public QDialog {
  Q_OBJECT

 public:
  explicit OptionEditor(Workspace& ws, QWidget* parent = nullptr);

  std::uint8_t EditLow = 0x7F;
  std::uint8_t EditHigh = 0x7F;

  // Indexed by the field (oscillator, PRD, OST, WDT, PED, security): StaticText1/ComboBox1 for
  // the oscillator, StaticText6/ComboBox6 for PRD, and so on.
  std::array<QLabel*, 6> captions{};
  std::array<QComboBox*, 6> fieldLists{};
  QPlainTextEdit* noteText = nullptr;

  void onStoreOption();  // OK ("BitBtn1"): the edited word into the buffer

 private:
  void FirstShow();
  void onFieldChosen(int field, int item);  // a list's item re-encodes its field only

  Workspace& ws_;
};

}  // namespace kvx::gui
