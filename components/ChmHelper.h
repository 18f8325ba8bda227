#pragma once
// The bridge from the application's help requests to compiled help files (".chm"), where the
// framework by itself only knows older help files (".hlp").
#include <QObject>
#include <cstdint>
#include <memory>

#include "framework/Classes.h"
#include "framework/HelpManager.h"

namespace components {

// Shows keyword, topic, context and contents requests from the help manager in compiled help,
// when the manager's current help file is one.
class THTMLHelpViewer final : public framework::IExtendedHelpViewer {
 public:
  int ViewerId() const { return viewerId_; }
  framework::IHelpManager* HelpManager() const { return helpManager_; }
  void SetHelpManager(framework::IHelpManager* manager) { helpManager_ = manager; }

  QString ViewerTitle() override;
  int KeywordCount(const QString& keyword) override;
  QStringList GetHelpStrings(const QString& keyword) override;
  bool HasContents() override;
  void ShowContents() override;
  void ShowKeyword(const QString& keyword) override;
  void SetViewerId(int id) override { viewerId_ = id; }
  void SoftShutdown() override;
  void Shutdown() override;
  bool HasTopic(const QString& topic) override;
  // An empty topic opens the file's default page.
  void ShowTopic(const QString& topic) override;
  // The manager's current file decides, not the file named here.
  bool HasContext(int contextId, const QString& helpFile) override;
  void ShowContext(int contextId, const QString& helpFile) override;

 private:
  // True when the manager's current help file ends in ".chm", in any case.
  bool IsChmFile() const;

  int viewerId_ = 0;
  framework::IHelpManager* helpManager_ = nullptr;
};

// Lets the framework's own viewer take only requests for ".hlp" files.
class TWinHelpMakeBehave final : public framework::IWinHelpTester {
 public:
  bool CanShowKeyword(const QString& keyword, const QString& helpFile) override;
  bool CanShowTopic(const QString& topic, const QString& helpFile) override;
  bool CanShowContext(int contextId, const QString& helpFile) override;
  QStringList GetHelpStrings(const QString& keyword) override;
  QString GetHelpPath() override;
  QString GetDefaultHelpFile() override;
};

// Dropped once into a window: while it exists every application help command goes to compiled
// help, and the help manager routes its requests to Viewer.
// Its owner is its Qt parent; an owner that is also a framework component and is designing
// keeps it from taking the help over.
class TCHMHelper : public QObject, public framework::TComponent {
  Q_OBJECT
 public:
  explicit TCHMHelper(QObject* owner = nullptr);
  ~TCHMHelper() override;

  const std::shared_ptr<THTMLHelpViewer>& Viewer() const { return viewer_; }

  // Takes a help command of the older help call over (CallHelp := false) and passes it to
  // compiled help as the matching command; always true.
  bool HelpHook(unsigned command, std::intptr_t data, bool& callHelp);

 private:
  void ReleaseViewer();

  std::shared_ptr<THTMLHelpViewer> viewer_;
};

}  // namespace components
