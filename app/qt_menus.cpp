#include "app/qt_menus.h"

#include <QMenu>

#include "base/qt_prompter.h"

namespace calvane {

void BuildMenuBar(QMenuBar& bar, std::span<const MenuEntry> entries,
                  std::map<int, QAction*>& actions) {
  for (const MenuEntry& popup : entries) {
    QMenu* menu = bar.addMenu(DisplayText(popup.text));
    for (const MenuEntry& item : popup.items) {
      if (item.text.empty()) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(DisplayText(item.text));
      action->setObjectName(QString::number(item.id));
      action->setData(item.id);
      actions.emplace(item.id, action);
    }
  }
}

QMenuBar* BuildConditionsMenuBar(QWidget* window, std::map<int, QAction*>& actions) {
  auto* bar = new QMenuBar(window);
  BuildMenuBar(*bar, ConditionsMenuBar(), actions);
  return bar;
}

}  // namespace calvane
