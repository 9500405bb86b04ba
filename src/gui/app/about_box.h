// Help > About… and Help > "Version Info".
#pragma once

#include <QDialog>

namespace kvx::gui {

class TAboutBox : public QDialog {
 public:
  // writerId: the identification a fresh Writer check returned; empty shows "Unknown".
  TAboutBox(const QString& writerId, QWidget* parent = nullptr);
};

class TVersionInfo : public QDialog {
 public:
  explicit TVersionInfo(QWidget* parent = nullptr);
};

}  // namespace kvx::gui
