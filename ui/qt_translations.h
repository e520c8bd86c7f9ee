// Qt's own texts (the file dialog, the buttons of message boxes) in the
// window's language: Qt's Chinese catalogue is installed in the application
// while the language is Chinese and removed for English. A missing catalogue
// (the translations package not installed) leaves Qt's English texts; that
// is reported by Apply's result, not shown. User-interface thread only.
#pragma once

#include <QTranslator>

namespace vexo::ui {

class QtTranslations {
 public:
  // Returns false when the language asks for a catalogue that cannot be loaded.
  bool Apply(int language_base);
  bool Installed() const { return installed_; }

 private:
  QTranslator translator_;
  bool installed_ = false;
};

}  // namespace vexo::ui
