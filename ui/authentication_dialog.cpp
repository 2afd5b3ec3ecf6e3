#include "ui/authentication_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/language.h"
#include "engine/ops/set_network.h"
#include "ui/prompt.h"

const char kGuestId[] = "guest";
const char kGuestPassword[] = "plumo";

namespace {

QString Lang(int key) { return QString::fromUtf8(GetLanguageText(key, LanguageDefault(key))); }

}  // namespace

Authentication::Authentication(QWidget* parent, int32_t guest_allowed, Prompt* prompt)
    : QDialog(parent), prompt_(prompt) {
  setWindowTitle(Lang(30));
  id_label_ = new QLabel(Lang(31) + QStringLiteral(" :"), this);
  password_label_ = new QLabel(Lang(32) + QStringLiteral(" :"), this);
  id_edit_ = new QLineEdit(this);
  password_edit_ = new QLineEdit(this);
  password_edit_->setEchoMode(QLineEdit::Password);
  guest_ = new QCheckBox(Lang(33), this);
  guest_->setVisible(guest_allowed != 0);
  ok_ = new QPushButton(Lang(1), this);
  cancel_ = new QPushButton(Lang(2), this);
  ok_->setDefault(true);

  auto* grid = new QGridLayout(this);
  grid->addWidget(id_label_, 0, 0);
  grid->addWidget(id_edit_, 0, 1);
  grid->addWidget(password_label_, 1, 0);
  grid->addWidget(password_edit_, 1, 1);
  grid->addWidget(guest_, 2, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  grid->addLayout(buttons, 3, 0, 1, 2);

  connect(ok_, &QPushButton::clicked, this, &Authentication::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(guest_, &QCheckBox::clicked, this, &Authentication::OnGuestLogin);
}

void Authentication::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  id_edit_->setFocus();
}

void Authentication::OnOk() {
  id_ = id_edit_->text().toStdString();
  if (id_.empty()) {
    prompt_->Info(Lang(34).toStdString(), PromptIcon::kWarning);
    id_edit_->setFocus();
    return;
  }
  password_ = password_edit_->text().toStdString();
  if (password_.empty()) {
    prompt_->Info(Lang(35).toStdString(), PromptIcon::kWarning);
    password_edit_->setFocus();
    return;
  }
  // The device compares what arrives: a cut text would be refused although typed correctly.
  if (const std::string t = AdminIdProblem(id_); !t.empty()) {
    prompt_->Info(t, PromptIcon::kWarning);
    id_edit_->setFocus();
    return;
  }
  if (const std::string t = AdminPasswordProblem(password_); !t.empty()) {
    prompt_->Info(t, PromptIcon::kWarning);
    password_edit_->setFocus();
    return;
  }
  accept();
}

void Authentication::OnGuestLogin() {
  const bool on = guest_->isChecked();
  id_edit_->setEnabled(!on);
  password_edit_->setEnabled(!on);
  id_edit_->setText(on ? QString::fromLatin1(kGuestId) : QString());
  password_edit_->setText(on ? QString::fromLatin1(kGuestPassword) : QString());
  id_ = on ? kGuestId : "";
  password_ = on ? kGuestPassword : "";
}
