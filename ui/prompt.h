#pragma once
// Message boxes and questions of the window go through this interface, so
// that tests run without a person and answer the questions themselves.
#include <string>

class QWidget;

enum class PromptIcon { kInformation, kWarning, kError };

class Prompt {
 public:
  virtual ~Prompt() = default;
  // A message with an OK button; returns when it was closed.
  virtual void Info(const std::string& text, PromptIcon icon) = 0;
  // OK / Cancel question; true for OK.
  virtual bool Question(const std::string& text) = 0;
  // A save dialog offering suggested_name; the chosen path, "" when cancelled.
  virtual std::string SaveFileName(const std::string& caption, const std::string& suggested_name) {
    (void)caption;
    (void)suggested_name;
    return {};
  }
  // The same question with a details list the operator can open.
  virtual bool QuestionWithDetails(const std::string& text, const std::string& details) {
    (void)details;
    return Question(text);
  }
  // The open-file dialog: the chosen path, or "" when cancelled.
  virtual std::string ChooseFile() { return {}; }
};

// Modal QMessageBox dialogs over the given parent window.
class QtPrompt : public Prompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Info(const std::string& text, PromptIcon icon) override;
  bool Question(const std::string& text) override;
  std::string SaveFileName(const std::string& caption, const std::string& suggested_name) override;
  bool QuestionWithDetails(const std::string& text, const std::string& details) override;
  std::string ChooseFile() override;

 private:
  QWidget* parent_;
};
