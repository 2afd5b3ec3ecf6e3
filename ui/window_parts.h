#pragma once
// The window's roles that are not the rows or the state: the panels' fields
// by identifier, the operator (message boxes and language texts) and the
// engine with its sink and the settings.
#include <QPointer>
#include <QWidget>
#include <map>

#include "ui/roles.h"

class ControlFields : public PanelFields {
 public:
  explicit ControlFields(const std::map<int, QWidget*>* controls) : controls_(controls) {}
  void ShowText(int id, const QString& text) override;
  QString TextOf(int id) const override;
  bool Checked(int id) const override;
  void SetChecked(int id, bool on) override;
  int Choice(int id) const override;
  // An index the list box does not have selects nothing.
  void SetChoice(int id, int index) override;
  void Focus(int id) override;

 private:
  QWidget* Control(int id) const;
  const std::map<int, QWidget*>* controls_;
};

class PromptOperator : public Operator {
 public:
  PromptOperator(Prompt* prompt, QWidget* window) : prompt_(prompt), window_(window) {}
  void Tell(const std::string& text, PromptIcon icon) override { prompt_->Info(text, icon); }
  bool Ask(const std::string& question) override { return prompt_->Question(question); }
  QString Lang(int key) const override;
  Prompt* Prompts() override { return prompt_; }
  QWidget* Window() override { return window_; }

 private:
  Prompt* prompt_;
  QWidget* window_;
};

class WindowEngine : public EngineAccess {
 public:
  WindowEngine(WindowBackend* engine, MessageSink* sink, CNVTSettings* settings)
      : engine_(engine), sink_(sink), settings_(settings) {}
  WindowBackend* Engine() override { return engine_; }
  MessageSink* Sink() override { return sink_; }
  CNVTSettings& Settings() override { return *settings_; }

 private:
  WindowBackend* engine_;
  MessageSink* sink_;
  CNVTSettings* settings_;
};
