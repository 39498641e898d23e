#pragma once

#include "transfer/strings.h"

#include <QString>

// The questions a transfer asks while a file is on its way. The transfer rules only ask; who
// answers (the window's prompt, a test's script) implements TransferQuestions.
enum class TransferQuestion {
    Resume,     // an earlier transfer of the file stopped part-way: go on from there?
    Overwrite,  // the target is there already: replace it?
};

// The question's text, as the person reads it.
inline const QString& TransferQuestionText(TransferQuestion question)
{
    return question == TransferQuestion::Resume ? TransferText::ResumeQuestion : TransferText::OverwriteQuestion;
}

class TransferQuestions {
public:
    virtual ~TransferQuestions() = default;
    // Asked on the thread the transfer runs on, which waits for the answer; true for "はい".
    virtual bool Ask(TransferQuestion question) = 0;
};
