#include "app/ExportPlan.h"

#include <set>

#include "app/History.h"
#include "app/ProgramFolder.h"
#include "app/ResultText.h"
#include "dataset/DEDozivo.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kSep = '/';

std::string CannotCreate(const std::string& fileName, int err) {
    return "Datei " + fileName + " kann nicht erstellt werden. " + std::strerror(err);
}

} // namespace

std::string ExportProgramFolder() {
    ProgramSubFolder("DAT"); // an installed program makes the user's DAT folder on first use
    const std::string folder = UserFolder();
    return folder.back() == kSep ? folder : folder + kSep;
}

std::string DefaultExportFolder(const std::string& programFolder) {
    return programFolder + "DAT" + kSep;
}

std::string DefaultExportFile(const std::string& programFolder) {
    return DefaultExportFolder(programFolder) + "output.DAT";
}

std::string TableExportFileName(const std::string& folder, const std::string& item, bool ownerAndTableNames,
                                const std::string& extension) {
    const size_t dot = item.find('.');
    std::string name = item;
    if (dot != std::string::npos) {
        if (ownerAndTableNames)
            name[dot] = '_';
        else
            name = item.substr(dot + 1);
    }
    return folder + name + "." + extension;
}

namespace {

std::string UpperName(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return name;
}

// A name no earlier table of the export has taken (compared without case, as the file systems of the
// program's users do): the table's own name, else OWNER_TABLE, else that with "_2", "_3", ... before the
// extension.
std::string UnusedFileName(const std::string& item, const TExportSettings& settings,
                           std::set<std::string>& taken) {
    std::string file =
        TableExportFileName(std::string(), item, settings.ownerAndTableNames, settings.extension);
    if (taken.insert(UpperName(file)).second) return file;
    const std::string base = TableExportFileName(std::string(), item, true, std::string());
    const std::string stem = base.substr(0, base.size() - 1); // without the "." before the empty extension
    file = stem + "." + settings.extension;
    for (int n = 2; !taken.insert(UpperName(file)).second; ++n)
        file = stem + "_" + std::to_string(n) + "." + settings.extension;
    return file;
}

} // namespace

std::vector<TTableExportStep> PlanTableExport(const TExportSettings& settings) {
    std::vector<TTableExportStep> steps;
    steps.reserve(settings.tables.size());
    std::set<std::string> taken;
    for (const std::string& item : settings.tables) {
        std::string file = UnusedFileName(item, settings, taken);
        if (settings.textToPath) file = settings.textToPath(file);
        steps.push_back({item, "select * from " + item, settings.folder + file});
    }
    return steps;
}

// ---- TAtomicFile ----

TAtomicFile::TAtomicFile(const std::string& target) : target_(target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw EFileError(CannotCreate(target, EISDIR));
        // A file without write permission is refused even where the folder would allow replacing it.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw EFileError(CannotCreate(target, EACCES));
        mode_ = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    const size_t slash = target.rfind(kSep);
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = dir + "." + base + ".~XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) throw EFileError(CannotCreate(target, errno));
    temp_ = pattern;
}

TAtomicFile::~TAtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void TAtomicFile::Fail(const std::string& what, int err) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(temp_.c_str());
    temp_.clear();
    throw EFileError(what + " " + std::strerror(err));
}

void TAtomicFile::Write(const char* data, size_t size) {
    if (fd_ < 0) throw EFileError("Fehler beim Schreiben von " + target_);
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Fehler beim Schreiben von " + target_ + ".", errno);
        }
        data += n;
        size -= size_t(n);
    }
}

void TAtomicFile::Commit() {
    if (fd_ < 0) throw EFileError("Fehler beim Schreiben von " + target_);
    if (::fchmod(fd_, mode_t(mode_)) != 0 || ::fdatasync(fd_) != 0)
        Fail("Fehler beim Schreiben von " + target_ + ".", errno);
    if (::close(fd_) != 0) {
        fd_ = -1;
        const int err = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        throw EFileError("Fehler beim Schreiben von " + target_ + ". " + std::strerror(err));
    }
    fd_ = -1;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        throw EFileError(CannotCreate(target_, err));
    }
    committed_ = true;
}

// ---- writing ----

long WriteResultFileAtomic(IResultSource& source, const std::string& fileName, const std::string& separator,
                           bool headers, bool trim, const TExportProgress& progress) {
    using Clock = std::chrono::steady_clock;
    TAtomicFile file(fileName);
    auto nextReport = Clock::now(); // the first report comes with the first records
    const long records =
        WalkResultText(source, separator, headers, trim, [&](std::string& buffer, long count, bool done) {
            if (buffer.size() >= 1 << 16 || done) {
                file.Write(buffer);
                buffer.clear();
            }
            if (!progress || done) return;
            const auto now = Clock::now();
            if (now < nextReport) return;
            nextReport = now + std::chrono::milliseconds(200);
            if (!progress(fileName, count)) throw EExportCancelled(ExportCancelledText(fileName));
        });
    file.Commit();
    source.First();
    return records;
}

std::string ExportSavingText(const std::string& fileName) {
    return "... Speichere Datei " + fileName + " ...";
}

std::string ExportProgressText(const std::string& fileName, long records) {
    return ExportSavingText(fileName) + " " + std::to_string(records) + " Datens\xE4tze";
}

std::string ExportCancelledText(const std::string& fileName) {
    return "Export abgebrochen: Datei " + fileName + " nicht geschrieben";
}

std::string ExportCancelledRestText(const std::string& fileName) {
    return ExportCancelledText(fileName) + "; die \xFC"
                                           "brigen Tabellen wurden nicht exportiert";
}

void IExportWorksheet::RunWork(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                               const std::atomic<long>*) {
    std::exception_ptr error;
    try {
        work();
    } catch (...) {
        error = std::current_exception();
    }
    done(error);
}

// ---- the export's steps ----

namespace {

// One export from the form's OK to its end. The GUI steps run in Advance; each piece of work goes to the
// host's RunWork and its done comes back to Advance. A host that runs the work at once calls done from
// inside RunWork: Advance then loops instead of nesting, so that a thousand tables do not pile up a thousand
// stack frames.
class TExportJob : public std::enable_shared_from_this<TExportJob> {
public:
    TExportJob(const TExportSettings& settings, IExportWorksheet& ws, TExportFinished finished)
        : settings_(settings), ws_(ws), finished_(std::move(finished)) {}

    void Start() {
        try {
            separator_ = ParseSeparator(settings_.separatorText, settings_.separatorHex);
            if (settings_.tableMode) {
                steps_ = PlanTableExport(settings_);
                stage_ = steps_.empty() ? kFinished : kBegin;
            } else {
                steps_.push_back({std::string(), std::string(), settings_.fileName});
                stage_ = kWrite;
            }
        } catch (...) {
            return Finish(TExportOutcome::Done, std::current_exception());
        }
        if (stage_ == kFinished) return Finish(TExportOutcome::Done);
        Advance();
    }

private:
    enum TStage { kBegin, kEndExecute, kWrite, kWaiting, kFinished };

    void Advance() {
        if (advancing_) {
            again_ = true; // done came from inside RunWork: the loop below goes on
            return;
        }
        advancing_ = true;
        do {
            again_ = false;
            try {
                Step();
            } catch (...) {
                Fail(std::current_exception());
            }
        } while (again_ || (stage_ != kWaiting && stage_ != kFinished));
        advancing_ = false;
    }

    void Step() {
        if (stage_ == kWaiting || stage_ == kFinished) return;
        const TTableExportStep& step = steps_[index_];
        switch (stage_) {
        case kBegin:
            if (!ws_.BeginExecute(step.statement)) return Finish(TExportOutcome::Cancelled);
            Run([this] { ws_.RunStatement(); }, nullptr,
                [this](std::exception_ptr error) {
                    const bool stopped = ws_.StopRequested();
                    if (error) return stopped ? Cancel() : Fail(error);
                    if (!stopped) {
                        stage_ = kEndExecute;
                        return;
                    }
                    // The statement ended before the stop reached it: it counts as executed.
                    ws_.EndExecute(steps_[index_].statement);
                    Cancel();
                });
            return;
        case kEndExecute:
            ws_.EndExecute(step.statement);
            stage_ = kWrite;
            return;
        case kWrite: {
            shown_ = ws_.PathText(step.fileName);
            ws_.SetStatus(ExportSavingText(shown_));
            ws_.Repaint();
            ws_.SetGridAttached(false);
            detached_ = true;
            records_.store(0, std::memory_order_relaxed);
            cancelled_ = false;
            ws_.WriteStarted(shown_, records_);
            Run([this] { Write(); }, &records_,
                [this](std::exception_ptr error) {
                    ws_.WriteEnded();
                    if (error) return Fail(error);
                    detached_ = false;
                    ws_.SetGridAttached(true);
                    if (cancelled_) return Cancel();
                    ws_.SetStatus("OK");
                    if (++index_ >= steps_.size()) return Finish(TExportOutcome::Done);
                    stage_ = kBegin;
                });
            return;
        }
        case kWaiting:
        case kFinished:
            return;
        }
    }

    // The work of one file: the walk over the rows into the temporary file, which replaces the target at
    // the end. A stop asked for meanwhile (the progress check, or the break ending a fetch) cancels it; the
    // temporary file goes, the target stays as it was.
    void Write() {
        IResultSource& result = ws_.Result();
        const std::string& fileName = steps_[index_].fileName;
        auto progress = [this](const std::string&, long records) {
            records_.store(records, std::memory_order_relaxed);
            return !ws_.StopRequested() && ws_.Progress(shown_, records);
        };
        try {
            if (ws_.StopRequested()) throw EExportCancelled(ExportCancelledText(shown_));
            WriteResultFileAtomic(result, fileName, separator_, settings_.headers, settings_.trim, progress);
            return;
        } catch (const EExportCancelled&) {
        } catch (...) {
            if (!ws_.StopRequested()) throw;
        }
        cancelled_ = true;
        try {
            result.First();
        } catch (...) {
            // A fetch ended by the break may leave the result without a first record to go back to.
        }
    }

    void Run(std::function<void()> work, const std::atomic<long>* records,
             std::function<void(std::exception_ptr)> then) {
        stage_ = kWaiting;
        auto self = shared_from_this();
        ws_.RunWork(
            std::move(work),
            [self, then = std::move(then)](std::exception_ptr error) {
                if (self->stage_ != kWaiting) return;
                try {
                    then(error);
                } catch (...) {
                    self->Fail(std::current_exception());
                }
                self->Advance();
            },
            records);
    }

    void Cancel() {
        const std::string& file = steps_[index_].fileName;
        const std::string shown = ws_.PathText(file);
        ws_.SetStatus(index_ + 1 < steps_.size() ? ExportCancelledRestText(shown)
                                                 : ExportCancelledText(shown));
        Finish(TExportOutcome::Cancelled);
    }

    void Fail(std::exception_ptr error) {
        if (stage_ == kFinished) return;
        if (detached_) {
            detached_ = false;
            try {
                ws_.SetGridAttached(true);
            } catch (...) {
            }
        }
        Finish(TExportOutcome::Done, error);
    }

    void Finish(TExportOutcome outcome, std::exception_ptr error = nullptr) {
        stage_ = kFinished;
        if (finishedCalled_) return;
        finishedCalled_ = true;
        // finished stays with the job: what it holds (the host) goes when the job does, after the calls
        // that are on their way back through the host.
        if (finished_) finished_(outcome, error);
    }

    TExportSettings settings_;
    IExportWorksheet& ws_;
    TExportFinished finished_;
    std::string separator_;
    std::vector<TTableExportStep> steps_;
    size_t index_ = 0;
    TStage stage_ = kBegin;
    std::string shown_;            // the file being written, as the status line names it
    std::atomic<long> records_{0}; // raised by the work, read by the GUI thread
    bool cancelled_ = false;       // written by the work, read by its done
    bool detached_ = false;
    bool advancing_ = false, again_ = false, finishedCalled_ = false;
};

} // namespace

void StartExport(const TExportSettings& settings, IExportWorksheet& ws, TExportFinished finished) {
    auto job = std::make_shared<TExportJob>(settings, ws, std::move(finished));
    job->Start();
}

TExportOutcome RunExport(const TExportSettings& settings, IExportWorksheet& ws) {
    struct TEnd {
        bool ended = false;
        TExportOutcome outcome = TExportOutcome::Done;
        std::exception_ptr error;
    };
    auto end = std::make_shared<TEnd>();
    StartExport(settings, ws, [end](TExportOutcome outcome, std::exception_ptr error) {
        end->ended = true;
        end->outcome = outcome;
        end->error = error;
    });
    if (!end->ended) throw std::logic_error("RunExport needs a host that runs the work at once");
    if (end->error) std::rethrow_exception(end->error);
    return end->outcome;
}

// ---- fetch size ----

namespace {

// The query's own fetch size, given back when the query closes.
struct TRestoreOnClose {
    TDataSetNotify previous;
    int rows = 0;
    std::shared_ptr<bool> pending;
    void operator()(TDataSet& ds) const {
        if (previous) previous(ds);
        if (!*pending) return;
        *pending = false;
        static_cast<TCustomDADataSet&>(ds).SetFetchRows(rows);
    }
};

} // namespace

TExportFetchRows::TExportFetchRows(TCustomDADataSet& query) : q_(query), own_(query.FetchRows()) {
    if (const TRestoreOnClose* r = q_.AfterClose.target<TRestoreOnClose>()) {
        // The restore is this one's to do now, whether this export uses its blocks or not.
        if (*r->pending) {
            own_ = r->rows;
            used_ = true;
        }
        TDataSetNotify previous = r->previous;
        q_.AfterClose = std::move(previous);
    }
}

void TExportFetchRows::Use() {
    q_.SetFetchRows(kExportFetchRows);
    used_ = true;
}

void TExportFetchRows::Restore() {
    if (!used_) return;
    used_ = false;
    if (q_.FetchRows() == own_) return;
    if (!q_.Active()) {
        q_.SetFetchRows(own_);
        return;
    }
    TRestoreOnClose r;
    r.previous = q_.AfterClose;
    r.rows = own_;
    r.pending = std::make_shared<bool>(true);
    q_.AfterClose = std::move(r);
}
