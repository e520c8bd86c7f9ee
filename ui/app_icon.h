// The program's icon, drawn in code: a hand-held radio with a download arrow
// on its display. Built once per call; user-interface thread only.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vexo::ui {

QPixmap DrawAppIcon(int size);
QIcon AppIcon();  // 16 to 256 pixels

}  // namespace vexo::ui
