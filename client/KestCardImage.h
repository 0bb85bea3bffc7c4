// Card pictures, drawn the same way everywhere: the process-wide catalogue of
// frames, pictures and names, and the picture control.
#pragma once

#include <QLabel>
#include <QImage>
#include <functional>
#include <string>

namespace client {

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

}  // namespace client
