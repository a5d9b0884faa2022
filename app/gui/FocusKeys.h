// Keyboard ways out of a text editor that takes Tab as text: Ctrl+Tab moves the focus to the next control and
// Ctrl+Shift+Tab to the previous one, so that a keyboard or screen reader user is never caught in the editor.
#pragma once

class QPlainTextEdit;

void LetCtrlTabLeave(QPlainTextEdit* editor);
