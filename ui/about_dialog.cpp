#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "history/history_store.h"
#include "ui/app_icon.h"
#include "ui/window_texts.h"

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(vexo::ui::AboutTitle(vexo::AppState().LanguageBase));

  auto* icon = new QLabel(this);
  icon->setPixmap(vexo::ui::DrawAppIcon(64));
  auto* name = new QLabel(vexo::ui::WindowTitle(), this);
  name->setObjectName(QStringLiteral("aboutName"));
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);

  // Where the service record of every job is kept, and how to reach it.
  auto* history =
      new QLabel(QString::fromStdString(vexo::LookupText(vexo::text::kHistoryAboutNote)) +
                     QStringLiteral("\n") + QString::fromStdString(vexo::DefaultHistoryPath()),
                 this);
  history->setObjectName(QStringLiteral("aboutHistory"));
  history->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  row->addWidget(name, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(history);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
