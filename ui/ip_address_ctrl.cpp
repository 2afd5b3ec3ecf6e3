// The dotted-address entry of the network setting panel.
#include <QtGlobal>
#include <algorithm>

#include "engine/devices/device_record.h"
#include "ui/ip_address_ctrl.h"
#include "ui/prompt.h"
#include "ui/window_texts.h"

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QLineEdit(parent) {
  setMaxLength(15);
  connect(this, &QLineEdit::textEdited, this, [this](const QString& t) { OnEdited(t); });
}

void CIpAddressCtrl::OnEdited(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  bool shape_ok = parts.size() <= 4;
  for (const QString& p : parts)
    for (QChar ch : p)
      if (!ch.isDigit() || ch.unicode() > 0x7f) shape_ok = false;
  for (const QString& p : parts)
    if (p.size() > 3) shape_ok = false;
  if (!shape_ok) {
    const int pos = std::max(0, cursorPosition() - 1);
    setText(accepted_);
    setCursorPosition(std::min(pos, static_cast<int>(accepted_.size())));
    if (prompt_) prompt_->Info(kAddressCharactersText, PromptIcon::kWarning);
    return;
  }
  // A part over 255 is named and becomes 255, as the platform's control does.
  QStringList fixed = parts;
  std::string over;
  for (QString& p : fixed) {
    if (p.isEmpty() || p.toInt() <= 255) continue;
    if (over.empty()) over = p.toStdString();
    p = QStringLiteral("255");
  }
  accepted_ = fixed.join(QLatin1Char('.'));
  if (over.empty()) return;
  const int pos = cursorPosition();
  setText(accepted_);
  setCursorPosition(pos);
  if (prompt_) prompt_->Info(over + kAddressRangeText, PromptIcon::kWarning);
}

void CIpAddressCtrl::SetAddress(uint32_t ip) {
  char buf[16];
  setText(QString::fromLatin1(FormatIp(ip, buf)));
  accepted_ = QLineEdit::text();
}

int CIpAddressCtrl::GetAddress(uint32_t* ip) const { return ParseIp(text().toLatin1().constData(), ip); }
