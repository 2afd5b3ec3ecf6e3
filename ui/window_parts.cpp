#include "ui/window_parts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "config/language.h"

QWidget* ControlFields::Control(int id) const {
  auto it = controls_->find(id);
  return it == controls_->end() ? nullptr : it->second;
}

void ControlFields::ShowText(int id, const QString& text) {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
  else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
  else if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(text);
}

QString ControlFields::TextOf(int id) const {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  return {};
}

bool ControlFields::Checked(int id) const {
  auto* b = qobject_cast<QAbstractButton*>(Control(id));
  return b && b->isChecked();
}

void ControlFields::SetChecked(int id, bool on) {
  if (auto* b = qobject_cast<QAbstractButton*>(Control(id))) b->setChecked(on);
}

int ControlFields::Choice(int id) const {
  auto* c = qobject_cast<QComboBox*>(Control(id));
  return c ? c->currentIndex() : -1;
}

void ControlFields::SetChoice(int id, int index) {
  auto* c = qobject_cast<QComboBox*>(Control(id));
  if (c) c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

void ControlFields::Focus(int id) {
  if (QWidget* w = Control(id)) w->setFocus();
}

QString PromptOperator::Lang(int key) const {
  return QString::fromUtf8(GetLanguageText(key, LanguageDefault(key)));
}
