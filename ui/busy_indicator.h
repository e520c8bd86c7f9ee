// BusyIndicator: the framed white box with a line of text that the dialog
// shows while the radio erases its flash. It only paints what it is given;
// the dialog's timer decides the text (and its dots) and when it shows.
// User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>

namespace vexo::ui {

class BusyIndicator : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 240;  // pixels, as the original box
  static constexpr int kHeight = 40;
  static constexpr int kPointSize = 10;

  explicit BusyIndicator(QWidget* parent = nullptr);

  void SetText(const QString& text);
  const QString& text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

}  // namespace vexo::ui
