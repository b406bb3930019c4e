#pragma once

#include <QIcon>
#include <QPixmap>

namespace calvane {

// The program icon (32 x 32).
QIcon ProgramIcon();

// The toolbar images, 16 x 15 each, in this order.
enum class ToolbarImage { kOpenData = 0, kSaveResults = 1, kConditions = 2, kRun = 3 };
QPixmap ToolbarPixmap(ToolbarImage image);

}  // namespace calvane
