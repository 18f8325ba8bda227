#include "app/HTEditHosts.h"

#include <QComboBox>
#include <QFont>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>

#include "framework/Forms.h"
#include "framework/IniFiles.h"

namespace app {

const QStringList& FactoryHosts() {
  static const QStringList hosts = {
      "pool.ntp.org",
      "0.pool.ntp.org",
      "1.pool.ntp.org",
      "2.pool.ntp.org",
      "3.pool.ntp.org",
      "time.google.com",
      "time.cloudflare.com",
      "time.nist.gov",
      "time-a-g.nist.gov",
      "time-b-g.nist.gov",
      "time.windows.com",
      "europe.pool.ntp.org",
      "north-america.pool.ntp.org",
      "asia.pool.ntp.org",
      "oceania.pool.ntp.org",
      "south-america.pool.ntp.org",
      "ntp.ubuntu.com",
      "time.apple.com",
  };
  return hosts;
}

void SetFactoryHosts(QStringList& list) {
  list.clear();
  list << FactoryHosts();
}

QString DefaultInsertHost() {
  return FactoryHosts().at(11);
}

int SelectedHostIndex(const QComboBox& hosts) {
  const int index = hosts.currentIndex();
  if (index < 0 || hosts.itemText(index) != hosts.currentText()) return -1;
  return index;
}

namespace {

void SelectHost(QComboBox& hosts, int index) {
  if (index >= 0 && index < hosts.count()) {
    hosts.setCurrentIndex(index);
  } else {
    hosts.setCurrentIndex(-1);
    if (hosts.isEditable()) hosts.setEditText(QString());
  }
}

}  // namespace

void LoadHosts(QComboBox& hosts) {
  const framework::TIniFile ini(kSettingsFileName);
  const int count = std::min(ini.ReadInteger(kHostsSection, "Count", 0), kMaxSavedHosts);
  if (count <= 0) return;
  QStringList list;
  for (int i = 0; i < count; ++i)
    list << QString::fromStdString(ini.ReadString(kHostsSection, "Host" + std::to_string(i), ""));
  hosts.clear();
  hosts.addItems(list);
  SelectHost(hosts, ini.ReadInteger(kHostsSection, "CurrentInx", -1));
}

void SaveHosts(const QComboBox& hosts) {
  framework::TKeyValueList values;
  values.emplace_back("Count", std::to_string(hosts.count()));
  for (int i = 0; i < hosts.count(); ++i)
    values.emplace_back("Host" + std::to_string(i), hosts.itemText(i).toStdString());
  values.emplace_back("CurrentInx", std::to_string(SelectedHostIndex(hosts)));
  framework::TIniFile ini(kSettingsFileName);
  ini.ReplaceSection(kHostsSection, values);
}

void InitHosts(QComboBox& hosts) {
  QStringList factory;
  SetFactoryHosts(factory);
  hosts.clear();
  hosts.addItems(factory);
  hosts.setCurrentIndex(0);
  LoadHosts(hosts);
}

namespace {

enum class Glyph { Up, Down, Delete, Insert };

// The picture buttons' glyphs, drawn at 16 x 16 pixels.
QIcon DrawGlyph(Glyph glyph) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (glyph) {
    case Glyph::Up:
    case Glyph::Down: {
      QPainterPath arrow;
      const bool up = glyph == Glyph::Up;
      const double tip = up ? 1.5 : 14.5, base = up ? 8 : 8;
      arrow.moveTo(8, tip);
      arrow.lineTo(14.5, base);
      arrow.lineTo(10.5, base);
      arrow.lineTo(10.5, up ? 14.5 : 1.5);
      arrow.lineTo(5.5, up ? 14.5 : 1.5);
      arrow.lineTo(5.5, base);
      arrow.lineTo(1.5, base);
      arrow.closeSubpath();
      p.setPen(QPen(QColor(0, 0, 96), 1));
      p.setBrush(QColor(40, 90, 200));
      p.drawPath(arrow);
      break;
    }
    case Glyph::Delete:
      p.setPen(QPen(QColor(200, 20, 20), 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(3, 3), QPointF(13, 13));
      p.drawLine(QPointF(13, 3), QPointF(3, 13));
      break;
    case Glyph::Insert:
      p.setPen(QPen(QColor(20, 140, 40), 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
      p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
      break;
  }
  return QIcon(pixmap);
}

QToolButton* GlyphButton(QWidget* parent, Glyph glyph, const QString& hint, int x, int y) {
  auto* button = new QToolButton(parent);
  button->setIcon(DrawGlyph(glyph));
  button->setIconSize(QSize(16, 16));
  button->setToolTip(hint);
  button->setGeometry(x, y, 36, 28);
  return button;
}

}  // namespace

THostEditDlg::THostEditDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Edit Hosts");
  setFixedSize(313, 214);
  setModal(true);

  MoveUpBtn = GlyphButton(this, Glyph::Up, "Move Item Up", 6, 6);
  MoveDnBtn = GlyphButton(this, Glyph::Down, "Move Item Down", 44, 6);
  Delete2Btn = GlyphButton(this, Glyph::Delete, "Delete Survey", 6, 38);
  InsertBtn = GlyphButton(this, Glyph::Insert, "Insert Item", 44, 38);

  DefaultBtn = new QPushButton("Def", this);
  QFont bold = DefaultBtn->font();
  bold.setBold(true);
  DefaultBtn->setFont(bold);
  DefaultBtn->setToolTip("Load Factory Defaults");
  DefaultBtn->setGeometry(6, 72, 74, 26);
  DefaultBtn->setAutoDefault(false);

  OKBtn = new QPushButton("OK", this);
  OKBtn->setGeometry(6, 150, 74, 26);
  OKBtn->setDefault(true);
  Button1 = new QPushButton("Cancel", this);
  Button1->setGeometry(6, 182, 74, 26);
  Button1->setAutoDefault(false);

  HostsList = new QListWidget(this);
  HostsList->setSelectionMode(QAbstractItemView::SingleSelection);
  HostsList->setGeometry(88, 4, 313 - 88 - 4, 214 - 8);

  auto guard = [](auto handler) { return [handler] { framework::RunGuarded(handler); }; };
  connect(MoveUpBtn, &QToolButton::clicked, this, guard([this] { MoveUpBtnClick(MoveUpBtn); }));
  connect(MoveDnBtn, &QToolButton::clicked, this, guard([this] { MoveDnBtnClick(MoveDnBtn); }));
  connect(Delete2Btn, &QToolButton::clicked, this, guard([this] { Delete2BtnClick(Delete2Btn); }));
  connect(InsertBtn, &QToolButton::clicked, this, guard([this] { InsertBtnClick(InsertBtn); }));
  connect(DefaultBtn, &QPushButton::clicked, this, guard([this] { DefaultBtnClick(DefaultBtn); }));
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
}

void THostEditDlg::EditHosts(QComboBox& hosts) {
  QStringList lines;
  for (int i = 0; i < hosts.count(); ++i) lines << hosts.itemText(i);
  SetLines(lines, SelectedHostIndex(hosts));
  if (exec() != QDialog::Accepted) return;
  hosts.clear();
  hosts.addItems(Lines());
  SelectHost(hosts, Selected());
  SaveHosts(hosts);
}

QStringList THostEditDlg::Lines() const {
  QStringList lines;
  for (int i = 0; i < HostsList->count(); ++i) lines << HostsList->item(i)->text();
  return lines;
}

void THostEditDlg::SetLines(const QStringList& lines, int selected) {
  HostsList->clear();
  HostsList->addItems(lines);
  if (selected >= 0 && selected < lines.size()) {
    HostsList->setCurrentRow(selected);
  } else {
    HostsList->setCurrentRow(-1);
    HostsList->clearSelection();
  }
}

int THostEditDlg::Selected() const {
  // The entry shown selected, not the current row: Ctrl+click deselects a row and leaves it
  // current.
  const QModelIndexList selected = HostsList->selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.front().row();
}

void THostEditDlg::MoveUpBtnClick(QObject*) {
  const int k = Selected();
  if (k < 1) return;
  QStringList lines = Lines();
  lines.swapItemsAt(k, k - 1);
  SetLines(lines, k - 1);
}

void THostEditDlg::MoveDnBtnClick(QObject*) {
  const int k = Selected();
  const int n = HostsList->count();
  if (k < 0 || k >= n - 1) return;
  QStringList lines = Lines();
  lines.swapItemsAt(k, k + 1);
  SetLines(lines, k + 1);
}

void THostEditDlg::Delete2BtnClick(QObject*) {
  const int k = Selected();
  QStringList lines = Lines();
  if (k < 0 || k >= lines.size()) return;
  lines.removeAt(k);
  SetLines(lines, lines.isEmpty() ? -1 : (k < lines.size() ? k : k - 1));
}

void THostEditDlg::InsertBtnClick(QObject*) {
  // A cancelled prompt inserts nothing (the user said no, whatever the prompt offered); so does
  // an empty text.
  const std::optional<QString> answer =
      framework::InputQuery("Insert New Host", "Enter New Host URL", DefaultInsertHost());
  if (!answer || answer->isEmpty()) return;
  const QString& text = *answer;
  const int k = Selected();
  QStringList lines = Lines();
  // Rows as int, as the list widget counts them.
  const int at = k < 0 ? static_cast<int>(lines.size()) : k;
  lines.insert(at, text);
  // The selection stays on the entry that was selected, now one further down.
  SetLines(lines, k < 0 ? -1 : k + 1);
}

void THostEditDlg::DefaultBtnClick(QObject*) {
  QStringList lines;
  SetFactoryHosts(lines);
  SetLines(lines, 0);
}

}  // namespace app
