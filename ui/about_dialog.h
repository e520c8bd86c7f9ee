// CAboutDialog: the small box naming the program and its version, reached
// from the main window's context menu and F1. Modal, user-interface thread.
#pragma once

#include <QDialog>

class CAboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDialog(QWidget* parent = nullptr);
};
