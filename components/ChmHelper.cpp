#include "components/ChmHelper.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "framework/ApplicationHelp.h"
#include "platform/HtmlHelp.h"

namespace components {

namespace {

bool HasExtension(const QString& fileName, const QString& extension) {
  return QFileInfo(fileName).suffix().compare(extension, Qt::CaseInsensitive) == 0;
}

void CallHtmlHelp(platform::HWND owner, const QString& file, unsigned command,
                  platform::DWORD_PTR data) {
  const QByteArray name = QFile::encodeName(file);
  platform::HtmlHelpA(owner, name.constData(), command, data);  // its outcome is HTML Help's
}

}  // namespace

// ---- THTMLHelpViewer ---------------------------------------------------------------------------

bool THTMLHelpViewer::IsChmFile() const {
  return helpManager_ && HasExtension(helpManager_->HelpFile(), QStringLiteral("chm"));
}

QString THTMLHelpViewer::ViewerTitle() {
  return QStringLiteral("HTMLHelp Viewer");
}

int THTMLHelpViewer::KeywordCount(const QString&) {
  return IsChmFile() ? 1 : 0;
}

QStringList THTMLHelpViewer::GetHelpStrings(const QString& keyword) {
  return IsChmFile() ? QStringList{keyword} : QStringList{};
}

bool THTMLHelpViewer::HasContents() {
  return IsChmFile();
}

// The Show operations need the manager's window and file; after Shutdown there is none, and
// they do nothing.
void THTMLHelpViewer::ShowContents() {
  if (!helpManager_) return;
  CallHtmlHelp(helpManager_->HelpWindow(), helpManager_->HelpFile(), platform::HH_DISPLAY_TOC, 0);
}

void THTMLHelpViewer::ShowKeyword(const QString& keyword) {
  if (!helpManager_) return;
  const QByteArray keywords = keyword.toLocal8Bit();
  platform::HH_AKLINK link;
  link.cbStruct = sizeof link;
  link.fReserved = 0;
  link.pszKeywords = keywords.constData();
  link.fIndexOnFail = 1;  // show the index when the keyword is not found
  CallHtmlHelp(helpManager_->HelpWindow(), helpManager_->HelpFile(), platform::HH_KEYWORD_LOOKUP,
               reinterpret_cast<platform::DWORD_PTR>(&link));
}

void THTMLHelpViewer::SoftShutdown() {
  platform::HtmlHelpA(nullptr, nullptr, platform::HH_CLOSE_ALL, 0);
}

void THTMLHelpViewer::Shutdown() {
  platform::HtmlHelpA(nullptr, nullptr, platform::HH_CLOSE_ALL, 0);
  helpManager_ = nullptr;
}

bool THTMLHelpViewer::HasTopic(const QString&) {
  return IsChmFile();
}

void THTMLHelpViewer::ShowTopic(const QString& topic) {
  if (!helpManager_) return;
  QString file = helpManager_->HelpFile();
  if (!topic.isEmpty()) file += topic.startsWith(u'/') ? "::" + topic : "::/" + topic;
  CallHtmlHelp(helpManager_->HelpWindow(), file, platform::HH_DISPLAY_TOPIC, 0);
}

bool THTMLHelpViewer::HasContext(int, const QString&) {
  return IsChmFile();
}

void THTMLHelpViewer::ShowContext(int contextId, const QString& helpFile) {
  if (!helpManager_) return;
  CallHtmlHelp(helpManager_->HelpWindow(), helpFile, platform::HH_HELP_CONTEXT,
               static_cast<platform::DWORD_PTR>(contextId));
}

// ---- TWinHelpMakeBehave ------------------------------------------------------------------------

bool TWinHelpMakeBehave::CanShowKeyword(const QString&, const QString& helpFile) {
  return HasExtension(helpFile, QStringLiteral("hlp"));
}

bool TWinHelpMakeBehave::CanShowTopic(const QString&, const QString& helpFile) {
  return HasExtension(helpFile, QStringLiteral("hlp"));
}

bool TWinHelpMakeBehave::CanShowContext(int, const QString& helpFile) {
  return HasExtension(helpFile, QStringLiteral("hlp"));
}

QStringList TWinHelpMakeBehave::GetHelpStrings(const QString&) {
  return {};
}

QString TWinHelpMakeBehave::GetHelpPath() {
  return {};
}

QString TWinHelpMakeBehave::GetDefaultHelpFile() {
  return {};
}

// ---- TCHMHelper --------------------------------------------------------------------------------

TCHMHelper::TCHMHelper(QObject* owner)
    : QObject(owner), viewer_(std::make_shared<THTMLHelpViewer>()) {
  const auto* ownerComponent = dynamic_cast<const framework::TComponent*>(owner);
  if (Designing() || (ownerComponent && ownerComponent->Designing())) return;
  framework::THelpManager& manager = framework::HelpManager();
  manager.SetWinHelpTester(std::make_shared<TWinHelpMakeBehave>());
  viewer_->SetHelpManager(manager.RegisterViewer(viewer_));
  framework::ApplicationHelp().OnHelp = [this](unsigned command, std::intptr_t data,
                                               bool& callHelp) {
    return HelpHook(command, data, callHelp);
  };
}

TCHMHelper::~TCHMHelper() {
  framework::ApplicationHelp().OnHelp = nullptr;
  if (viewer_) ReleaseViewer();
}

void TCHMHelper::ReleaseViewer() {
  viewer_->SoftShutdown();
  if (framework::IHelpManager* manager = viewer_->HelpManager())
    manager->Release(viewer_->ViewerId());
}

bool TCHMHelper::HelpHook(unsigned command, std::intptr_t data, bool& callHelp) {
  callHelp = false;
  unsigned htmlCommand = platform::HH_DISPLAY_TOPIC;
  platform::DWORD_PTR htmlData = 0;
  switch (command) {
    case framework::HELP_CONTEXT:
    case framework::HELP_CONTEXTPOPUP:
      htmlCommand = platform::HH_HELP_CONTEXT;
      htmlData = static_cast<platform::DWORD_PTR>(data);
      break;
    case framework::HELP_QUIT:
      htmlCommand = platform::HH_CLOSE_ALL;
      break;
    case framework::HELP_CONTENTS:
      htmlCommand = platform::HH_DISPLAY_TOC;
      break;
    case framework::HELP_FINDER:
      htmlCommand = platform::HH_DISPLAY_TOPIC;
      htmlData = static_cast<platform::DWORD_PTR>(data);
      break;
    case framework::HELP_KEY:
      htmlCommand = platform::HH_DISPLAY_INDEX;
      htmlData = static_cast<platform::DWORD_PTR>(data);  // the keyword's address
      break;
    default:
      break;
  }
  // The application's own file, not the manager's; with no active control the help window has
  // no owner.
  CallHtmlHelp(framework::WindowHandleOf(QApplication::focusWidget()),
               framework::ApplicationHelp().HelpFile(), htmlCommand, htmlData);
  return true;
}

}  // namespace components
