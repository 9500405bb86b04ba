// Help > About… and Help > "Version Info".
#pragma once

#include <QDialog>

namespace kvx::gui {

class AboutBox : public QDialog {
 public:
  // writerId: the identification a fresh Writer check returned; empty shows "Unknown".
  AboutBox(const QString& writerId, QWidget* parent = nullptr);
};

class VersionInfoDialog : public QDialog {
 public:
  explicit VersionInfoDialog(QWidget* parent = nullptr);
};

}  // namespace kvx::gui
