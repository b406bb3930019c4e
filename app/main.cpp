// Calvane: entry point of the windowed program.

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QScreen>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/qt_command_wiring.h"
#include "app/qt_images.h"
#include "app/start_up.h"
#include "base/qt_file_chooser.h"
#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setFont(calvane::UiFont());
  // The icon from the resource file when it is linked in, else the compiled-in drawing.
  const QString icon_resource = QStringLiteral(":/calvane/calvane_icon.xpm");
  application.setWindowIcon(QFile::exists(icon_resource) ? QIcon(icon_resource)
                                                         : calvane::ProgramIcon());

  // The working directory is the current directory at start-up, not the executable's folder.
  std::unique_ptr<calvane::AppState> state = calvane::MakeAppState(calvane::ReadWorkingDirectory());
  calvane::QtPrompter prompter;
  calvane::MainWindow window(*state, prompter);
  prompter.SetOwner(calvane::WindowId::kMain, &window);
  calvane::QtFileChooser chooser(prompter);
  calvane::InstallCommandHooks(window, prompter, chooser);
  QObject::connect(&window, &calvane::MainWindow::quitRequested, &application,
                   [] { QCoreApplication::exit(0); });

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    window.FirstRunCheck(screen->geometry());
  }
  window.show();
  application.exec();
  return 0;
}
