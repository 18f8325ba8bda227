#include "framework/Forms.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <new>

#include "framework/SysUtils.h"

namespace framework {

namespace {

class QtDialogs final : public DialogsApi {
 public:
  void ShowError(const QString& title, const QString& message) override {
    QMessageBox box(QMessageBox::Critical, title, message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  }

  std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                    const QString& value) override {
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                               QLineEdit::Normal, value, &ok);
    if (!ok) return std::nullopt;
    return text;
  }
};

}  // namespace

DialogsApi& DialogsApi::Real() {
  static QtDialogs dialogs;
  return dialogs;
}

QString ApplicationTitle() {
  const QString title = QApplication::applicationDisplayName();
  return title.isEmpty() ? QApplication::applicationName() : title;
}

void ShowException(const std::exception& error) {
  QString message;
  if (const auto* own = dynamic_cast<const Exception*>(&error))
    message = QString::fromStdString(own->Message());
  else if (dynamic_cast<const std::bad_alloc*>(&error))
    message = "Out of memory";
  else
    message = QString::fromLocal8Bit(error.what());
  platform::Current<DialogsApi>().ShowError(ApplicationTitle(), message);
}

std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                  const QString& value) {
  return platform::Current<DialogsApi>().InputQuery(caption, prompt, value);
}

namespace {

class QtFileDialogs final : public FileDialogsApi {
 public:
  std::optional<QString> SaveFileName(const QString& caption, const QString& filter,
                                      const QString& suggested) override {
    const QString path =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, suggested, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
  }
};

}  // namespace

FileDialogsApi& FileDialogsApi::Real() {
  static QtFileDialogs dialogs;
  return dialogs;
}

std::optional<QString> SaveFileName(const QString& caption, const QString& filter,
                                    const QString& suggested) {
  return platform::Current<FileDialogsApi>().SaveFileName(caption, filter, suggested);
}

}  // namespace framework
