#pragma once
// The application's standard handler and the framework's stock dialogs (the error box and the
// single-line input box). Both dialogs go through an interface so tests can answer them.
#include <QObject>
#include <QString>
#include <exception>
#include <optional>

#include "platform/Seam.h"

namespace framework {

class DialogsApi {
 public:
  virtual ~DialogsApi() = default;
  // The standard error box: the message under the application's title, one OK button.
  virtual void ShowError(const QString& title, const QString& message) = 0;
  // The single-line input box: the edited text when confirmed, nothing when cancelled.
  virtual std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                            const QString& value) = 0;

  static DialogsApi& Real();
};

// The application's title, shown on its error boxes.
QString ApplicationTitle();

// Shows an exception's message in the standard error box.
void ShowException(const std::exception& error);

// Runs a handler the user triggered inside the application's standard handler: an exception
// ends the handler and its message is shown; nothing unwinds into the toolkit.
template <class Handler>
void RunGuarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                  const QString& value);

// The stock file dialogs, apart from DialogsApi so that a test answers them without touching
// its fake error and input boxes.
class FileDialogsApi {
 public:
  virtual ~FileDialogsApi() = default;
  // The save dialog: the path chosen (the dialog has asked about replacing a file that is
  // there), nothing when cancelled. `filter` as Qt's ("CSV files (*.csv)"), `suggested` the
  // file name offered first.
  virtual std::optional<QString> SaveFileName(const QString& caption, const QString& filter,
                                              const QString& suggested) = 0;

  static FileDialogsApi& Real();
};

std::optional<QString> SaveFileName(const QString& caption, const QString& filter,
                                    const QString& suggested);

// Hands a non-visual component (framework::TComponent, which is no Qt object) to a window or
// other Qt object: the component is freed when its owner goes.
template <class Component>
Component* OwnedBy(QObject* owner, Component* component) {
  QObject::connect(owner, &QObject::destroyed, [component] { delete component; });
  return component;
}

}  // namespace framework
