// The dialog's actions that stand apart from the download job: the Test
// listing, the language toggle and the model choice. User-interface thread.
#include <QComboBox>
#include <QLineEdit>

#include "app/process_state.h"
#include "app/text_ids.h"
#include "download/program_listing.h"
#include "ui/log_box.h"
#include "ui/model_index.h"
#include "ui/updater_dialog.h"

void CUpdaterDialog::ListProgramMessages() {
  // The listing loads an image of its own; a running job keeps reading the
  // one it took when it started.
  vexo::ListProgramMessages(path_edit_->text().toStdString(), *log_box_, *job_host_,
                            job_host_.get());
}

void CUpdaterDialog::ToggleLanguage() {
  std::atomic<int>& base = vexo::AppState().LanguageBase;
  if (base == vexo::kLanguageChinese) {
    base = vexo::kLanguageEnglish;
  } else if (base == vexo::kLanguageEnglish) {
    base = vexo::kLanguageChinese;
  } else {
    return;
  }
  ApplyLanguage();
}

void CUpdaterDialog::OnModelChanged() {
  vexo::AppState().ModelIndex = vexo::ui::ModelIndexFor(model_list_->currentText().toUpper());
  ResetBaudSelector(BaudSelection::first);
}

void CUpdaterDialog::ResetBaudSelector(BaudSelection selection) {
  if (selection == BaudSelection::first) baud_list_->setCurrentIndex(0);
  baud_list_->setEnabled(true);
}
