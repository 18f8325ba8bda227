#pragma once
// A help viewer that answers as told and writes down what it was asked to show.
#include <QString>
#include <QStringList>
#include <memory>

#include "framework/HelpManager.h"

namespace testing_help {

class FakeHelpViewer : public framework::IExtendedHelpViewer {
 public:
  bool hasContents = false;
  bool hasTopic = false;
  bool hasContext = false;
  int keywordCount = 0;

  int id = 0;
  QStringList shown;  // "contents", "keyword:<k>", "topic:<t>", "context:<n>:<file>"
  int softShutdowns = 0;
  int shutdowns = 0;

  QString ViewerTitle() override { return QStringLiteral("Fake"); }
  int KeywordCount(const QString&) override { return keywordCount; }
  QStringList GetHelpStrings(const QString&) override { return {}; }
  bool HasContents() override { return hasContents; }
  void ShowContents() override { shown << QStringLiteral("contents"); }
  void ShowKeyword(const QString& keyword) override { shown << "keyword:" + keyword; }
  void SetViewerId(int viewerId) override { id = viewerId; }
  void SoftShutdown() override { ++softShutdowns; }
  void Shutdown() override { ++shutdowns; }
  bool HasTopic(const QString&) override { return hasTopic; }
  void ShowTopic(const QString& topic) override { shown << "topic:" + topic; }
  bool HasContext(int, const QString&) override { return hasContext; }
  void ShowContext(int contextId, const QString& helpFile) override {
    shown << QStringLiteral("context:%1:%2").arg(contextId).arg(helpFile);
  }
};

// Registers a viewer for one test and releases it afterwards.
class ScopedRegistration {
 public:
  explicit ScopedRegistration(std::shared_ptr<FakeHelpViewer> viewer) : viewer_(std::move(viewer)) {
    framework::HelpManager().RegisterViewer(viewer_);
  }
  ~ScopedRegistration() { framework::HelpManager().Release(id()); }
  int id() const { return viewer_->id; }

 private:
  std::shared_ptr<FakeHelpViewer> viewer_;
};

}  // namespace testing_help
