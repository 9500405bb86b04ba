// The start-up logo: a picture of the program's name and version, drawn by the program itself,
// shown while the main window is created.
#pragma once

#include <QWidget>

namespace kvx::gui {

class LogoWindow : public QWidget {
 public:
  explicit LogoWindow(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kvx::gui
