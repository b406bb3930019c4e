#pragma once

#include "base/file_chooser.h"
#include "base/prompter.h"
#include "report/results_report.h"

namespace calvane {

class GraphWidget;

// The graph image command (1141): the image save dialog (PNG or SVG by the filter), then the
// graph's ImageRect as drawn, written as a user file (the overwrite question, the file
// failures) through `prompter` owned by the main window. Main thread.
SaveResultsStatus SaveGraphImageCommand(GraphWidget& graph, Prompter& prompter,
                                        FileChooser& chooser);

}  // namespace calvane
