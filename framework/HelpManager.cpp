#include "framework/HelpManager.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

#include "framework/ApplicationHelp.h"
#include "framework/Forms.h"

namespace framework {

THelpManager::THelpManager()
    : previousSink_(platform::SetHtmlHelpMessageSink([](const std::string& text) {
        platform::Current<DialogsApi>().ShowError(ApplicationTitle(), QString::fromLocal8Bit(text));
      })) {}

THelpManager::~THelpManager() {
  platform::SetHtmlHelpMessageSink(std::move(previousSink_));
}

platform::HWND WindowHandleOf(QWidget* widget) {
  if (!widget) return nullptr;
  // Child widgets have no native window of their own; the one of their top-level window is
  // what owns a help window.
  return reinterpret_cast<platform::HWND>(widget->window()->winId());
}

platform::HWND THelpManager::HelpWindow() {
  return WindowHandleOf(QApplication::activeWindow());
}

QString THelpManager::HelpFile() {
  return ApplicationHelp().HelpFile();
}

IHelpManager* THelpManager::RegisterViewer(std::shared_ptr<ICustomHelpViewer> viewer) {
  const int id = ++nextId_;
  viewers_.push_back({id, viewer});
  viewer->SetViewerId(id);
  return this;
}

void THelpManager::Release(int viewerId) {
  std::erase_if(viewers_, [viewerId](const Registration& r) { return r.id == viewerId; });
}

bool THelpManager::ShowContents() {
  // A copy: a viewer may release itself while it is asked.
  const auto viewers = viewers_;
  for (const Registration& r : viewers) {
    if (r.viewer->HasContents()) {
      r.viewer->ShowContents();
      return true;
    }
  }
  return false;
}

bool THelpManager::ShowKeyword(const QString& keyword) {
  const auto viewers = viewers_;
  for (const Registration& r : viewers) {
    if (r.viewer->KeywordCount(keyword) > 0) {
      r.viewer->ShowKeyword(keyword);
      return true;
    }
  }
  return false;
}

bool THelpManager::ShowTopic(const QString& topic) {
  const auto viewers = viewers_;
  for (const Registration& r : viewers) {
    auto* extended = dynamic_cast<IExtendedHelpViewer*>(r.viewer.get());
    if (extended && extended->HasTopic(topic)) {
      extended->ShowTopic(topic);
      return true;
    }
  }
  return false;
}

bool THelpManager::ShowContext(int contextId) {
  const QString file = HelpFile();
  const auto viewers = viewers_;
  for (const Registration& r : viewers) {
    auto* extended = dynamic_cast<IExtendedHelpViewer*>(r.viewer.get());
    if (extended && extended->HasContext(contextId, file)) {
      extended->ShowContext(contextId, file);
      return true;
    }
  }
  return false;
}

void THelpManager::SoftShutdownViewers() {
  const auto viewers = viewers_;
  for (const Registration& r : viewers) r.viewer->SoftShutdown();
}

void THelpManager::Shutdown() {
  const auto viewers = std::move(viewers_);
  viewers_.clear();
  for (const Registration& r : viewers) r.viewer->Shutdown();
}

THelpManager& HelpManager() {
  static THelpManager manager;
  return manager;
}

}  // namespace framework
