#include "app/qt_images.h"

// The images are drawn by scripts/make_images.py as XPM text, which is C source as well; they
// are compiled in so every window (and every window test) has them without a resource file.
#include "resources/calvane_icon.xpm"
#include "resources/conditions.xpm"
#include "resources/open_data.xpm"
#include "resources/run.xpm"
#include "resources/save_results.xpm"

namespace calvane {

QIcon ProgramIcon() { return QIcon(QPixmap(calvane_icon_xpm)); }

QPixmap ToolbarPixmap(ToolbarImage image) {
  switch (image) {
    case ToolbarImage::kOpenData:
      return QPixmap(open_data_xpm);
    case ToolbarImage::kSaveResults:
      return QPixmap(save_results_xpm);
    case ToolbarImage::kConditions:
      return QPixmap(conditions_xpm);
    case ToolbarImage::kRun:
      return QPixmap(run_xpm);
  }
  return {};
}

}  // namespace calvane
