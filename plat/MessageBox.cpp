#include "MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>

#include "TextCodec.h"

namespace plat {

namespace {

TMessageBoxHandler& Handler() {
  static TMessageBoxHandler handler;
  return handler;
}

int DefaultButton(int buttons) { return buttons == mbYesNo ? idYes : idOK; }

bool Headless() {
  QString p = QGuiApplication::platformName();
  return p == "offscreen" || p == "minimal" || p.isEmpty();
}

void SetUpBox(QMessageBox& box, const std::string& text, const std::string& caption, int icon) {
  box.setWindowTitle(QString::fromStdString(SjisToUtf8(caption)));
  box.setText(QString::fromStdString(SjisToUtf8(text)));
  switch (icon) {
    case miError: box.setIcon(QMessageBox::Critical); break;
    case miWarning: box.setIcon(QMessageBox::Warning); break;
    case miInformation: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
}

}  // namespace

void SetMessageBoxHandler(TMessageBoxHandler handler) { Handler() = std::move(handler); }

namespace {
int openBoxes = 0;
}  // namespace

int OpenMessageBoxes() { return openBoxes; }

int MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
               int buttons, int icon) {
  TMessageBoxRequest req{text, caption, buttons, icon};
  struct Open {
    Open() { ++openBoxes; }
    ~Open() { --openBoxes; }
  } open;
  if (Handler()) return Handler()(req);
  if (Headless()) {
    std::fprintf(stderr, "[%s] %s\n", SjisToUtf8(caption).c_str(), SjisToUtf8(text).c_str());
    return DefaultButton(buttons);
  }
  QMessageBox box(parent);
  SetUpBox(box, text, caption, icon);
  if (buttons == mbOKCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  } else if (buttons == mbYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
    case QMessageBox::Cancel: return idCancel;
    case QMessageBox::Yes: return idYes;
    case QMessageBox::No: return idNo;
    default: return buttons == mbOKCancel && box.clickedButton() == nullptr ? idCancel : idOK;
  }
}

void MessageBoxModeless(QWidget* parent, const std::string& text, const std::string& caption, int icon) {
  TMessageBoxRequest req{text, caption, mbOK, icon};
  if (Handler()) {
    Handler()(req);
    return;
  }
  if (Headless()) {
    std::fprintf(stderr, "[%s] %s\n", SjisToUtf8(caption).c_str(), SjisToUtf8(text).c_str());
    return;
  }
  auto* box = new QMessageBox(parent);
  SetUpBox(*box, text, caption, icon);
  box->setStandardButtons(QMessageBox::Ok);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

}  // namespace plat
