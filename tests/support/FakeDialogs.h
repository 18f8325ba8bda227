#pragma once
// Stock dialogs answered by the test: error boxes are recorded, input boxes answered from a list.
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "framework/Forms.h"

namespace testing_support {

class FakeDialogs : public framework::DialogsApi {
 public:
  QStringList errors;
  QString last_error_title;
  // Answers to the next input boxes: a text confirms, nothing cancels.
  std::deque<std::optional<QString>> answers;
  struct Prompt {
    QString caption, prompt, value;
  };
  std::vector<Prompt> prompts;

  void ShowError(const QString& title, const QString& message) override {
    last_error_title = title;
    errors << message;
  }
  std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                    const QString& value) override {
    prompts.push_back({caption, prompt, value});
    if (answers.empty()) return std::nullopt;
    const bool confirmed = answers.front().has_value();
    const QString text = answers.front().value_or(QString());
    answers.pop_front();
    if (!confirmed) return std::nullopt;
    return text;
  }

 private:
  platform::ScopedOverride<framework::DialogsApi> installed_{*this};
};

}  // namespace testing_support
