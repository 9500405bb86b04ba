#include "gui/app/logo_window.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace kvx::gui {

LogoWindow::LogoWindow(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("LogoForm");
  setAccessibleName("KVX Writer V2.63");
  setFixedSize(460, 240);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
}

void LogoWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height());
  sky.setColorAt(0, QColor(20, 50, 110));
  sky.setColorAt(1, QColor(10, 20, 50));
  p.fillRect(rect(), sky);
  // A chip in a socket.
  const QRect chip(36, 70, 110, 100);
  p.setPen(QPen(QColor(200, 200, 210), 2));
  for (int i = 0; i < 5; ++i) {
    const int y = chip.top() + 12 + i * 19;
    p.drawLine(chip.left() - 14, y, chip.left(), y);
    p.drawLine(chip.right(), y, chip.right() + 14, y);
  }
  p.setBrush(QColor(30, 30, 35));
  p.drawRoundedRect(chip, 6, 6);
  p.setBrush(QColor(200, 200, 210));
  p.drawEllipse(QPoint(chip.left() + 16, chip.top() + 16), 5, 5);
  QFont title = font();
  title.setPixelSize(44);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(176, 60, 270, 60), Qt::AlignLeft | Qt::AlignVCenter, "KVX Writer");
  QFont version = font();
  version.setPixelSize(22);
  p.setFont(version);
  p.setPen(QColor(170, 200, 255));
  p.drawText(QRect(178, 120, 270, 36), Qt::AlignLeft | Qt::AlignVCenter, "V2.63");
  QFont small = font();
  small.setPixelSize(13);
  p.setFont(small);
  p.drawText(QRect(178, 160, 270, 24), Qt::AlignLeft | Qt::AlignVCenter, "Device programmer");
}

}  // namespace kvx::gui
