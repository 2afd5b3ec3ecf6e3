#pragma once
// Dotted-address entry standing in for the platform's IP address control.
// As the platform's control: a part over 255 is named in a message and set to
// 255; any other character than digits and dots is refused with a message.
#include <QLineEdit>
#include <cstdint>

class Prompt;

class CIpAddressCtrl : public QLineEdit {
 public:
  explicit CIpAddressCtrl(QWidget* parent = nullptr);
  void SetPrompt(Prompt* prompt) { prompt_ = prompt; }
  void SetAddress(uint32_t ip);
  // 0 and *ip for a complete address, -1 otherwise.
  int GetAddress(uint32_t* ip) const;

 private:
  void OnEdited(const QString& text);
  Prompt* prompt_ = nullptr;
  QString accepted_;  // the last text that was a possible address
};
