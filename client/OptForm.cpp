#include "OptForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "Resources.h"

namespace client {

// ---------------------------------------------------------------- options

TOptForm::TOptForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8"));  // オプション設定
  setFixedSize(353, 139);
  auto* group = new QGroupBox(Q("\x83\x82\x81\x5b\x83\x68\x90\xdd\x92\xe8"), this);  // モード設定
  group->setGeometry(8, 8, 337, 80);
  // どこでも告訴できるようにする
  DokoKokuBox = new QCheckBox(Q("\x82\xc7\x82\xb1\x82\xc5\x82\xe0\x8d\x90\x91\x69\x82\xc5\x82\xab\x82\xe9\x82\xe6\x82\xa4"
                                "\x82\xc9\x82\xb7\x82\xe9"),
                              group);
  DokoKokuBox->setGeometry(12, 22, 320, 20);
  DokoKokuBox->setChecked(true);
  // 推理時指定された人物を部屋に呼ぶようにする
  SuiriYobiBox = new QCheckBox(Q("\x90\x84\x97\x9d\x8e\x9e\x8e\x77\x92\xe8\x82\xb3\x82\xea\x82\xbd\x90\x6c\x95\xa8\x82\xf0"
                                 "\x95\x94\x89\xae\x82\xc9\x8c\xc4\x82\xd4\x82\xe6\x82\xa4\x82\xc9\x82\xb7\x82\xe9"),
                               group);
  SuiriYobiBox->setGeometry(12, 48, 320, 20);
  OkBnt = new QPushButton(QStringLiteral("OK"), this);
  OkBnt->setGeometry(96, 100, 75, 25);
  OkBnt->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn->setGeometry(182, 100, 75, 25);
  connect(OkBnt, &QPushButton::clicked, this, [this] { done(1); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
}

void TOptForm::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

void TOptForm::FormShow() {
  savedDoko_ = DokoKokuBox->isChecked();
  savedSuiri_ = SuiriYobiBox->isChecked();
}

void TOptForm::CancelBtnClick() {
  DokoKokuBox->setChecked(savedDoko_);
  SuiriYobiBox->setChecked(savedSuiri_);
}

// Cancel, Esc and the window's close box all leave the boxes as they were.
void TOptForm::reject() {
  CancelBtnClick();
  done(2);
}

}  // namespace client
