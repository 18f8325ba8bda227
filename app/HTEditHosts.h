#pragma once
// The host list: the factory list of time servers, and the dialog that edits the list.
#include <QDialog>
#include <QStringList>

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

class THostEditDlg : public QDialog {
  Q_OBJECT
 public:
  explicit THostEditDlg(QWidget* owner = nullptr);

  // The list being edited; its current row is the selection (-1 for none).
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

  // The list's lines and its selected index.
  QStringList Lines() const;
  void SetLines(const QStringList& lines, int selected);
  int Selected() const;
};

}  // namespace app
