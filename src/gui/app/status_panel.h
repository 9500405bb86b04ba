// The status panel: the fixed 200-pixel column on the right of the main window. Its only state of
// its own is the OPTION lines' captions, which the core's NextCaptions moves on at each redraw;
// every text starts from the workspace.
#pragma once

#include <QWidget>
#include <array>

#include "core/device/status_panel.h"
#include "core/device/workspace.h"

class QComboBox;
class QGroupBox;
class QLabel;

namespace kvx::gui {

class StatusPanel : public QWidget {
  Q_OBJECT
 public:
  explicit StatusPanel(QWidget* parent = nullptr);

  QComboBox* DeviceList() const { return deviceList_; }  // ComboBox2

  // RefreshData: forces the OPTION word's fixed bits, decodes its fields (greying and captions
  // by device) and shows the sums, then every other line.
  void RefreshData(kvx::Workspace& ws);
  // The lines that follow the workspace's texts without a decode: sums, ID, serial number, pass
  // count, the two modes.
  void ShowTexts(const kvx::Workspace& ws);

 Q_SIGNALS:
  void optionAreaDoubleClicked();
  void idBoxDoubleClicked();
  void passCountDoubleClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* Caption(const QString& name, const QString& text);
  QLabel* Value(const QString& name, const QString& text);

  QComboBox* deviceList_;
  kvx::PanelCaptions captionTexts_;     // what captions_ show
  std::array<QLabel*, 6> captions_{};  // StaticText2..7, in the workspace's label order
  std::array<QLabel*, 6> values_{};    // Label5..10
  QWidget* optionArea_;
  QLabel* checksumLabel_;
  QLabel* icChecksumLabel_;
  QLabel* optChecksum_;
  QLabel* protectSum_;
  QGroupBox* idBox_;
  QLabel* idLabel_;
  QLabel* serialLabel_;
  QGroupBox* passBox_;
  QLabel* passCountLabel_;
  QLabel* serialModeLabel_;
  QLabel* qtpFileLabel_;
};

}  // namespace kvx::gui
