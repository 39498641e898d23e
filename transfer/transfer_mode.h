#pragma once

#include <QString>

// Whether automatic mode sends a file as text: true when the name ends with one of the items of
// the list (the stored "AutoTransferModeList": endings separated by single blanks, compared
// case-sensitively) and that ending starts the name or follows a "." or "/": "txt" matches
// "a.txt" and "txt", not "notatxt". An empty item (an empty list, a blank at either end, two
// blanks in a row) matches no name: it would otherwise send every file as text.
bool IsTextModeFile(const QString& name, const QString& modeList);
