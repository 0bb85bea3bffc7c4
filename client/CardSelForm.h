// The suggestion and accusation picker.
#pragma once

#include <array>
#include <string>

#include "FixedWindow.h"
#include "KestCardImage.h"

class QComboBox;
class QPushButton;

namespace client {

class TKestClientForm;

// The suggestion and accusation picker.
class TCardSelForm : public TFixedWindow {
 public:
  TCardSelForm(TKestClientForm* main);
  void SetHumanName(int seat, const std::string& name);
  void StartSuiri(int room);
  void StartKokuso();
  void ShowPreview(int slot, int index);
  void OkBtnClick();
  void Button1Click();
  // Hides the picker without sending (the game ended under it).
  void Abandon();
  bool IsSuiri() const;
  QComboBox *PlaceBox, *HumanBox, *WeaponBox;
  QPushButton *OkBtn, *Button1;
  std::array<TKestCardImage*, 3> Previews{};

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Open();
  TKestClientForm* main_;
};

}  // namespace client
