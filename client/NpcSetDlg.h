// The computer-player setup dialog: the character of each of the five
// other seats and how many computer players the host's Start adds.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "NpcNames.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace client {

class TNpcSetDlg : public QDialog {
 public:
  // facesDir: the folder of face pictures; iniPath: velmora.ini.
  TNpcSetDlg(QWidget* parent, std::string facesDir, std::string iniPath);

  void InitNpcSlots();
  void LoadNpcSettings();
  void SelectNpc(int slot, const std::string& name, bool store);
  void DrawNpcFace(int slot, const std::string& file);
  void ComboBox1Change(int slot);
  void OKBtnClick();
  void CancelBtnClick();
  void reject() override { CancelBtnClick(); }

  TNpcNames& Names() { return names_; }

  std::array<QComboBox*, kNpcSlots> ComboBoxes{};
  std::array<QLabel*, kNpcSlots> Images{};
  QComboBox* CpuCount = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  std::string facesDir_;
  std::string iniPath_;
  TNpcNames names_;
  std::array<int, kNpcSlots> savedIndex_{};
  bool filling_ = false;
};

}  // namespace client
