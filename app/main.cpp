// The program entry: the application object, the help file, the main window and its dialogs,
// then the message loop until the main window closes.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

#include "app/HTAutoCalibrate.h"
#include "app/HTEditHosts.h"
#include "app/TimeMain.h"
#include "platform/dbus/DBusTimeService.h"

namespace {

// Qt aborts when it finds no display; say what to do instead.
bool DisplayAvailable() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  if (!DisplayAvailable()) {
    std::fprintf(stderr,
                 "Tempomere needs a display and none is available; run it under a virtual one "
                 "with: xvfb-run -a %s\n",
                 argv[0]);
    return 1;
  }
  QApplication application(argc, argv);
  app::InitApplication();
  platform::dbus::UseSystemBus();  // the system's time service, asked over the system bus
  // The icon drawn for the program, in the sizes the build draws from it (the menu entry shows the
  // same drawing); the desktop file name lets the desktop match the window with its menu entry.
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QString(":/icons/%1x%1/tempomere.png").arg(size));
  }
  QApplication::setWindowIcon(icon);
  QGuiApplication::setDesktopFileName("org.tempomere.Tempomere");

  app::TForm1 form1;
  app::THostEditDlg hostEditDlg(&form1);
  form1.HostEditDlg = &hostEditDlg;
  app::TAutoCalibrateDlg autoCalibrateDlg(&form1);
  form1.AutoCalibrateDlg = &autoCalibrateDlg;
  form1.show();
  return application.exec();
}
