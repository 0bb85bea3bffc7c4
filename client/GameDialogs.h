// The game's windows: card pictures and the own-card strip, the picker, the
// card-show dialog, the notebook, the result dialog, the options dialog and
// the about box. Each is created once at start-up and reused.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "Kestclasses.h"

class QCheckBox;
class QComboBox;
class QMenu;
class QPushButton;
class QTabWidget;

namespace client {

class TKestClientForm;

// ---- card catalogue -------------------------------------------------------
void LoadCardCatalogue();
void SetPersonName(int i, const std::string& name);
void SetPersonPicture(int i, const QImage& graphic);
// Kind 1-3: the card's name; 4: "裏面"; else empty.
std::string CardName(int kind, int number);

// A card picture: kind 0 back, 1 suspect, 2 weapon, 3 room; 64 x 96.
class TKestCardImage : public QLabel {
 public:
  explicit TKestCardImage(QWidget* owner);
  int Kind = 0, Number = 0;
  void PaintCard();
  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent*) override;
};

// A window that only its own buttons close: Esc and the window manager's
// close box do nothing.
class TFixedWindow : public QWidget {
 public:
  TFixedWindow(QWidget* parent, bool onTop);
  void Finish();  // hides the window on behalf of its button

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  bool finishing_ = false;
};

// The own-card strip "アリバイ".
class TKestCardForm : public QWidget {
 public:
  explicit TKestCardForm(QWidget* parent);
  void AddCard(int kind, int number);
  void ClearCards();
  int Count() const { return int(cards_.size()); }
  const std::vector<TKestCardImage*>& Cards() const { return cards_; }

 private:
  std::vector<TKestCardImage*> cards_;
};

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

// The card-show dialog.
class TCardShowForm : public TFixedWindow {
 public:
  explicit TCardShowForm(TKestClientForm* main);
  void ShowCards(int count, const kest::TCard* cards);
  void CardClick(int i);
  void OkButtonClick();
  void Abandon();
  QLabel *InfoMsg, *InfoMsg2;
  QWidget* Waku;
  QPushButton* OkButton;
  std::vector<TKestCardImage*> Pictures;
  std::vector<QLabel*> Labels;
  int ChosenRow = -1, ChosenIndex = 0;

 private:
  TKestClientForm* main_;
};

// The detective notebook.
class TCheckForm : public QWidget {
 public:
  explicit TCheckForm(TKestClientForm* main);
  void PutMark(int group, int row, int code, int column);
  void ClearMarks();
  void DrawSheets();
  void DrawCell(int group, int row, int column);
  // Mouse on a grid of group at (x, y): left opens the menu, others cycle.
  void GridMouseDown(int group, int x, int y, bool left);
  void PopMenuClick(int code);
  void CheckPageChange(int group);
  uint8_t Cell(int row21, int column) const { return cells_[row21 * 6 + column]; }
  QTabWidget* CheckPage;
  std::array<QLabel*, 3> Images{};
  QMenu* PopupMenu1;
  std::function<void(QMenu&, const QPoint&)> PopupHook;  // tests answer the menu
  int MenuGroup = -1, MenuRow = -1, MenuColumn = -1;

 private:
  TKestClientForm* main_;
  std::array<uint8_t, 126> cells_{};
  std::array<QImage, 22> marks_;
  std::array<QImage, 3> pages_;
};

// The result dialog.
class TKekkaForm : public TFixedWindow {
 public:
  explicit TKekkaForm(TKestClientForm* main);
  void ShowResult(bool won, int seat, int person, int weapon, int room);
  void OKButtonClick();
  QLabel* MsgLabel;
  QPushButton* OKButton;
  std::vector<TKestCardImage*> Pictures;
  std::vector<QLabel*> Labels;

 private:
  TKestClientForm* main_;
};

// The options dialog.
class TOptForm : public QDialog {
 public:
  explicit TOptForm(QWidget* parent);
  QCheckBox *DokoKokuBox, *SuiriYobiBox;
  QPushButton *OkBnt, *CancelBtn;
  void FormShow();
  void CancelBtnClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void reject() override;

 private:
  bool savedDoko_ = true, savedSuiri_ = false;
};

// A label that reports the mouse moving over it and clicks.
class TLinkLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> onHover, onClick;

 protected:
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
};

// The about box.
class TKestAbout : public QDialog {
 public:
  explicit TKestAbout(QWidget* parent);
  QLabel* Label4;
  void Label4MouseMove();  // highlighted: blue, underlined
  void FormMouseMove();    // elsewhere: black, plain

 protected:
  void mouseMoveEvent(QMouseEvent* e) override;
};

}  // namespace client
