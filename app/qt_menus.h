#pragma once

#include <QAction>
#include <QMenuBar>
#include <map>
#include <span>

#include "app/command_state.h"

namespace calvane {

// Fills `bar` with the pop-ups of `entries` in display order. Each command becomes a QAction
// whose objectName is its command id and whose data() is the id; the actions are returned by
// id in `actions` (an id that occurs twice keeps its first action). Separators are inserted
// where the entries have them. Main thread.
void BuildMenuBar(QMenuBar& bar, std::span<const MenuEntry> entries,
                  std::map<int, QAction*>& actions);

// The menu bar of the fitting-conditions window, built from ConditionsMenuBar() for `window`,
// which attaches it (QMainWindow::setMenuBar or a layout's setMenuBar).
QMenuBar* BuildConditionsMenuBar(QWidget* window, std::map<int, QAction*>& actions);

}  // namespace calvane
