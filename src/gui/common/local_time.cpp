#include "gui/common/local_time.h"

#include <QDateTime>
#include <QRegularExpression>

namespace kvx::gui {

QString LocalTime(const std::string& utc) {
  const QString text = QString::fromStdString(utc);
  QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!time.isValid() || time.timeSpec() != Qt::UTC) return text;
  return time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
}

QString Sentence(const std::string& text) {
  static const QRegularExpression kUtc(
      R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?Z)");
  QString sentence = QString::fromStdString(text);
  QString shown;
  qsizetype from = 0;
  for (const QRegularExpressionMatch& m : kUtc.globalMatch(sentence)) {
    shown += sentence.mid(from, m.capturedStart() - from) + LocalTime(m.captured().toStdString());
    from = m.capturedEnd();
  }
  shown += sentence.mid(from);
  if (!shown.isEmpty()) shown[0] = shown[0].toUpper();
  return shown;
}

}  // namespace kvx::gui
