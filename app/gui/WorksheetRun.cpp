#include "app/gui/WorksheetRun.h"

#include "app/gui/DataModule1.h"
#include "app/gui/FQuickView.h"
#include "app/gui/FVestra.h"
#include "dataset/MemData.h"
#include "grid/QxGrid.h"
#include "grid/QxGridWork.h"
#include "oracle/OraClasses.h"

#include <QAction>
#include <QBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <memory>

namespace {

// The break for the session's connection, taken on the GUI thread when the run starts.
std::function<void()> BreakOf(TFVestra& w) {
    return [&w] {
        if (TOCIConnection* c = w.Sess.OCIConnection()) c->Break();
    };
}

void SetObjectEnabled(QObject* o, bool on) {
    if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
    else if (auto* wd = qobject_cast<QWidget*>(o))
        wd->setEnabled(on);
}

bool ObjectEnabled(QObject* o) {
    if (auto* a = qobject_cast<QAction*>(o)) return a->isEnabled();
    if (auto* wd = qobject_cast<QWidget*>(o)) return wd->isEnabled();
    return false;
}

} // namespace

TWorksheetRun::TWorksheetRun(TFVestra& window, TDataModule1& dm)
    : w_(window), dm_(dm), runner_(poster_, BreakOf(window)) {
    BtnStop = new QPushButton("Stopp", w_.BtnExec->parentWidget());
    BtnStop->setObjectName("BtnStop");
    BtnStop->setAccessibleName("Anweisung abbrechen");
    BtnStop->setToolTip("Stopp");
    BtnStop->setStatusTip("Bricht die laufende Anweisung ab");
    BtnStop->setAutoDefault(false);
    BtnStop->setFocusPolicy(Qt::TabFocus);
    BtnStop->setEnabled(false);
    if (auto* bar = qobject_cast<QBoxLayout*>(w_.BtnExec->parentWidget()->layout()))
        bar->insertWidget(bar->indexOf(w_.BtnExec) + 1, BtnStop);

    StopAction = new QAction("Stopp", &w_);
    StopAction->setObjectName("Stop");
    StopAction->setShortcut(QKeySequence(Qt::Key_Escape));
    StopAction->setShortcutContext(Qt::WindowShortcut);
    StopAction->setToolTip("Stopp");
    StopAction->setStatusTip("Bricht die laufende Anweisung ab");
    StopAction->setEnabled(false);
    w_.addAction(StopAction);
    connect(StopAction, &QAction::triggered, this, &TWorksheetRun::Stop);
    connect(BtnStop, &QPushButton::clicked, this, &TWorksheetRun::Stop);

    timer_ = new QTimer(this);
    timer_->setInterval(200);
    connect(timer_, &QTimer::timeout, this, &TWorksheetRun::Tick);
}

void TWorksheetRun::HookGrid(TQxDBGrid* grid) {
    // The grid's moves that fetch every row or reopen the query (Ctrl+End, summaries, a title-click sort,
    // the server-side filter) run here too.
    if (!grid) return;
    grid->RunInBackground = [this](std::function<void()> work, std::function<void(std::exception_ptr)> done,
                                   const std::atomic<long>* rows) {
        return RunInBackground(std::move(work), std::move(done), rows);
    };
    grid->StopRequested = [this] { return StopRequested(); };
    hooked_.emplace_back(grid);
}

TWorksheetRun::~TWorksheetRun() {
    quiet_ = true;
    runner_.Finish();
    for (const QPointer<TQxDBGrid>& grid : hooked_)
        if (grid) {
            grid->RunInBackground = nullptr;
            grid->StopRequested = nullptr;
        }
}

void TWorksheetRun::Execute(const std::string& editorText1252) {
    if (Busy()) return;
    TWorksheetController& c = w_.Controller();
    bool go = false;
    w_.Guard([&] { go = c.BeginExecute(editorText1252); });
    if (!go) return;
    auto around = AroundStatement;
    Launch(
        [&c, around] {
            if (around)
                around([&c] { c.RunStatement(); });
            else
                c.RunStatement();
        },
        [&c, editorText1252] { c.EndExecute(editorText1252); }, AfterStatement);
}

void TWorksheetRun::Refresh() {
    if (Busy()) return;
    TWorksheetController& c = w_.Controller();
    Launch([&c] { c.Refresh(); }, [] {});
}

void TWorksheetRun::Commit() {
    if (Busy()) return;
    TWorksheetController& c = w_.Controller();
    bool go = false;
    w_.Guard([&] { go = c.BeginTransactionStatement(true); });
    if (!go) return;
    Launch([&c] { c.RunStatement(); }, [&c] { c.EndTransactionStatement(true); });
}

void TWorksheetRun::Rollback() {
    if (Busy()) return;
    TWorksheetController& c = w_.Controller();
    bool go = false;
    w_.Guard([&] { go = c.BeginTransactionStatement(false); });
    if (!go) return;
    Launch([&c] { c.RunStatement(); }, [&c] { c.EndTransactionStatement(false); });
}

void TWorksheetRun::Launch(std::function<void()> work, std::function<void()> report,
                           std::function<void()> after) {
    // A session that is not connected (after a cancelled logon) logs on first, here, through its connect
    // dialog; the statement then runs in the background like any other. A cancelled dialog ends the action
    // silently.
    if (Background && !w_.Sess.Connected()) {
        bool connected = false;
        w_.Guard([&] { connected = w_.Controller().Reconnect(); });
        if (!connected) return;
        w_.UpdateConnectionLabel();
    }
    if (!Background || !w_.Sess.Connected()) {
        w_.Guard([&] {
            work();
            report();
        });
        if (after) after();
        return;
    }
    statusBefore_ = w_.StatusText();
    SetRunning(true);
    runner_.Start(std::move(work),
                  [this, report = std::move(report), after = std::move(after)](std::exception_ptr error) {
                      SetRunning(false);
                      if (error) {
                          if (!quiet_) w_.Guard([&] { std::rethrow_exception(error); });
                      } else {
                          w_.Guard(report);
                      }
                      if (after && !quiet_) after();
                      emit Ended();
                  });
}

bool TWorksheetRun::RunInBackground(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                                    const std::atomic<long>* rows) {
    if (Busy()) return false;
    if (!Background || !w_.Sess.Connected()) {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        if (done) done(error);
        return true;
    }
    statusBefore_ = w_.StatusText();
    rows_ = rows;
    SetRunning(true);
    runner_.Start(std::move(work), [this, done = std::move(done)](std::exception_ptr error) {
        SetRunning(false);
        rows_ = nullptr;
        if (!quiet_ && done) done(error);
        emit Ended();
    });
    return true;
}

void TWorksheetRun::SetRunning(bool on) {
    if (on) {
        // The grid lets go of the query before the thread writes its rows. Its model reads the data set of
        // its link whether the data source is enabled or not, and hooks the row store's append callback:
        // only taking the data source away keeps it off the store the thread is filling.
        page_ = w_.BoundPage();
        page_->source->SetEnabled(false);
        page_->grid->SetDataSource(nullptr);
        // The grid may leave its append callback in the row store when it lets go; the thread's fetch
        // would call it. It is hooked again when the grid takes the query back.
        if (TMemData* md = page_->query->MemData()) md->OnRowsAppended = nullptr;
        disabled_.clear();
        const std::vector<QObject*> blocked = {dm_.Execute,
                                               dm_.Refrech,
                                               dm_.Neu,
                                               dm_.Open,
                                               dm_.DBChange,
                                               dm_.Export,
                                               dm_.AusgabeDrucker,
                                               dm_.AusgabeinZwischenablage,
                                               dm_.QuickViewII,
                                               w_.BtnC,
                                               w_.BtnR,
                                               w_.BitBtn1,
                                               w_.BitBtn2,
                                               w_.BitBtn4,
                                               w_.BBtnQV,
                                               w_.BtnExport,
                                               w_.Panel4(),
                                               page_->grid};
        // The workbench window runs statements of its own on the same session.
        std::vector<QObject*> all = blocked;
        all.push_back(dm_.FQuickView.get());
        for (QObject* o : all) {
            if (!o) continue;
            disabled_.emplace_back(o, ObjectEnabled(o));
            SetObjectEnabled(o, false);
        }
        StopAction->setEnabled(true);
        BtnStop->setEnabled(true);
        timer_->start();
        emit RunningChanged(true);
    } else {
        timer_->stop();
        StopAction->setEnabled(false);
        BtnStop->setEnabled(false);
        for (auto& [o, was] : disabled_)
            if (o) SetObjectEnabled(o, was);
        disabled_.clear();
        w_.SetStatusText(statusBefore_);
        page_->source->SetEnabled(true);
        // The data source kept the state it saw before the thread opened or closed the query; enabling it
        // does not update that, and its next state change would go unnoticed by the grid (which then keeps
        // fields a later close frees). One state event brings it up to date.
        page_->source->DataEvent(deUpdateState, nullptr);
        page_->grid->SetDataSource(page_->source);
        page_ = nullptr;
        emit RunningChanged(false);
    }
}

void TWorksheetRun::Tick() {
    const int s = runner_.ElapsedSeconds();
    if (s < 1) return;
    if (rows_)
        w_.SetStatusText(QString("... %1 s, %2 Zeilen").arg(s).arg(rows_->load(std::memory_order_relaxed)));
    else
        w_.SetStatusText(QString("... %1 s").arg(s));
}

void TWorksheetRun::ThrowIfStopped() const {
    if (StopRequested()) throw EWalkStopped();
}

void TWorksheetRun::Stop() {
    runner_.Stop();
}

void TWorksheetRun::StopAndWait() {
    quiet_ = true;
    if (runner_.Busy()) {
        // Finish sends the break and waits for the thread. A server (or a network) that never answers the
        // break would keep it waiting: after StopWaitMs the connection's socket is shut down under the call,
        // which then fails at once. The session is lost with it; the window is closing anyway.
        bool cut = false;
        {
            TOraSession& sess = w_.Sess;
            TCallLimit limit([&sess] { sess.AbortCalls(); }, StopWaitMs);
            runner_.Finish();
            cut = limit.Cut();
        }
        // A cut connection is of no more use: it is closed here without a word, so that nothing on the way
        // out (the rollback of the logoff) tries to talk to it.
        if (cut) try {
                w_.Sess.Disconnect();
            } catch (...) {
            }
    }
    quiet_ = false;
}

void TWorksheetRun::EndSession(bool commit, std::function<void(bool ok)> then) {
    if (Busy()) {
        if (then) then(false);
        return;
    }
    TWorksheetController& c = w_.Controller();
    TOraSession& sess = w_.Sess;
    const int limitMs = StopWaitMs;
    auto cut = std::make_shared<std::atomic<bool>>(false);
    auto logoff = [this, &c, &sess, commit, limitMs, cut, then = std::move(then)](std::exception_ptr error) {
        if (error && !*cut) {
            // The server refused the statement (the session still answers): the user sees why, and nothing
            // is ended behind his back.
            w_.Guard([&] { std::rethrow_exception(error); });
            if (then) then(false);
            return;
        }
        if (*cut && commit)
            w_.ShowMessage("Der Server hat nicht geantwortet, die Verbindung wurde getrennt. Ob COMMIT "
                           "ausgef\xFChrt wurde, ist nicht bekannt.");
        {
            // The logoff: the data sets let go of their cursors and the session ends, under the same limit.
            TCallLimit limit([&sess] { sess.AbortCalls(); }, limitMs);
            try {
                sess.Disconnect();
            } catch (...) {
                // The logoff of a session that is being left: a failure changes nothing for the user (the
                // transaction has been settled above), and a cut line fails here by design.
            }
        }
        if (sess.Connected()) try {
                sess.Disconnect(); // after a cut, once more: the layer closes without a call
            } catch (...) {
            }
        c.EndReported(commit);
        if (then) then(true);
    };
    if (!sess.Connected()) {
        logoff(nullptr);
        return;
    }
    RunInBackground(
        [&c, &sess, commit, limitMs, cut] {
            TCallLimit limit([&sess] { sess.AbortCalls(); }, limitMs);
            try {
                c.EndOnServer(commit);
            } catch (...) {
                *cut = limit.Cut();
                throw;
            }
            *cut = limit.Cut();
        },
        std::move(logoff));
}
