#pragma once
// The help manager: help viewers register with it and it routes help requests to them; it
// tells viewers which window owns help windows and which help file is current. The built-in
// viewer for older help files asks an installable tester which requests it may take.
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/HtmlHelp.h"

class QWidget;

namespace framework {

// What a registered viewer may ask of the manager.
class IHelpManager {
 public:
  virtual ~IHelpManager() = default;
  // The window that owns help windows; null when the application has no active window.
  virtual platform::HWND HelpWindow() = 0;
  // The help file requests refer to now.
  virtual QString HelpFile() = 0;
  // Forgets the viewer registered under `viewerId`.
  virtual void Release(int viewerId) = 0;
};

// A help viewer: keyword lookups, contents and shutdown.
class ICustomHelpViewer {
 public:
  virtual ~ICustomHelpViewer() = default;
  virtual QString ViewerTitle() = 0;
  // How many entries the viewer has for the keyword.
  virtual int KeywordCount(const QString& keyword) = 0;
  virtual QStringList GetHelpStrings(const QString& keyword) = 0;
  virtual bool HasContents() = 0;
  virtual void ShowContents() = 0;
  virtual void ShowKeyword(const QString& keyword) = 0;
  // The number the manager gave the viewer at registration.
  virtual void SetViewerId(int id) = 0;
  // Closes the viewer's windows; the viewer stays registered.
  virtual void SoftShutdown() = 0;
  // The manager is going away.
  virtual void Shutdown() = 0;
};

// A viewer that also shows topics and numbered contexts.
class IExtendedHelpViewer : public ICustomHelpViewer {
 public:
  virtual bool HasTopic(const QString& topic) = 0;
  virtual void ShowTopic(const QString& topic) = 0;
  virtual bool HasContext(int contextId, const QString& helpFile) = 0;
  virtual void ShowContext(int contextId, const QString& helpFile) = 0;
};

// Asked by the built-in viewer for older help files before it takes a request.
class IWinHelpTester {
 public:
  virtual ~IWinHelpTester() = default;
  virtual bool CanShowKeyword(const QString& keyword, const QString& helpFile) = 0;
  virtual bool CanShowTopic(const QString& topic, const QString& helpFile) = 0;
  virtual bool CanShowContext(int contextId, const QString& helpFile) = 0;
  virtual QStringList GetHelpStrings(const QString& keyword) = 0;
  virtual QString GetHelpPath() = 0;
  virtual QString GetDefaultHelpFile() = 0;
};

// While it exists, what the platform's help call has to say (a help file that cannot be
// opened, no viewer for it) is shown in the standard error box.
class THelpManager final : public IHelpManager {
 public:
  THelpManager();
  ~THelpManager() override;
  THelpManager(const THelpManager&) = delete;
  THelpManager& operator=(const THelpManager&) = delete;

  platform::HWND HelpWindow() override;
  // The application's help file name.
  QString HelpFile() override;
  void Release(int viewerId) override;

  // Gives the viewer its number and returns the manager it may call back.
  IHelpManager* RegisterViewer(std::shared_ptr<ICustomHelpViewer> viewer);
  int ViewerCount() const { return static_cast<int>(viewers_.size()); }

  // Replaces any earlier tester; null removes it.
  void SetWinHelpTester(std::shared_ptr<IWinHelpTester> tester) { tester_ = std::move(tester); }
  const std::shared_ptr<IWinHelpTester>& WinHelpTester() const { return tester_; }

  // Routing: each request goes to the first registered viewer that has what it asks for; the
  // result says whether one took it.
  bool ShowContents();
  bool ShowKeyword(const QString& keyword);
  bool ShowTopic(const QString& topic);
  bool ShowContext(int contextId);
  // Closes every viewer's windows.
  void SoftShutdownViewers();
  // Tells every viewer the manager is gone and forgets them all.
  void Shutdown();

 private:
  struct Registration {
    int id;
    std::shared_ptr<ICustomHelpViewer> viewer;
  };
  std::vector<Registration> viewers_;
  int nextId_ = 0;
  std::shared_ptr<IWinHelpTester> tester_;
  platform::HtmlHelpMessageSink previousSink_;
};

// The application's help manager.
THelpManager& HelpManager();

// The native handle of the window that holds `widget`; null for no widget.
platform::HWND WindowHandleOf(QWidget* widget);

}  // namespace framework
