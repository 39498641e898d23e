#pragma once

#include "platform/prompter.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>
#include <functional>

// Answers message boxes and dialog runs from a script and records what was asked. Installs
// itself for its lifetime. A question or dialog with no scripted answer fails the test.
class ScriptedPrompter : public Prompter {
public:
    using DialogScript = std::function<bool(QDialog&)>;

    ScriptedPrompter() { Prompter::Install(this); }
    ~ScriptedPrompter() override { Prompter::Install(nullptr); }

    void QueueAnswer(bool yes) { answers.push_back(yes); }
    // The function fills the dialog's controls and returns whether it ends with OK.
    void QueueDialog(DialogScript script) { dialogs.push_back(std::move(script)); }
    void QueueCertificateAnswer(CertificateAnswer answer) { certificateAnswers.push_back(answer); }
    // The answer to the next question with a check box; ticking a box that is not there fails.
    void QueueCheckedAnswer(bool yes, bool tick = false) { checkedAnswers.push_back({yes, tick}); }

    void ShowMessage(const QString& text) override { messages << text; }
    bool AskYesNo(const QString& text) override;
    bool RunDialog(QDialog& dialog) override;
    CertificateAnswer AskCertificate(const CertificateQuestion& question) override
    {
        certificateQuestions.push_back(question);
        if (certificateAnswers.empty()) {
            ++unanswered;
            return CertificateAnswer::Cancel;
        }
        const CertificateAnswer answer = certificateAnswers.front();
        certificateAnswers.pop_front();
        return answer;
    }

    CheckedAnswer AskChecked(const CheckedQuestion& question) override
    {
        checkedQuestions.push_back(question);
        if (checkedAnswers.empty()) {
            ++unanswered;
            return {};
        }
        CheckedAnswer answer = checkedAnswers.front();
        checkedAnswers.pop_front();
        if (answer.checked && question.checkText.isEmpty()) {
            ++unanswered;  // no check box to tick
            answer.checked = false;
        }
        return answer;
    }

    QStringList messages;   // every OK box, in order
    QStringList questions;  // every Yes/No question, in order
    QStringList dialogTitles;
    std::vector<CertificateQuestion> certificateQuestions;
    std::vector<CheckedQuestion> checkedQuestions;
    int unanswered = 0;     // questions or dialogs that found no scripted answer

private:
    std::deque<bool> answers;
    std::deque<DialogScript> dialogs;
    std::deque<CertificateAnswer> certificateAnswers;
    std::deque<CheckedAnswer> checkedAnswers;
};

inline bool ScriptedPrompter::AskYesNo(const QString& text)
{
    questions << text;
    if (answers.empty()) {
        ++unanswered;
        return false;
    }
    bool yes = answers.front();
    answers.pop_front();
    return yes;
}

inline bool ScriptedPrompter::RunDialog(QDialog& dialog)
{
    dialogTitles << dialog.windowTitle();
    if (dialogs.empty()) {
        ++unanswered;
        return false;
    }
    DialogScript script = std::move(dialogs.front());
    dialogs.pop_front();
    return script(dialog);
}
