#include "NpcSetDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

#include "Faces.h"
#include "IniFile.h"
#include "KestClientForm.h"
#include "Resources.h"
#include "TextCodec.h"

namespace client {

namespace {
const char* const kSlotLabels[kNpcSlots] = {
    "NPC(\x89\xa9)",  // NPC(黄)
    "NPC(\x94\x92)",  // NPC(白)
    "NPC(\x97\xce)",  // NPC(緑)
    "NPC(\x90\x85)",  // NPC(水)
    "NPC(\x8e\x87)",  // NPC(紫)
};
}  // namespace

TNpcSetDlg::TNpcSetDlg(QWidget* parent, std::string facesDir, std::string iniPath)
    : QDialog(parent), facesDir_(std::move(facesDir)), iniPath_(std::move(iniPath)) {
  setWindowTitle(Q("NPC\x82\xcc\x90\xdd\x92\xe8"));  // NPCの設定
  setFixedSize(420, 330);
  for (int k = 0; k < kNpcSlots; ++k) {
    int top = 8 + k * 60;
    auto* label = new QLabel(Q(kSlotLabels[k]), this);
    label->move(8, top + 20);
    Images[k] = new QLabel(this);
    Images[k]->setGeometry(72, top, 56, 56);
    ComboBoxes[k] = new QComboBox(this);
    ComboBoxes[k]->setGeometry(136, top + 16, 150, 24);
    ComboBoxes[k]->setProperty("Tag", k);
    connect(ComboBoxes[k], &QComboBox::currentIndexChanged, this, [this, k] {
      if (!filling_) ComboBox1Change(k);
    });
  }
  auto* group = new QGroupBox(Q("NPC\x82\xcc\x90\x6c\x90\x94"), this);  // NPCの人数
  group->setGeometry(300, 8, 112, 60);
  CpuCount = new QComboBox(group);
  CpuCount->setGeometry(12, 24, 88, 24);
  for (int i = 0; i <= 5; ++i) CpuCount->addItem(QString::number(i));
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setGeometry(316, 250, 90, 28);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(Q("\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b"), this);  // キャンセル
  CancelBtn->setGeometry(316, 288, 90, 28);
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
}

void TNpcSetDlg::InitNpcSlots() {
  filling_ = true;
  for (QComboBox* c : ComboBoxes) c->clear();
  for (const TFaceFile& f : ListFaceFiles(facesDir_))
    for (QComboBox* c : ComboBoxes) c->addItem(Q(f.name));
  filling_ = false;
  LoadNpcSettings();
}

void TNpcSetDlg::LoadNpcSettings() {
  plat::TIniFile ini(iniPath_);
  for (int slot = 0; slot < kNpcSlots; ++slot)
    SelectNpc(slot, ini.ReadString("NPC", "NPC" + std::to_string(slot + 1), kNpcDefaultNames[slot]),
              true);
}

void TNpcSetDlg::SelectNpc(int slot, const std::string& name, bool store) {
  QComboBox* c = ComboBoxes[slot];
  int i = c->findText(Q(name), Qt::MatchExactly);
  std::string chosen = name;
  if (i < 0) {
    if (c->count() == 0) return;
    i = 0;
    chosen = S(c->itemText(0));
  }
  if (store) names_.StoreNpc(slot, chosen);
  filling_ = true;
  c->setCurrentIndex(i);
  filling_ = false;
  DrawNpcFace(slot, facesDir_ + "/" + plat::SjisToUtf8(chosen) + ".bmp");
}

void TNpcSetDlg::DrawNpcFace(int slot, const std::string& file) {
  QPixmap pm(56, 56);
  pm.fill(SeatColour(slot + 1));
  QPainter p(&pm);
  p.drawImage(0, 0, MakeGreenTransparent(QImage(QString::fromStdString(file))));
  p.end();
  Images[slot]->setPixmap(pm);
}

void TNpcSetDlg::showEvent(QShowEvent* e) {
  for (int k = 0; k < kNpcSlots; ++k) savedIndex_[k] = ComboBoxes[k]->currentIndex();
  QDialog::showEvent(e);
}

void TNpcSetDlg::ComboBox1Change(int slot) { SelectNpc(slot, S(ComboBoxes[slot]->currentText()), false); }

void TNpcSetDlg::OKBtnClick() {
  for (int k = 0; k < kNpcSlots; ++k)
    if (ComboBoxes[k]->currentIndex() >= 0) names_.StoreNpc(k, S(ComboBoxes[k]->currentText()));
  done(1);
}

void TNpcSetDlg::CancelBtnClick() {
  for (int k = 0; k < kNpcSlots; ++k) {
    if (savedIndex_[k] < 0 || savedIndex_[k] >= ComboBoxes[k]->count()) continue;
    filling_ = true;
    ComboBoxes[k]->setCurrentIndex(savedIndex_[k]);
    filling_ = false;
    DrawNpcFace(k, facesDir_ + "/" + plat::SjisToUtf8(S(ComboBoxes[k]->itemText(savedIndex_[k]))) + ".bmp");
  }
  done(2);
}

}  // namespace client
