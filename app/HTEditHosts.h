#pragma once
// The host list: the factory list of time servers, and the dialog that edits the list.
#include <QDialog>
#include <QStringList>

class QComboBox;
class QListWidget;
class QPushButton;
class QToolButton;

namespace app {

// The 18 time servers the program knows from the start, in their order.
const QStringList& FactoryHosts();
// Replaces the list's contents by the factory list.
void SetFactoryHosts(QStringList& list);
// The host the insert prompt offers: the twelfth of the factory list.
QString DefaultInsertHost();

// The settings file that keeps the host list between runs, opened by its bare name.
inline constexpr const char* kSettingsFileName = "Horatune.ini";
inline constexpr const char* kHostsSection = "CurrentHosts";
// Read only, written by the user: "nts://name[:port]=CA file" trusts that CA for that host.
inline constexpr const char* kNtsCaFilesSection = "NtsCaFiles";
// A corrupt count never makes more entries than this.
inline constexpr int kMaxSavedHosts = 1000;

// The index of the host box's selected entry: -1 when none is, or when a host was typed by hand.
int SelectedHostIndex(const QComboBox& hosts);
// Reads the saved list into the host box; a missing file, or a count of 0 or less, keeps the box
// as it is.
void LoadHosts(QComboBox& hosts);
// Writes the host box's list and selection to the settings file in one step; raises
// "Unable to write to <file>" and leaves the file as it was when the write is refused.
void SaveHosts(const QComboBox& hosts);
// The factory list with its first entry selected, then what the settings file holds.
void InitHosts(QComboBox& hosts);

class THostEditDlg : public QDialog {
  Q_OBJECT
 public:
  explicit THostEditDlg(QWidget* owner = nullptr);

  // The list being edited; the entry shown selected is the one the buttons act on.
  QListWidget* HostsList;
  QToolButton* MoveUpBtn;
  QToolButton* MoveDnBtn;
  QToolButton* Delete2Btn;
  QToolButton* InsertBtn;
  QPushButton* DefaultBtn;
  QPushButton* OKBtn;
  QPushButton* Button1;  // "Cancel"

  void MoveUpBtnClick(QObject* Sender);
  void MoveDnBtnClick(QObject* Sender);
  void Delete2BtnClick(QObject* Sender);
  void InsertBtnClick(QObject* Sender);
  void DefaultBtnClick(QObject* Sender);

  // Shows the dialog with the host box's list; "OK" takes the edited list and its selection into
  // the box and saves it. Cancel or the close box change nothing.
  void EditHosts(QComboBox& hosts);

  // The list's lines and its selected index (-1 when no entry is shown selected).
  QStringList Lines() const;
  void SetLines(const QStringList& lines, int selected);
  int Selected() const;
};

}  // namespace app
