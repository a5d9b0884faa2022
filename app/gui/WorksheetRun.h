// The worksheet's statements off the GUI thread: Execute, Refresh, C and R run on a TWorksheetRunner thread
// while the window keeps answering. During a run the grid is detached from the query (the GUI thread never
// reads the rows being written), the status line counts the seconds, whatever would start another statement
// (or read the result) is disabled, and the Stop action (Escape, the "Stopp" button) sends the break.
#pragma once

#include "app/WorksheetRunner.h"
#include "connect/QtPoster.h"
#include "dataset/DAHooks.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QAction;
class QPushButton;
class QTimer;
class TDataModule1;
class TFVestra;
class TQxDBGrid;
struct TWorksheetPage;

class TWorksheetRun : public QObject {
    Q_OBJECT
public:
    TWorksheetRun(TFVestra& window, TDataModule1& dm);
    ~TWorksheetRun() override;

    // Off: the statements run on the GUI thread as before (the window's step-by-step tests use it).
    bool Background = true;
    // Wraps Execute's server call on the run's thread (the server output switches its buffer before it and
    // fetches the lines after it); nil: the call alone.
    std::function<void(const std::function<void()>& statement)> AroundStatement;
    // Follows each Execute on the GUI thread, after its report or its error box.
    std::function<void()> AfterStatement;

    bool Busy() const { return runner_.Busy(); }
    // The worksheet's operations; errors end in a message box, as everywhere in the window.
    void Execute(const std::string& editorText1252);
    void Refresh();
    void Commit();
    void Rollback();
    // Sends the break to the running statement (nothing while idle).
    void Stop();
    // For work run through RunInBackground: true once Stop was asked for. Asked from the work's thread
    // between its steps (the break ends only the server call in progress).
    bool StopRequested() const { return runner_.StopRequested(); }
    // The same for a walk over rows: raises the walk's stop error ("Der Vorgang wurde vom Benutzer
    // abgebrochen.") once Stop was asked for.
    void ThrowIfStopped() const;

    // Runs work on the runner's thread the way the worksheet's own statements run: the grid lets go of the
    // query, whatever would start another statement is disabled, the status line counts the seconds (and
    // the rows in *rows, when given: the work's thread raises it, the GUI thread only reads it), Stop sends
    // the break. done follows on the GUI thread with the work's exception or nullptr, after the grid has the
    // query back. Without Background, or without a connection, both run here before this returns. False
    // (and nothing runs) while something else is running.
    bool RunInBackground(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                         const std::atomic<long>* rows = nullptr);
    // For closing the window: stops a running statement, waits for it and ends it without a message. When
    // the break brings no answer within StopWaitMs the connection is cut under the call (the session is
    // lost).
    void StopAndWait();
    int StopWaitMs = 3000;
    // Ends the session for closing the window or logging on again: COMMIT (commit) or ROLLBACK runs off the
    // GUI thread like a statement, then the logoff follows here; each gets StopWaitMs before the line is cut
    // under it (the session is then lost, and nothing waits for ever). then follows on the GUI thread with
    // false after a server error that the user has been shown (the session stays as it is), true otherwise.
    void EndSession(bool commit, std::function<void(bool ok)> then);

    // Lets a worksheet tab's grid run its moves that fetch every row or reopen the query here.
    void HookGrid(TQxDBGrid* grid);

    QPushButton* BtnStop;
    QAction* StopAction;

signals:
    // A background run starts (true) or has ended (false, before its result is reported). Windows that use
    // the session on their own follow it, so that no second statement goes to the connection meanwhile.
    void RunningChanged(bool running);
    // A background run has ended and its result has been reported.
    void Ended();

private:
    // Runs work on the runner's thread; report follows on the GUI thread after success.
    void Launch(std::function<void()> work, std::function<void()> report, std::function<void()> after = {});
    void SetRunning(bool on);
    void Tick();

    TFVestra& w_;
    TDataModule1& dm_;
    // Carries the runner's ends to the GUI thread; it outlives the runner (whose end waits for its thread).
    TQtPoster poster_;
    TWorksheetRunner runner_;
    QTimer* timer_;
    QString statusBefore_;
    const std::atomic<long>* rows_ = nullptr;
    // The tab the run started in: its grid lets go of its query while the run lasts, whichever tab the user
    // looks at meanwhile.
    TWorksheetPage* page_ = nullptr;
    std::vector<QPointer<TQxDBGrid>> hooked_;
    bool quiet_ = false;
    // What the run disabled, with the state to restore.
    std::vector<std::pair<QPointer<QObject>, bool>> disabled_;
};
