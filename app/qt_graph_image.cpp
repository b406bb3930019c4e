#include "app/qt_graph_image.h"

#include "app/graph_widget.h"
#include "base/base_messages.h"
#include "base/image_file.h"
#include "base/qt_image_file.h"

namespace calvane {

SaveResultsStatus SaveGraphImageCommand(GraphWidget& graph, Prompter& prompter,
                                        FileChooser& chooser) {
  const std::optional<std::string> path = chooser.ChooseSave(ImageSaveRequest(WindowId::kMain));
  if (!path) return SaveResultsStatus::kCancelled;
  const std::string bytes = RenderWidgetImage(graph, graph.ImageRect(), ImageFormatForPath(*path));
  if (bytes.empty()) {
    prompter.Show(text::kMsgFileWriteFailed, text::kCaptionError, WindowId::kMain);
    return SaveResultsStatus::kWriteFailed;
  }
  return SaveUserFile(bytes, *path, prompter, WindowId::kMain);
}

}  // namespace calvane
