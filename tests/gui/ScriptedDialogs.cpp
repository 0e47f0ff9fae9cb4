#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace corvanteer::testing {

void ScriptedDialogs::QueueButton(DialogButton button) {
    answers_.push_back({"button", button, std::nullopt});
}

void ScriptedDialogs::QueueInput(std::optional<QString> text) {
    answers_.push_back({"input", DialogButton::Cancel, std::move(text)});
}

void ScriptedDialogs::QueuePath(const QString& path) {
    answers_.push_back({"path", DialogButton::Cancel, path});
}

ScriptedDialogs::Answer ScriptedDialogs::Next(const std::string& kind, const DialogCall& call) {
    if (answers_.empty() || answers_.front().kind != kind) {
        ADD_FAILURE() << "unexpected " << call.kind << " \"" << call.title.toStdString()
                      << "\": " << call.text.toStdString();
        return {kind, DialogButton::Cancel, std::nullopt};
    }
    Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void ScriptedDialogs::ShowReport(QWidget*, const QString& title, const QString& text) {
    calls.push_back(
        {"report", title, text, {}, DialogIcon::Information, {DialogButton::Ok}, DialogButton::Ok});
}

void ScriptedDialogs::ShowMessage(QWidget*, const QString& text) {
    calls.push_back({"message",
                     QStringLiteral("Corvanteer"),
                     text,
                     {},
                     DialogIcon::Information,
                     {DialogButton::Ok},
                     DialogButton::Ok});
}

DialogButton ScriptedDialogs::Ask(QWidget*, const QString& title, const QString& text,
                                  DialogIcon icon, const std::vector<DialogButton>& buttons,
                                  DialogButton defaultButton) {
    calls.push_back({"ask", title, text, {}, icon, buttons, defaultButton});
    const Answer answer = Next("button", calls.back());
    return answer.button;
}

std::optional<QString> ScriptedDialogs::InputBox(QWidget*, const QString& title,
                                                 const QString& prompt, const QString& initial) {
    calls.push_back({"input", title, prompt, initial, DialogIcon::Question, {}, DialogButton::Ok});
    return Next("input", calls.back()).text;
}

QString ScriptedDialogs::OpenFile(QWidget*, const QString& startDir, const QString& filter) {
    calls.push_back(
        {"open", QString(), filter, startDir, DialogIcon::Information, {}, DialogButton::Ok});
    return Next("path", calls.back()).text.value_or(QString());
}

QString ScriptedDialogs::SaveFile(QWidget*, const QString& startDir, const QString& filter) {
    calls.push_back(
        {"save", QString(), filter, startDir, DialogIcon::Information, {}, DialogButton::Ok});
    return Next("path", calls.back()).text.value_or(QString());
}

QString ScriptedDialogs::SelectFolder(QWidget*, const QString& startDir) {
    calls.push_back(
        {"folder", QString(), QString(), startDir, DialogIcon::Information, {}, DialogButton::Ok});
    return Next("path", calls.back()).text.value_or(QString());
}

}  // namespace corvanteer::testing
