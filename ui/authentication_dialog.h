#pragma once
// The administrator ID and password asked before a change is sent to a
// device. Its message boxes go through the window's prompt interface.
#include <QDialog>
#include <string>

class Prompt;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The password the "Guest Login" box fills in.
extern const char kGuestId[];        // "guest"
extern const char kGuestPassword[];  // "plumo"

class Authentication : public QDialog {
  Q_OBJECT
 public:
  // Control identifiers.
  enum : int {
    IDC_AUTH_ID_LABEL = 1028,
    IDC_AUTH_PASSWORD_LABEL = 1029,
    IDC_AUTH_ID = 1031,
    IDC_AUTH_PASSWORD = 1032,
    IDC_AUTH_GUEST = 1033,
  };

  // guest_allowed non-zero shows the "Guest Login" check box.
  Authentication(QWidget* parent, int32_t guest_allowed, Prompt* prompt);

  // After OK: the texts as entered (UTF-8).
  std::string Id() const { return id_; }
  std::string Password() const { return password_; }

  // The OK button: empty ID, then empty password, then either text too long
  // for its wire field keep the dialog open with a message.
  void OnOk();
  void OnGuestLogin();

  QLineEdit* IdEdit() const { return id_edit_; }
  QLineEdit* PasswordEdit() const { return password_edit_; }
  QCheckBox* GuestBox() const { return guest_; }
  QPushButton* OkButton() const { return ok_; }
  QLabel* IdLabel() const { return id_label_; }
  QLabel* PasswordLabel() const { return password_label_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  Prompt* prompt_;
  std::string id_;
  std::string password_;
  QLabel* id_label_;
  QLabel* password_label_;
  QLineEdit* id_edit_;
  QLineEdit* password_edit_;
  QCheckBox* guest_;
  QPushButton* ok_;
  QPushButton* cancel_;
};
