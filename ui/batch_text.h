// The batch window's texts: a text of language.sys in the window's language
// with %1, %2, ... filled in. A language file whose text lacks a placeholder
// simply shows less; nothing warns or fails. Any thread.
#pragma once

#include <QString>
#include <QStringList>

#include "app/text_ids.h"

namespace vexo::ui {

QString BatchText(TextId id, const QStringList& fill = {});

}  // namespace vexo::ui
