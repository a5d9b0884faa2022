// Keeps the worksheet's tabs (each editor's text, file name and history position) and the statement history
// in the recovery file (TRecoveryFile): a few seconds after typing stops, at each Execute and at a normal
// exit; and puts them back at the next start, asking first after a crash ("Nicht gespeicherten Text
// wiederherstellen?").
#pragma once

#include "app/Recovery.h"

#include <QObject>
#include <string>

class QTextDocument;
class QTimer;
class TFVestra;

class TRecoveryKeeper : public QObject {
    Q_OBJECT
public:
    // Takes a slot in folder; without one (a folder that cannot be written) the keeper does nothing.
    TRecoveryKeeper(TFVestra& window, const std::string& folder);
    bool Active() const { return file_.IsOpen(); }
    const std::string& FilePath() const { return file_.Path(); }

    // At start: the last run's text and history come back, after a question when that run did not end
    // normally. Then the state of this run is saved, marked as running.
    void OfferAtStart();
    // Writes the editor's text and the history now (closedNormally: the program is ending normally).
    void SaveNow(bool closedNormally = false);
    // Saves a while after each change of the document (an editor of a worksheet tab).
    void Watch(QTextDocument* document);

    // How long the editor must stay unchanged before its text is saved.
    int IdleMs = 2000;

private:
    TFVestra& w_;
    TRecoveryFile file_;
    QTimer* idle_;
    bool dirty_ = false;
};

extern const char* const kAskRecovery; // "Nicht gespeicherten Text wiederherstellen?"
